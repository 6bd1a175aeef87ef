#include "AppStoreProbe.h"
#include "FakeDesktop.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"
#include "StandInStore.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/InspectorView.h"
#include "Views/Inspector/ParameterControl.h"
#include "Views/Inspector/SegmentedControl.h"
#include "Views/Inspector/ToggleSwitch.h"
#include "Views/Theme/Animation.h"
#include "Views/Theme/GlowButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>
#include <QWheelEvent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{
SchemaParam param(const QString &key, SchemaParam::Kind::Type type,
                  std::optional<ParamValue> defaultValue = {}, std::optional<double> min = {},
                  std::optional<double> max = {})
{
    SchemaParam p;
    p.key = key;
    p.title = ModelSchema::humanized(key);
    p.kind.type = type;
    p.kind.min = min;
    p.kind.max = max;
    p.defaultValue = defaultValue;
    return p;
}

using Type = SchemaParam::Kind::Type;
} // namespace

Q_DECLARE_METATYPE(SchemaParam)
Q_DECLARE_METATYPE(ModelSchema)
Q_DECLARE_METATYPE(std::optional<ParamValue>)

// The inspector as a person uses it: parameter controls, the settings card's states, the output
// card and the run controls, on a store whose schemas are put in place or come from the stand-in.
class InspectorTest : public QObject
{
    Q_OBJECT

    StandInStore m_standIn;
    std::shared_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<InspectorView> m_view;

    AppStore &makeStore(bool withToken, bool onService = false)
    {
        AppEnvironment &environment = m_standIn.surroundings();
        environment.desktop = m_desktop;
        // Off the service nothing answers: whatever the store asks for fails at once.
        environment.apiBase =
            onService ? m_standIn.service().apiBase() : QUrl("http://127.0.0.1:9/v1");
        environment.webBase =
            onService ? m_standIn.service().webBase() : QUrl("http://127.0.0.1:9");
        m_store = m_standIn.makeStore(withToken ? "r8_test" : "");
        [&] { QVERIFY(m_store); }();
        m_store->setMode(Mode::upscale);
        return *m_store;
    }
    InspectorView &makeView()
    {
        m_view = std::make_unique<InspectorView>(*m_store);
        m_view->resize(InspectorView::columnWidth, 1000);
        m_view->show();
        return *m_view;
    }
    static void activate(QWidget &widget)
    {
        widget.show();
        QApplication::setActiveWindow(&widget);
        QVERIFY(QTest::qWaitForWindowActive(&widget));
    }
    static void typeLines(QWidget *edit, const QStringList &lines)
    {
        for (const QString &line : lines) {
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClicks(edit, line);
        }
    }
    // One notch down over the middle of `widget`.
    static void turnWheel(QWidget *widget)
    {
        const QPointF centre = QRectF(widget->rect()).center();
        QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &wheel);
    }
    template <typename T = QWidget> T *find(const QString &name) const
    {
        return m_view->findChild<T *>(name);
    }
    bool shown(const QString &name) const
    {
        const QWidget *widget = find(name);
        return widget && widget->isVisibleTo(m_view.get());
    }
    // Selects a model the service does not know, waits for its load to give up, then shows
    // `schema` for it as if it had loaded.
    void showSchema(const ModelSchema &schema, const QString &slug = "test/model")
    {
        m_store->selectOnly(*CatalogModel::fromSlug(slug, {}, "Custom model", true));
        QTRY_COMPARE(m_store->schemaState().kind(), SchemaState::Kind::failed);
        AppStoreProbe::setSchemaState(*m_store, slug, SchemaState::ready(schema));
    }

private Q_SLOTS:
    void initTestCase()
    {
        Animation::setEnabled(false);
        QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    }
    void init()
    {
        QVERIFY(m_standIn.reset());
        m_desktop = std::make_shared<FakeDesktop>();
    }
    void cleanup()
    {
        m_view.reset();
        m_store.reset();
    }

    void widgetPerKind_data()
    {
        QTest::addColumn<SchemaParam>("param");
        QTest::addColumn<QString>("widget");
        QTest::newRow("integer 1…4") << param("steps", Type::integer, {}, 1, 4) << "QSlider";
        QTest::newRow("integer, minimum only")
            << param("steps", Type::integer, {}, 1) << "QLineEdit";
        QTest::newRow("integer, min = max")
            << param("steps", Type::integer, {}, 3, 3) << "QLineEdit";
        QTest::newRow("integer beyond int")
            << param("seed", Type::integer, {}, 0, 4294967295.0) << "QLineEdit";
        QTest::newRow("number 0…1") << param("strength", Type::number, {}, 0, 1) << "QSlider";
        QTest::newRow("number, open") << param("strength", Type::number) << "QLineEdit";
        QTest::newRow("choice") << param("style", Type::choice) << "QComboBox";
        QTest::newRow("toggle") << param("tile", Type::toggle) << "ToggleSwitch";
        QTest::newRow("text") << param("name", Type::text) << "QLineEdit";
    }
    void widgetPerKind()
    {
        QFETCH(SchemaParam, param);
        QFETCH(QString, widget);
        makeStore(false);
        ParameterControl control(*m_store, param);
        const QWidget *editor = control.findChild<QWidget *>("parameter:" + param.key + ":editor");
        QVERIFY(editor);
        QCOMPARE(QString::fromLatin1(editor->metaObject()->className()), widget);
    }

    void numberFieldEdits_data()
    {
        QTest::addColumn<bool>("integer");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<ParamValue>>("stored");
        QTest::addColumn<QString>("shownOnceDone");
        QTest::newRow("comma read as a point")
            << false << "2,5" << std::optional(ParamValue::number(2.5)) << "2.50";
        QTest::newRow("integer field truncates")
            << true << "2.5" << std::optional(ParamValue::integer(2)) << "2";
        QTest::newRow("letters store nothing")
            << false << "ab" << std::optional<ParamValue>() << "1";
        QTest::newRow("half-typed keeps the last number")
            << false << "3e" << std::optional(ParamValue::number(3)) << "3";
        QTest::newRow("cleared back to the default")
            << false << "7\b" << std::optional<ParamValue>() << "1";
        // Infinity could not be saved, and took every later change with it: the field keeps
        // the last number the text read as on the way.
        QTest::newRow("overflow keeps the last number")
            << false << "1e999" << std::optional(ParamValue::number(1e99))
            << ParamValue::number(1e99).displayString();
    }
    void numberFieldEdits()
    {
        QFETCH(bool, integer);
        QFETCH(QString, typed);
        QFETCH(std::optional<ParamValue>, stored);
        makeStore(false);
        const SchemaParam p =
            param("amount", integer ? Type::integer : Type::number, ParamValue::integer(1));
        ParameterControl control(*m_store, p);
        activate(control);
        auto *field = control.findChild<QLineEdit *>("parameter:amount:editor");
        QCOMPARE(field->text(), "1");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        QCOMPARE(m_store->isOverridden(p), stored.has_value());
        QCOMPARE(m_store->value(p), stored ? stored : p.defaultValue);
        // What the person typed stays on screen, half-typed or not.
        QCOMPARE(field->text(), typed.endsWith('\b') ? QString() : typed);
        QCOMPARE(control.findChild<QWidget *>("parameter:amount:changed")->isVisibleTo(&control),
                 stored.has_value());
        // Once editing ends the field shows what is stored.
        QTest::keyClick(field, Qt::Key_Return);
        QTEST(field->text(), "shownOnceDone");
    }

    void seedBeyondIntIsTyped()
    {
        makeStore(false);
        const SchemaParam seed = param("seed", Type::integer, {}, 0, 4294967295.0);
        ParameterControl control(*m_store, seed);
        activate(control);
        auto *field = control.findChild<QLineEdit *>("parameter:seed:editor");
        QVERIFY(field);
        field->setFocus();
        QTest::keyClicks(field, "4000000000");
        QCOMPARE(m_store->value(seed), std::optional(ParamValue::integer(4000000000)));
    }

    void clearedTextShowsDefaultOnceDone_data()
    {
        QTest::addColumn<bool>("multiline");
        QTest::newRow("one line") << false;
        QTest::newRow("several lines") << true;
    }
    void clearedTextShowsDefaultOnceDone()
    {
        QFETCH(bool, multiline);
        makeStore(false);
        SchemaParam style = param("style", Type::text, ParamValue::string("plain"));
        style.kind.multiline = multiline;
        ParameterControl control(*m_store, style);
        activate(control);
        QWidget *editor = control.findChild<QWidget *>("parameter:style:editor");
        const auto shown = [&] {
            return multiline ? qobject_cast<QPlainTextEdit *>(editor)->toPlainText()
                             : qobject_cast<QLineEdit *>(editor)->text();
        };
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(shown(), QString());
        QVERIFY(!m_store->isOverridden(style));
        editor->clearFocus();
        QCOMPARE(shown(), "plain");
    }

    // Rolling the wheel down the inspector must not change what a run costs on the way.
    void wheelEditsOnlyAFocusedControl_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("decimal slider") << "scale";
        QTest::newRow("integer slider") << "num_outputs";
        QTest::newRow("menu") << "output_format";
    }
    void wheelEditsOnlyAFocusedControl()
    {
        QFETCH(QString, key);
        makeStore(false);
        makeView();
        m_view->resize(InspectorView::columnWidth, 300);
        activate(*m_view);
        SchemaParam format = param("output_format", Type::choice, ParamValue::string("jpg"));
        format.kind.options = {"webp", "jpg", "png"};
        ModelSchema schema;
        schema.params = {param("scale", Type::number, ParamValue::number(2), 1, 4),
                         param("num_outputs", Type::integer, ParamValue::integer(2), 1, 4), format};
        showSchema(schema);
        // Opened directly: a click can land in a popup another test left open.
        auto *advanced = find<QAbstractButton>("advancedToggle");
        advanced->setChecked(true);
        const SchemaParam &edited =
            *std::find_if(schema.params.cbegin(), schema.params.cend(),
                          [&](const SchemaParam &p) { return p.key == key; });
        QWidget *editor = nullptr;
        QTRY_VERIFY((editor = find("parameter:" + key + ":editor")) && editor->isVisible());
        QScrollBar *bar = find<QScrollArea>("inspectorScroll")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), 0);

        turnWheel(editor);
        QVERIFY(!m_store->isOverridden(edited));
        QVERIFY(bar->value() > 0);

        const int scrolled = bar->value();
        editor->setFocus(Qt::MouseFocusReason);
        QVERIFY(editor->hasFocus());
        turnWheel(editor);
        QVERIFY(m_store->isOverridden(edited));
        QVERIFY(m_store->value(edited) != edited.defaultValue);
        QCOMPARE(bar->value(), scrolled);
    }

    void sliderDotAndReset()
    {
        makeStore(false);
        const SchemaParam p = param("strength", Type::number, ParamValue::number(0.5), 0, 1);
        ParameterControl control(*m_store, p);
        control.show();
        auto *slider = control.findChild<QSlider *>();
        auto *dot = control.findChild<QWidget *>("parameter:strength:changed");
        auto *reset = control.findChild<QAbstractButton *>("parameter:strength:reset");
        auto *badge = control.findChild<QLabel *>("parameter:strength:value");
        QVERIFY(!dot->isVisibleTo(&control) && !reset->isVisibleTo(&control));
        QCOMPARE(badge->text(), "0.50");
        slider->setValue(12345); // 0.12345 of the range
        QCOMPARE(m_store->value(p), std::optional(ParamValue::number(0.12)));
        QVERIFY(dot->isVisibleTo(&control) && reset->isVisibleTo(&control));
        QCOMPARE(badge->text(), "0.12");
        QTest::mouseClick(reset, Qt::LeftButton);
        QVERIFY(!m_store->isOverridden(p));
        QVERIFY(!dot->isVisibleTo(&control) && !reset->isVisibleTo(&control));
        QCOMPARE(slider->value(), ParameterControl::sliderSteps / 2);
    }

    void toggleChoiceAndText()
    {
        makeStore(false);
        SchemaParam tile = param("tile", Type::toggle, ParamValue::boolean(true));
        tile.help = "Split large images. Slower but lighter.";
        ParameterControl toggle(*m_store, tile);
        auto *knob = toggle.findChild<ToggleSwitch *>();
        QVERIFY(knob->isChecked());
        QCOMPARE(knob->text(), "Split large images");
        QTest::mouseClick(knob, Qt::LeftButton);
        QCOMPARE(m_store->value(tile), std::optional(ParamValue::boolean(false)));
        QVERIFY(m_store->isOverridden(tile));

        SchemaParam style = param("style", Type::choice, ParamValue::string("b"));
        style.kind.options = {"a", "b"};
        m_store->setValue(ParamValue::string("gone"), style);
        ParameterControl choice(*m_store, style);
        auto *menu = choice.findChild<QComboBox *>();
        QCOMPARE(menu->currentText(), "a");
        QCOMPARE(m_store->value(style), std::optional(ParamValue::string("gone")));

        SchemaParam prompt = param("prompt", Type::text);
        prompt.kind.multiline = true;
        ParameterControl text(*m_store, prompt);
        activate(text);
        auto *edit = text.findChild<QPlainTextEdit *>();
        const int twoLines = edit->height();
        edit->setFocus();
        QTest::keyClicks(edit, "one");
        QCOMPARE(edit->height(), twoLines);
        QCOMPARE(m_store->value(prompt), std::optional(ParamValue::string("one")));
        typeLines(edit, {"2", "3", "4"});
        const int fourLines = edit->height();
        QVERIFY(fourLines > twoLines);
        typeLines(edit, {"5", "6", "7"});
        QVERIFY(edit->height() > fourLines);
        const int fiveLines = edit->height();
        typeLines(edit, {"8"});
        QCOMPARE(edit->height(), fiveLines);
    }

    void shortHelp_data()
    {
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("placeholder");
        QTest::newRow("first sentence")
            << u"Strength of the effect. Higher is stronger."_s << u"Strength of the effect"_s;
        QTest::newRow("leading point") << u".Starts here. Then"_s << u"Starts here"_s;
        QTest::newRow("cut at 46") << QString(60, 'x') << QString(46, 'x') + QChar(0x2026);
    }
    void shortHelp()
    {
        QFETCH(QString, help);
        QTEST(InspectorText::shortHelp(help), "placeholder");
    }

    void settingsCardStates()
    {
        makeStore(false);
        makeView();
        QSignalSpy settings(m_view.get(), &InspectorView::settingsRequested);
        m_store->selectOnly(*CatalogModel::fromSlug("test/model", {}, "Custom model", true));
        QTRY_VERIFY(shown("schemaFailure"));
        QCOMPARE(find<QLabel>("schemaFailure")->text(),
                 "Add your Replicate API token in Settings first.");
        QVERIFY(shown("retrySchema"));
        QTest::mouseClick(find<QAbstractButton>("openSettings"), Qt::LeftButton);
        QCOMPARE(settings.size(), 1);
        AppStoreProbe::setSchemaState(*m_store, "test/model", SchemaState::loading());
        QVERIFY(shown("schemaLoading"));
        QVERIFY(!shown("modelTabs"));

        ModelSchema schema;
        AppStoreProbe::setSchemaState(*m_store, "test/model", SchemaState::ready(schema));
        QVERIFY(shown("noOptions"));
        // Only advanced parameters: no primary control, a closed group that counts them.
        schema.params = {param("seed", Type::integer), param("guidance", Type::number)};
        AppStoreProbe::setSchemaState(*m_store, "test/model", SchemaState::ready(schema));
        auto *advanced = find<QAbstractButton>("advancedToggle");
        QCOMPARE(advanced->text(), "Advanced (2)");
        QVERIFY(!shown("advancedGroup") && !shown("parameter:seed"));
        QTest::mouseClick(advanced, Qt::LeftButton, {}, QPoint(advanced->width() - 4, 5));
        QVERIFY(shown("parameter:seed") && shown("parameter:guidance"));

        // The prompt is typed in the composer in the prompt modes.
        schema.params = {param("prompt", Type::text), param("output_format", Type::choice)};
        schema.promptKey = "prompt";
        m_store->setMode(Mode::image);
        showSchema(schema, "test/prompted");
        QVERIFY(shown("parameter:output_format") && !shown("parameter:prompt"));
        QVERIFY(!shown("resetParameters"));
        m_store->setValue(ParamValue::string("png"), schema.params.at(1));
        QVERIFY(shown("resetParameters"));
        QTest::mouseClick(find<QAbstractButton>("resetParameters"), Qt::LeftButton);
        QVERIFY(!m_store->isOverridden(schema.params.at(1)) && !shown("resetParameters"));

        // Two models: a tab each, the focused one marked; a click focuses the other.
        m_store->toggle(*CatalogModel::fromSlug("test/other", {}, "Custom model", true));
        QVERIFY(shown("modelTabs"));
        QCOMPARE(m_store->state().focusedSlug, "test/other");
        QTest::mouseClick(find<QAbstractButton>("modelTab:test/prompted"), Qt::LeftButton);
        QCOMPARE(m_store->state().focusedSlug, "test/prompted");
        QVERIFY(shown("parameter:output_format"));
    }

    void refusalInSettingsCard_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<ModelSchema>("schema");
        QTest::addColumn<QString>("message");
        ModelSchema inpainting;
        inpainting.imageKey = "image";
        inpainting.secondFileKey = "mask";
        inpainting.promptKey = "prompt";
        inpainting.params = {param("prompt", Type::text)};
        QTest::newRow("second file, upscale")
            << Mode::upscale << inpainting
            << "This model needs a second image (mask), which Moonforge can't send yet.";
        QTest::newRow("second file, image")
            << Mode::image << inpainting
            << "This model needs a second image (mask), which Moonforge can't send yet.";
        ModelSchema unclear;
        unclear.params = {param("style", Type::text), param("negative_prompt", Type::text)};
        QTest::newRow("text, no clear prompt")
            << Mode::video << unclear
            << "This model takes text (style, negative_prompt), but none of it is clearly the "
               "prompt, so Moonforge can't send one.";
        ModelSchema plain;
        plain.imageKey = "image";
        plain.params = {param("scale", Type::number)};
        QTest::newRow("no text at all")
            << Mode::image << plain << "This model doesn't take a text prompt.";
        QTest::newRow("fits") << Mode::upscale << plain << "";
    }
    void refusalInSettingsCard()
    {
        QFETCH(Mode, mode);
        QFETCH(ModelSchema, schema);
        QFETCH(QString, message);
        makeStore(false);
        makeView();
        m_store->setMode(mode);
        showSchema(schema);
        QCOMPARE(shown("schemaRefusal"), !message.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(find<QLabel>("schemaRefusal")->text(), message);
        // The model's settings stay reachable beside the note.
        QVERIFY(shown("parameter:" + schema.params.first().key) || mode != Mode::upscale);
    }

    void filenamePreview_data()
    {
        QTest::addColumn<std::optional<ParamValue>>("scale");
        QTest::addColumn<bool>("twoModels");
        QTest::addColumn<OutputKind>("output");
        QTest::addColumn<QString>("preview");
        QTest::newRow("whole scale") << std::optional(ParamValue::number(4)) << false
                                     << OutputKind::unknown << "photo-4x.png";
        QTest::newRow("fractional scale") << std::optional(ParamValue::number(2.5)) << false
                                          << OutputKind::unknown << "photo-2.5x.png";
        QTest::newRow("no scale") << std::optional<ParamValue>() << false << OutputKind::image
                                  << "photo-upx.png";
        QTest::newRow("two models") << std::optional(ParamValue::number(4)) << true
                                    << OutputKind::unknown << "photo-upx-model.png";
        QTest::newRow("makes video")
            << std::optional<ParamValue>() << false << OutputKind::video << "photo-upx.mp4";
    }
    void filenamePreview()
    {
        QFETCH(std::optional<ParamValue>, scale);
        QFETCH(bool, twoModels);
        QFETCH(OutputKind, output);
        makeStore(false);
        makeView();
        ModelSchema schema;
        schema.outputKind = output;
        if (scale)
            schema.params = {param("scale", Type::number, scale)};
        showSchema(schema);
        if (twoModels)
            m_store->toggle(*CatalogModel::fromSlug("test/other", {}, "Custom model", true));
        m_store->setFocusedSlug("test/model");
        auto *suffix = find<QLineEdit>("filenameSuffix");
        QCOMPARE(suffix->placeholderText(), "-upscaled");
        suffix->selectAll();
        QTest::keyClicks(suffix, "-{scale}x");
        QCOMPARE(m_store->state().filenameSuffix, "-{scale}x");
        QTEST(find<QLabel>("filenamePreview")->text(), "preview");
    }

    void outputFolder()
    {
        makeStore(false);
        makeView();
        auto *destination = find<SegmentedControl>("outputDestination");
        const QPoint custom = destination->segmentRect(1).center();
        QTest::mouseClick(destination, Qt::LeftButton, {}, custom);
        QCOMPARE(m_desktop->folderTitles, QStringList{"Where should upscale results be saved?"});
        QCOMPARE(destination->current(), 0);
        QVERIFY(!shown("outputFolder") && !shown("chooseFolder"));

        const QString folder = m_standIn.environment().path("Results for the long weekend trip");
        m_desktop->folderAnswer = QUrl::fromLocalFile(folder);
        QTest::mouseClick(destination, Qt::LeftButton, {}, custom);
        QCOMPARE(destination->current(), 1);
        QVERIFY(shown("outputFolder"));
        QCOMPARE(find<QAbstractButton>("outputFolder")->text(),
                 "Results for the long weekend trip");
        QCOMPARE(find("outputFolder")->toolTip(), QDir::toNativeSeparators(folder));

        // Video results go to the Movies folder until the person clears it.
        m_store->setMode(Mode::video);
        QVERIFY(shown("outputFolder") && !shown("chooseFolder"));
        m_store->setOutputDestination(OutputDestination::besideOriginal());
        QVERIFY(shown("chooseFolder") && !shown("outputDestination") && !shown("outputFolder"));
        QCOMPARE(find<QLineEdit>("filenameSuffix")->placeholderText(), "optional");
        QCOMPARE(find<QLabel>("filenamePreview")->text(), "your-prompt.mp4");
    }

    void includeSubfoldersIsRemembered()
    {
        makeStore(false);
        makeView();
        activate(*m_view);
        auto *subfolders = find<ToggleSwitch>("includeSubfolders");
        QVERIFY(shown("includeSubfolders"));
        QCOMPARE(subfolders->accessibleName(), "Include subfolders");
        QVERIFY(!subfolders->isChecked());
        subfolders->setFocus(Qt::TabFocusReason);
        QTest::keyClick(subfolders, Qt::Key_Space);
        QVERIFY(subfolders->isChecked());
        QVERIFY(m_store->state().includeSubfolders);
        // Each mode keeps its own choice; only the mode that takes files shows it.
        m_store->setMode(Mode::image);
        QVERIFY(!shown("includeSubfolders"));
        QVERIFY(!m_store->state().includeSubfolders);
        m_store->setMode(Mode::upscale);
        QVERIFY(shown("includeSubfolders") && subfolders->isChecked());

        m_view.reset();
        m_store.reset();
        makeStore(false);
        makeView();
        subfolders = find<ToggleSwitch>("includeSubfolders");
        QVERIFY(subfolders->isChecked());
        QTest::mouseClick(subfolders, Qt::LeftButton);
        QVERIFY(!m_store->state().includeSubfolders);
    }

    void runControls()
    {
        makeStore(false);
        makeView();
        auto *run = find<GlowButton>("runButton");
        QSignalSpy settings(m_view.get(), &InspectorView::settingsRequested);
        QVERIFY(shown("addToken") && !shown("estimate"));
        QTest::mouseClick(find<QAbstractButton>("addToken"), Qt::LeftButton);
        QCOMPARE(settings.size(), 1);
        QCOMPARE(run->text(), "Upscale");
        QVERIFY(!run->isEnabled());
        m_view.reset();

        makeStore(true, true);
        makeView();
        run = find<GlowButton>("runButton");
        m_store->selectOnly(*CatalogModel::fromSlug("nightmareai/real-esrgan", {}, {}, true));
        QList<QUrl> photos;
        for (const QString name : {"a.jpg", "b.jpg"}) {
            const QString path = m_standIn.environment().path(name);
            QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(64, 48), path, "JPEG"));
            photos.append(QUrl::fromLocalFile(path));
        }
        m_store->addFiles(photos);
        QTRY_COMPARE(run->text(), "Upscale 2 Images");
        QVERIFY(run->isEnabled() && !shown("addToken"));
        QTRY_VERIFY(shown("estimate"));
        QVERIFY(find<QLabel>("estimate")->text().startsWith("Around $"));

        // Uploads held back keep the run going until Stop.
        QVERIFY(m_standIn.service().addFault(
            QJsonObject{{"path", "/v1/files*"}, {"action", "delay"}, {"delayMs", 20000}}));
        QTest::mouseClick(run, Qt::LeftButton);
        QTRY_COMPARE(run->text(), "Stop");
        QVERIFY(run->isDestructive() && run->isEnabled() && !shown("estimate"));
        QTest::mouseClick(run, Qt::LeftButton);
        QTRY_VERIFY(!m_store->isRunning());
        QTRY_VERIFY(!run->isDestructive());

        auto *reveal = find<QAbstractButton>("revealWhenDone");
        QCOMPARE(reveal->text(), "Reveal in File Manager when done");
        QTest::mouseClick(reveal, Qt::LeftButton);
        QVERIFY(m_store->revealWhenDone());
    }

    void spendLimitIsKeptPerModeAndAcrossRestarts()
    {
        makeStore(false);
        makeView();
        auto *enabled = find<QCheckBox>("spendLimitEnabled");
        auto *amount = find<QDoubleSpinBox>("spendLimit");
        QVERIFY(enabled && amount);
        QCOMPARE(enabled->accessibleName(), "Stop at");
        QCOMPARE(amount->accessibleName(), "Spending limit in dollars");
        QVERIFY(!enabled->isChecked() && !amount->isEnabled());
        QCOMPARE(amount->text(), "$5.00");

        // All from the keyboard: turn it on, type an amount, confirm it.
        QTest::keyClick(enabled, Qt::Key_Space);
        QVERIFY(amount->isEnabled());
        QCOMPARE(m_store->state().spendLimit, std::optional(5.0));
        QTest::keyClick(amount, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(amount, "12.5");
        QTest::keyClick(amount, Qt::Key_Return);
        QCOMPARE(m_store->state().spendLimit, std::optional(12.5));
        QTest::keyClick(amount, Qt::Key_Up);
        QCOMPARE(m_store->state().spendLimit, std::optional(13.5));

        // Each mode has its own.
        m_store->setMode(Mode::image);
        QVERIFY(!enabled->isChecked() && !amount->isEnabled());
        m_store->setMode(Mode::upscale);
        QVERIFY(enabled->isChecked() && amount->isEnabled());
        QCOMPARE(amount->value(), 13.5);

        m_view.reset();
        m_store.reset();
        makeStore(false);
        QCOMPARE(m_store->state(Mode::upscale).spendLimit, std::optional(13.5));
        QVERIFY(!m_store->state(Mode::image).spendLimit);
        makeView();
        enabled = find<QCheckBox>("spendLimitEnabled");
        amount = find<QDoubleSpinBox>("spendLimit");
        QVERIFY(enabled->isChecked());
        QCOMPARE(amount->text(), "$13.50");
        QTest::keyClick(enabled, Qt::Key_Space);
        QVERIFY(!m_store->state().spendLimit);
        QVERIFY(!amount->isEnabled());
    }

    void estimateFollowsPhotosAsTheyAreRead()
    {
        makeStore(true, true);
        makeView();
        const QString slug = m_store->state().selectedSlugs.value(0);
        QTRY_VERIFY(m_store->directory().prices().contains(slug) &&
                    m_store->schemaState().isReady());
        QVERIFY(QDir().mkpath(m_standIn.environment().path("six")));
        const QList<QUrl> photos =
            SampleFiles::colouredPhotos(m_standIn.environment().path("six"), 6);
        QCOMPARE(photos.size(), 6);
        auto *estimate = find<QLabel>("estimate");
        bool saidUnpriced = false;
        const auto shows = [&](const QString &text) {
            saidUnpriced =
                saidUnpriced || (shown("estimate") && estimate->text().contains("unpriced"));
            return shown("estimate") && estimate->text() == text;
        };

        // The photo's size is read after it is listed; the estimate follows once it is known.
        m_store->addFiles(photos.mid(0, 1));
        QTRY_VERIFY(m_store->jobs().size() == 1 && m_store->jobs().first()->pixelSize());
        const std::optional<CostRange> one = m_store->plannedCost(slug, *m_store->jobs().first());
        QVERIFY(one);
        QTRY_VERIFY(shows(CostPlanner::estimateLabel({one->low, one->high, false})));

        // Photos whose size is still being read are neither priced nor unpriced meanwhile.
        m_store->addFiles(photos.mid(1));
        QTRY_VERIFY(shows(CostPlanner::estimateLabel({6 * one->low, 6 * one->high, false})));
        QVERIFY(!saidUnpriced);
    }
};

QTEST_MAIN(InspectorTest)
#include "tst_inspector.moc"
