#include "AppStoreProbe.h"
#include "DragAndDrop.h"
#include "FakeDesktop.h"
#include "Models/ModelCatalog.h"
#include "StandInService.h"
#include "TestEnvironment.h"
#include "Views/Theme/Animation.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/CentreContent.h"
#include "Views/Workspace/DropZoneView.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/JobRowDelegate.h"
#include "Views/Workspace/PromptComposer.h"
#include "Views/Workspace/PromptField.h"
#include "Views/Workspace/ReferenceChip.h"
#include "Views/Workspace/ReferenceRow.h"
#include "Views/Workspace/SymbolButton.h"
#include "Views/Workspace/VariantPill.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

CatalogModel builtIn(Mode mode, int index)
{
    return ModelCatalog::builtIn(mode).at(index);
}

ModelSchema imageSchema(bool takesList, bool required)
{
    ModelSchema schema;
    schema.imageKey = takesList ? u"image_input"_s : u"image"_s;
    schema.imageIsArray = takesList;
    schema.imageIsRequired = required;
    return schema;
}

QString writeFile(const QString &path, const QByteArray &format)
{
    if (format.isEmpty()) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("not a picture\n");
    } else {
        QImage image(24, 16, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.save(path, format.constData());
    }
    return path;
}

} // namespace

// The centre pane as a person uses it: typing and queueing prompts, choosing and dropping
// reference images, and reading, clicking and driving the job list from the keyboard.
class WorkspaceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void blankPromptChangesNothing_data();
    void blankPromptChangesNothing();
    void returnCtrlReturnAndButtonQueue_data();
    void returnCtrlReturnAndButtonQueue();
    void draftSurvivesModeSwitch();
    void referenceRowFollowsTheModels_data();
    void referenceRowFollowsTheModels();
    void referencesReplaceOrAccumulate_data();
    void referencesReplaceOrAccumulate();
    void referenceDropsKeepOnlyNewImages();
    void dropZoneFollowsDragAndSelection();
    void jobNames_data();
    void jobNames();
    void openLabels_data();
    void openLabels();
    void removeButtonShowsOnHoverOrOnceEnded();
    void pillTooltips_data();
    void pillTooltips();
    void clicksOpenOnlyViewableResults();
    void keyboardMovesOpensAndRemoves();
    void contextMenus_data();
    void contextMenus();
    void pillsFollowARealRun();
    void pillFadeEndsWhenMotionGoesOff();
    void rowsOnScreenArePreviewedFirst();
    void thumbnailIsPaintedAtFullStrength();
    void scrolledListLooksFreshlyPainted();

private:
    void makeStore(const StandInService *service = nullptr);
    void select(Mode mode, int models);
    // Marks the selected models' schemas ready with an image input of this kind.
    void setImageInput(bool takesList, bool required);
    QString path(const QString &name) const { return m_environment->path(name); }
    ImageJobPtr addPromptJob(const QString &prompt, const QList<QUrl> &references = {});
    // Adds files as a drop does and waits until their rows are listed.
    void addFiles(const QList<QUrl> &files);
    // A finished variant whose result file exists (or not).
    void finish(const ModelVariantPtr &variant, bool fileExists);
    void show();

    std::unique_ptr<TestEnvironment> m_environment;
    std::shared_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<CentreContent> m_centre;
};

void WorkspaceTest::initTestCase()
{
    Animation::setEnabled(false);
}

void WorkspaceTest::init()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_desktop = std::make_shared<FakeDesktop>();
    makeStore();
}

void WorkspaceTest::cleanup()
{
    m_centre.reset();
    if (m_store)
        m_store->cancelRun();
    m_store.reset();
}

void WorkspaceTest::makeStore(const StandInService *service)
{
    m_centre.reset();
    m_store.reset();
    AppEnvironment &environment = m_environment->mutableEnvironment();
    environment.desktop = m_desktop;
    if (service) {
        environment.apiBase = service->apiBase();
        environment.webBase = service->webBase();
        environment.environmentToken = u"r8_sim"_s;
    }
    m_store = std::make_unique<AppStore>(environment);
    QTRY_VERIFY(m_store->tokens().known());
    m_centre = std::make_unique<CentreContent>(*m_store);
    m_centre->resize(700, 520);
}

void WorkspaceTest::select(Mode mode, int models)
{
    m_store->setMode(mode);
    m_store->selectOnly(builtIn(mode, 0));
    for (int i = 1; i < models; ++i)
        m_store->toggle(builtIn(mode, i));
}

void WorkspaceTest::setImageInput(bool takesList, bool required)
{
    for (const QString &slug : m_store->state().selectedSlugs)
        AppStoreProbe::setSchemaState(*m_store, slug,
                                      SchemaState::ready(imageSchema(takesList, required)));
}

void WorkspaceTest::addFiles(const QList<QUrl> &files)
{
    m_store->addFiles(files);
    QVERIFY(QTest::qWaitFor([this] { return !m_store->isAddingFiles(); }));
}

ImageJobPtr WorkspaceTest::addPromptJob(const QString &prompt, const QList<QUrl> &references)
{
    m_store->addPromptJob(prompt, references);
    return m_store->jobs().last();
}

void WorkspaceTest::finish(const ModelVariantPtr &variant, bool fileExists)
{
    const QString result = path(variant->id().toString(QUuid::WithoutBraces) + u".png"_s);
    if (fileExists)
        writeFile(result, "PNG");
    variant->setResultURL(QUrl::fromLocalFile(result));
    variant->setStatus(RunStatus::done());
}

void WorkspaceTest::show()
{
    m_centre->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_centre.get()));
}

void WorkspaceTest::blankPromptChangesNothing_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces and line breaks") << u"  \n\t \n "_s;
}

void WorkspaceTest::blankPromptChangesNothing()
{
    QFETCH(QString, prompt);
    select(Mode::image, 1);
    setImageInput(false, false);
    const QList<QUrl> references{QUrl::fromLocalFile(writeFile(path("ref.png"), "PNG"))};
    m_store->setDraftPrompt(prompt);
    m_store->setDraftReferences(references);
    show();
    auto *field = m_centre->findChild<PromptField *>(u"promptField"_s);
    auto *queue = m_centre->findChild<QuietButton *>(u"addToQueueButton"_s);
    QCOMPARE(field->toPlainText(), prompt);
    QVERIFY(!queue->isEnabled());
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(m_store->jobs().isEmpty());
    QCOMPARE(m_store->draftPrompt(), prompt);
    QCOMPARE(m_store->draftReferences(), references);
}

void WorkspaceTest::returnCtrlReturnAndButtonQueue_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Return") << u"return"_s;
    QTest::newRow("Ctrl+Return") << u"ctrl"_s;
    QTest::newRow("Add to Queue") << u"button"_s;
}

void WorkspaceTest::returnCtrlReturnAndButtonQueue()
{
    QFETCH(QString, how);
    select(Mode::image, 2);
    setImageInput(true, false);
    const QUrl reference = QUrl::fromLocalFile(writeFile(path("ref.png"), "PNG"));
    m_store->setDraftReferences({reference});
    show();
    auto *field = m_centre->findChild<PromptField *>(u"promptField"_s);
    auto *queue = m_centre->findChild<QuietButton *>(u"addToQueueButton"_s);
    field->setFocus();
    QTest::keyClicks(field, u"A red fox"_s);
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(field, u"at dusk"_s);
    // Shift+Return only breaks the line, and the draft follows the field.
    QCOMPARE(m_store->draftPrompt(), u"A red fox\nat dusk"_s);
    QVERIFY(m_store->jobs().isEmpty());
    QVERIFY(queue->isEnabled());
    if (how == u"return")
        QTest::keyClick(field, Qt::Key_Return);
    else if (how == u"ctrl")
        QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
    else
        QTest::mouseClick(queue, Qt::LeftButton);
    QCOMPARE(m_store->jobs().size(), 1);
    const ImageJobPtr job = m_store->jobs().first();
    QCOMPARE(job->input().text(), u"A red fox\nat dusk"_s);
    QCOMPARE(job->input().references(), QList<QUrl>{reference});
    QCOMPARE(job->variants().size(), 2);
    QVERIFY(m_store->draftPrompt().isEmpty());
    QVERIFY(m_store->draftReferences().isEmpty());
    QVERIFY(field->toPlainText().isEmpty());
    QVERIFY(!queue->isEnabled());
}

void WorkspaceTest::draftSurvivesModeSwitch()
{
    select(Mode::image, 1);
    show();
    auto *field = m_centre->findChild<PromptField *>(u"promptField"_s);
    QCOMPARE(field->placeholderText(), u"Describe the image you want…"_s);
    field->setFocus();
    QTest::keyClicks(field, u"Waves"_s);
    m_store->setMode(Mode::video);
    QCOMPARE(field->placeholderText(), u"Describe the video you want…"_s);
    QCOMPARE(field->toPlainText(), u"Waves"_s);
    m_store->setMode(Mode::upscale);
    QVERIFY(!m_centre->composer()->isVisibleTo(m_centre.get()));
    m_store->setMode(Mode::image);
    QCOMPARE(field->toPlainText(), u"Waves"_s);
    // It grows with its text from three lines up to eight.
    QCOMPARE(field->shownLines(), 3);
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(field->shownLines(), 8);
}

void WorkspaceTest::referenceRowFollowsTheModels_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("hint");
    QTest::newRow("no schema yet") << u"none"_s << false << QString() << QString();
    QTest::newRow("no image input") << u"text"_s << false << QString() << QString();
    QTest::newRow("one optional image")
        << u"single"_s << true << u"Add reference image…"_s << u"optional — or drop one here"_s;
    QTest::newRow("a list of images")
        << u"list"_s << true << u"Add reference images…"_s << u"optional — or drop them here"_s;
    QTest::newRow("a required image")
        << u"required"_s << true << u"Add reference image…"_s << u"required"_s;
}

void WorkspaceTest::referenceRowFollowsTheModels()
{
    QFETCH(QString, schema);
    QFETCH(bool, shown);
    select(Mode::image, 1);
    if (schema == u"text")
        AppStoreProbe::setSchemaState(*m_store, m_store->state().selectedSlugs.first(),
                                      SchemaState::ready(ModelSchema()));
    else if (schema != u"none")
        setImageInput(schema == u"list", schema == u"required");
    show();
    auto *row = m_centre->findChild<ReferenceRow *>(u"referenceRow"_s);
    QCOMPARE(row->isVisible(), shown);
    if (!shown)
        return;
    auto *button = row->findChild<QPushButton *>(u"addReferenceButton"_s);
    auto *hint = row->findChild<QLabel *>(u"referenceHint"_s);
    QTEST(button->text(), "button");
    QTEST(hint->text(), "hint");
    QVERIFY(button->isVisible() && hint->isVisible());
}

void WorkspaceTest::referencesReplaceOrAccumulate_data()
{
    QTest::addColumn<bool>("takesList");
    QTest::newRow("one image") << false;
    QTest::newRow("a list") << true;
}

void WorkspaceTest::referencesReplaceOrAccumulate()
{
    QFETCH(bool, takesList);
    select(Mode::image, 1);
    setImageInput(takesList, false);
    show();
    const QUrl first = QUrl::fromLocalFile(writeFile(path("first.png"), "PNG"));
    const QUrl second = QUrl::fromLocalFile(writeFile(
        path("a-rather-long-reference-file-name-that-does-not-fit-in-a-chip.jpg"), "JPEG"));
    auto *row = m_centre->findChild<ReferenceRow *>(u"referenceRow"_s);
    m_desktop->fileAnswers = {{first}, {second}, {}};
    QTest::mouseClick(row->findChild<QPushButton *>(u"addReferenceButton"_s), Qt::LeftButton);
    QCOMPARE(m_store->draftReferences(), QList<QUrl>{first});
    auto *plus = row->findChild<SymbolButton *>(u"addAnotherReferenceButton"_s);
    QCOMPARE(plus->isVisible(), takesList);
    if (takesList) {
        QCOMPARE(plus->toolTip(), u"Add another reference image"_s);
        QTest::mouseClick(plus, Qt::LeftButton);
    } else {
        row->addReferences(m_store->chooseReferenceImages());
    }
    const QList<QUrl> expected = takesList ? QList<QUrl>{first, second} : QList<QUrl>{second};
    QCOMPARE(m_store->draftReferences(), expected);
    // A cancelled panel adds nothing.
    if (takesList)
        QTest::mouseClick(plus, Qt::LeftButton);
    QCOMPARE(m_store->draftReferences(), expected);

    const QList<ReferenceChip *> chips = row->findChildren<ReferenceChip *>();
    QCOMPARE(chips.size(), expected.size());
    ReferenceChip *last = chips.last();
    QCOMPARE(last->toolTip(), second.toLocalFile());
    QVERIFY(last->shownName().contains(u'…'));
    QVERIFY(last->shownName().startsWith(u"a-rather"));
    QVERIFY(last->shownName().endsWith(u".jpg"));
    QCOMPARE(last->removeButton()->accessibleName(), u"Remove "_s + second.fileName());
    QTest::mouseClick(last->removeButton(), Qt::LeftButton);
    QCOMPARE(m_store->draftReferences(), takesList ? QList<QUrl>{first} : QList<QUrl>{});
}

void WorkspaceTest::referenceDropsKeepOnlyNewImages()
{
    select(Mode::image, 1);
    setImageInput(true, false);
    show();
    auto *row = m_centre->findChild<ReferenceRow *>(u"referenceRow"_s);
    const QUrl image = QUrl::fromLocalFile(writeFile(path("photo.png"), "PNG"));
    const QUrl text = QUrl::fromLocalFile(writeFile(path("notes.txt"), {}));
    const auto drop = [row](const QList<QUrl> &urls) { return dropFiles(row, urls, {20, 10}); };
    QCOMPARE(drop({text}), std::pair(false, false));
    QVERIFY(m_store->draftReferences().isEmpty());
    QCOMPARE(drop({text, image}), std::pair(true, true));
    QCOMPARE(m_store->draftReferences(), QList<QUrl>{image});
    QCOMPARE(drop({image}), std::pair(true, true));
    QCOMPARE(m_store->draftReferences(), QList<QUrl>{image});
}

void WorkspaceTest::dropZoneFollowsDragAndSelection()
{
    select(Mode::upscale, 1);
    show();
    DropZoneView *zone = m_centre->dropZone();
    QVERIFY(zone->isVisible());
    QVERIFY(!m_centre->jobList()->isVisible());
    QCOMPARE(zone->title(), u"Drop images here"_s);
    QVERIFY(zone->compareText().isEmpty());
    QCOMPARE(zone->zoneRect().size(), QSizeF(380, 260));
    m_centre->setDragTargeted(true);
    QCOMPARE(zone->title(), u"Drop to add"_s);
    m_centre->setDragTargeted(false);
    QCOMPARE(zone->title(), u"Drop images here"_s);
    QCOMPARE(zone->breath(), 0.0);
    m_store->toggle(builtIn(Mode::upscale, 1));
    QCOMPARE(zone->compareText(), u"Each image will be run through 2 models so you can compare"_s);

    m_desktop->fileAnswers = {{QUrl::fromLocalFile(writeFile(path("beach.png"), "PNG"))}};
    QTest::mouseClick(zone->findChild<QPushButton *>(u"chooseImagesButton"_s), Qt::LeftButton);
    QTRY_COMPARE(m_store->jobs().size(), 1);
    QVERIFY(!zone->isVisible());
    QVERIFY(m_centre->jobList()->isVisible());
}

void WorkspaceTest::jobNames_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("name");
    const QString sixty = QString(u'a').repeated(60);
    QTest::newRow("60 characters, whole") << sixty << sixty;
    QTest::newRow("61 characters, cut") << sixty + u'b' << sixty + u'…';
    QTest::newRow("line breaks as spaces") << u"Two\nlines"_s << u"Two lines"_s;
}

void WorkspaceTest::jobNames()
{
    QFETCH(QString, prompt);
    select(Mode::image, 1);
    addPromptJob(prompt);
    const QModelIndex first = m_centre->jobList()->jobModel()->index(0);
    QTEST(first.data().toString(), "name");
}

void WorkspaceTest::openLabels_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("longLabel");
    QTest::newRow("video") << Mode::video << u"Play"_s << u"Play Result"_s;
    QTest::newRow("image prompt") << Mode::image << u"View"_s << u"View Result"_s;
    QTest::newRow("image file") << Mode::upscale << u"Compare"_s << u"Compare Results"_s;
}

void WorkspaceTest::openLabels()
{
    QFETCH(Mode, mode);
    select(mode, 1);
    if (mode == Mode::upscale)
        addFiles({QUrl::fromLocalFile(writeFile(path("a.png"), "PNG"))});
    else
        addPromptJob(u"A comet"_s);
    const ImageJobPtr job = m_store->jobs().first();
    QTEST(m_centre->jobList()->openLabel(*job), "label");
    QTEST(m_centre->jobList()->longOpenLabel(*job), "longLabel");
}

void WorkspaceTest::removeButtonShowsOnHoverOrOnceEnded()
{
    select(Mode::image, 1);
    const ImageJobPtr queued = addPromptJob(u"Queued"_s);
    const ImageJobPtr finished = addPromptJob(u"Finished"_s);
    finish(finished->variants().first(), true);
    show();
    JobListView *list = m_centre->jobList();
    QVERIFY(!list->showsRemove(*queued));
    QVERIFY(list->showsRemove(*finished));
    const QRect row = list->rowRect(0);
    QTest::mouseMove(list->viewport(), row.center());
    QTRY_VERIFY(list->showsRemove(*queued));
    // The button sits at the right end of the name line; clicking it removes the job.
    const auto geometry = JobRowDelegate::geometry(row, *queued);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, geometry.remove.center().toPoint());
    QCOMPARE(m_store->jobs(), QList<ImageJobPtr>{finished});
}

void WorkspaceTest::pillTooltips_data()
{
    QTest::addColumn<RunStatus>("status");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("done, moved away")
        << RunStatus::done()
        << "Title — 12s — $0.025 on Replicate (output file has been moved or deleted)";
    QTest::newRow("failed") << RunStatus::failed("Rate limited by Replicate. Try fewer at a time.")
                            << "Rate limited by Replicate. Try fewer at a time.";
    QTest::newRow("waiting") << RunStatus::waiting() << "Title — Queued";
    QTest::newRow("uploading") << RunStatus::uploading() << "Title — Uploading";
    QTest::newRow("downloading") << RunStatus::downloading() << "Title — Saving";
    QTest::newRow("cancelled") << RunStatus::cancelled() << "Title — Cancelled";
}

void WorkspaceTest::pillTooltips()
{
    QFETCH(RunStatus, status);
    select(Mode::image, 1);
    const ImageJobPtr job = addPromptJob(u"A lantern"_s);
    const ModelVariantPtr variant = job->variants().first();
    variant->setModelTitle(u"Title"_s);
    variant->setElapsed(12.7);
    variant->setCost(CostRange{0.025, 0.025});
    variant->setResultURL(QUrl::fromLocalFile(path("gone.png")));
    variant->setStatus(status);
    show();
    // What a person reads when resting the pointer on the pill.
    JobListView *list = m_centre->jobList();
    const QRect row = list->rowRect(0);
    const QPoint pill = JobRowDelegate::geometry(row, *job).pills.first().center().toPoint();
    QHelpEvent help(QEvent::ToolTip, pill, list->viewport()->mapToGlobal(pill));
    QApplication::sendEvent(list->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QTEST(QToolTip::text(), "tooltip");
    QToolTip::hideText();
}

void WorkspaceTest::clicksOpenOnlyViewableResults()
{
    select(Mode::image, 2);
    const ImageJobPtr job = addPromptJob(u"A harbour"_s);
    show();
    JobListView *list = m_centre->jobList();
    auto click = [&](const QPointF &at) {
        m_store->setPresenting({});
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.toPoint());
        return m_store->presenting() == job;
    };
    const QRect row = list->rowRect(0);
    const QPointF body(row.left() + 30, row.bottom() - 4);
    QVERIFY(!click(body));
    // The first result is on disk, the second was moved away: only its pill stays shut.
    finish(job->variants().at(0), true);
    finish(job->variants().at(1), false);
    const auto geometry = JobRowDelegate::geometry(list->rowRect(0), *job);
    QVERIFY(click(body));
    QVERIFY(click(geometry.open.center()));
    QVERIFY(click(geometry.pills.at(0).center()));
    QVERIFY(!click(geometry.pills.at(1).center()));
    // Without any result on disk there is nothing to open.
    QFile::remove(job->variants().at(0)->resultURL().toLocalFile());
    QVERIFY(!click(body));
}

void WorkspaceTest::keyboardMovesOpensAndRemoves()
{
    select(Mode::image, 1);
    const ImageJobPtr first = addPromptJob(u"One"_s);
    const ImageJobPtr second = addPromptJob(u"Two"_s);
    const ImageJobPtr third = addPromptJob(u"Three"_s);
    finish(second->variants().first(), true);
    show();
    JobListView *list = m_centre->jobList();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(!m_store->presenting());
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex().row(), 1);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(m_store->presenting(), second);
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(m_store->jobs(), (QList<ImageJobPtr>{first, second}));
    QCOMPARE(list->jobModel()->rowCount(), 2);
}

void WorkspaceTest::contextMenus_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("file with a result")
        << "file" << QStringList{"Compare Results", "Reveal Original in File Manager", "Remove"};
    QTest::newRow("prompt") << "prompt" << QStringList{"Reuse Prompt", "Remove"};
    QTest::newRow("prompt with references")
        << "references" << QStringList{"Reuse Prompt & References", "Remove"};
}

void WorkspaceTest::contextMenus()
{
    QFETCH(QString, kind);
    ImageJobPtr job;
    const QUrl file = QUrl::fromLocalFile(writeFile(path("dune.png"), "PNG"));
    if (kind == u"file") {
        select(Mode::upscale, 1);
        addFiles({file});
        job = m_store->jobs().first();
        finish(job->variants().first(), true);
    } else {
        select(Mode::image, 1);
        job = addPromptJob(u"A lighthouse"_s,
                           kind == u"references" ? QList<QUrl>{file} : QList<QUrl>{});
    }
    std::unique_ptr<QMenu> menu(m_centre->jobList()->contextMenu(job, m_centre.get()));
    QStringList labels;
    for (QAction *action : menu->actions())
        labels.append(action->text().replace(u"&&"_s, u"&"_s));
    QTEST(labels, "labels");
    // The second entry reveals the original or puts the prompt back into the composer.
    menu->actions().at(kind == u"file" ? 1 : 0)->trigger();
    if (kind == u"file") {
        QCOMPARE(m_desktop->revealed, QList<QList<QUrl>>{{file}});
    } else {
        QCOMPARE(m_store->draftPrompt(), u"A lighthouse"_s);
    }
    menu->actions().last()->trigger();
    QVERIFY(m_store->jobs().isEmpty());
}

void WorkspaceTest::pillsFollowARealRun()
{
    StandInService service(StandInService::Options{2, 0.05});
    QVERIFY2(service.isRunning(), qPrintable(service.errorString()));
    makeStore(&service);
    QVERIFY(m_store->tokens().hasToken());
    m_store->setMode(Mode::image);
    m_store->selectOnly(*ModelCatalog::find(ModelCatalog::builtIn(Mode::image),
                                            u"black-forest-labs/flux-schnell"_s));
    m_store->setOutputDestination(OutputDestination::folder(QUrl::fromLocalFile(path(""))));
    show();
    auto *field = m_centre->findChild<PromptField *>(u"promptField"_s);
    field->setFocus();
    QTest::keyClicks(field, u"A quiet harbour"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(m_store->jobs().size(), 1);
    const ImageJobPtr job = m_store->jobs().first();
    const ModelVariantPtr variant = job->variants().first();

    // What the pill says each time the list is told its row changed.
    JobListView *list = m_centre->jobList();
    QStringList seen{VariantPill::helpText(*variant)};
    connect(list->jobModel(), &QAbstractItemModel::dataChanged, this, [&] {
        const QString text = VariantPill::helpText(*variant);
        if (seen.last() != text)
            seen.append(text);
    });
    m_store->startRun();
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->isRunning(), 30000);
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(seen.join(u" | ")));
    const QString title = variant->modelTitle();
    QCOMPARE(seen.first(), title + u" — Queued");
    QVERIFY2(seen.contains(title + u" — Running"), qPrintable(seen.join(u" | ")));
    QVERIFY(seen.last().startsWith(title + u" — "));
    QVERIFY(!seen.last().contains(u"moved or deleted"));
    QVERIFY(job->hasViewableResult());
    QVERIFY(list->showsRemove(*job));
}

void WorkspaceTest::rowsOnScreenArePreviewedFirst()
{
    select(Mode::upscale, 1);
    show();
    // Two hundred names for one real photo, so decoding costs what a photo costs.
    const QString photo = path("photo.jpg");
    QImage(1600, 1067, QImage::Format_RGB32).save(photo, "JPEG");
    QList<QUrl> files;
    for (int i = 0; i < 200; ++i) {
        const QString name = path(u"p-%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY(QFile::link(photo, name));
        files.append(QUrl::fromLocalFile(name));
    }
    // Rows arrive in slices; each is followed from the moment it is listed.
    QList<const ImageJob *> made;
    QSet<const ImageJob *> followed;
    QObject following;
    connect(m_store.get(), &AppStore::jobsChanged, &following, [&] {
        for (const ImageJobPtr &job : m_store->jobs())
            if (!followed.contains(job.get())) {
                followed.insert(job.get());
                connect(job.get(), &ImageJob::thumbnailChanged, &following,
                        [&made, raw = job.get()] { made.append(raw); });
            }
    });
    addFiles(files);
    // The person jumps to the end of the list at once.
    JobListView *list = m_centre->jobList();
    list->scrollToBottom();
    const auto [first, last] = list->visibleRows();
    QVERIFY(last == 199 && first > 150);
    const QList<ImageJobPtr> jobs = m_store->jobs();
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(jobs.begin() + first, jobs.end(),
                    [](const auto &job) { return !job->thumbnail().isNull(); }),
        60000);
    for (int row = first; row <= last; ++row)
        QVERIFY2(made.indexOf(jobs.at(row).get()) < 60, qPrintable(QString::number(row)));
    // Each keeps no more than the square its row paints.
    const int side = int(std::ceil(44 * list->devicePixelRatioF()));
    QCOMPARE(jobs.last()->thumbnail().size(), QSize(side, side));
}

// Guards a fault seen in a real session: the rounding mask's faint fill faded every photo to 8 %.
void WorkspaceTest::thumbnailIsPaintedAtFullStrength()
{
    select(Mode::upscale, 1);
    show();
    QImage red(400, 300, QImage::Format_RGB32);
    red.fill(QColor(220, 20, 20));
    QVERIFY(red.save(path("red.png")));
    addFiles({QUrl::fromLocalFile(path("red.png"))});
    QTRY_VERIFY(!m_store->jobs().value(0)->thumbnail().isNull());
    JobListView *list = m_centre->jobList();
    const QRect row = list->visualRect(list->model()->index(0, 0));
    const int inset = JobRowDelegate::padding + JobRowDelegate::thumbnailSide / 2;
    const QPoint centre =
        list->viewport()->mapTo(m_centre.get(), row.topLeft() + QPoint(inset, inset));
    QTRY_VERIFY(m_centre->grab().toImage().pixelColor(centre).red() > 180);
    const QColor painted = m_centre->grab().toImage().pixelColor(centre);
    QVERIFY2(painted.green() < 80, qPrintable(painted.name()));
}

// The list scrolls by moving what is already on screen; what it shows afterwards must be exactly
// what painting it afresh gives, with no trace of where the rows were.
void WorkspaceTest::scrolledListLooksFreshlyPainted()
{
    select(Mode::upscale, 2);
    show();
    QList<QUrl> files;
    for (int i = 0; i < 24; ++i)
        files.append(QUrl::fromLocalFile(writeFile(path(u"photo-%1.png"_s.arg(i)), "PNG")));
    addFiles(files);
    JobListView *list = m_centre->jobList();
    QScrollBar *bar = list->verticalScrollBar();
    QVERIFY(bar->maximum() > 300);
    for (const int step : {37, 37, 120, -53, 24, 24}) {
        bar->setValue(bar->value() + step);
        QCoreApplication::processEvents();
    }
    QWidget *viewport = list->viewport();
    const QImage onScreen =
        m_centre->screen()
            ->grabWindow(m_centre->winId(), viewport->mapTo(m_centre.get(), QPoint(0, 0)).x(),
                         viewport->mapTo(m_centre.get(), QPoint(0, 0)).y(), viewport->width(),
                         viewport->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(onScreen.size(), fresh.size());
    QVERIFY(onScreen == fresh);
}

// Motion switched off in the middle of a pill's colour fade shows the fade's end at once.
void WorkspaceTest::pillFadeEndsWhenMotionGoesOff()
{
    select(Mode::image, 1);
    const ImageJobPtr job = addPromptJob(u"A lighthouse at dusk"_s);
    show();
    JobListView *list = m_centre->jobList();
    const QRect pill = JobRowDelegate::geometry(list->rowRect(0), *job).pills.at(0).toRect();
    const auto grabPill = [&] { return list->viewport()->grab(pill).toImage(); };
    const auto motionOff = qScopeGuard([] { Animation::setEnabled(false); });
    Animation::setEnabled(true);
    QSignalSpy changed(list->model(), &QAbstractItemModel::dataChanged);
    job->variants().at(0)->setStatus(RunStatus::failed(u"No"_s));
    // The list hears of changes once per turn of the event loop.
    QTRY_VERIFY(!changed.isEmpty());
    const QImage fading = grabPill();
    Animation::setEnabled(false);
    const QImage switchedOff = grabPill();
    QTest::qWait(400);
    const QImage atRest = grabPill();
    QVERIFY(fading != atRest);
    QVERIFY(switchedOff == atRest);
}

QTEST_MAIN(WorkspaceTest)
#include "tst_workspace.moc"
