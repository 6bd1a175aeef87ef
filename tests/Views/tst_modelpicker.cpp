#include "AppStoreProbe.h"
#include "Models/ModelCatalog.h"
#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/SettingsWriter.h"
#include "StandInStore.h"
#include "Views/Inspector/ModelList.h"
#include "Views/Inspector/ModelPicker.h"
#include "Views/Inspector/PickerListModel.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Theme/Animation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

// The model picker against the stand-in service: the summary, the list's order and filter, the
// debounced service search, the "Use" row, compare mode and removing custom models.
class ModelPickerTest : public QObject
{
    Q_OBJECT

    StandInStore m_standIn;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<ModelPicker> m_picker;

    ModelPicker &makePicker(bool compare = false)
    {
        QSettings(m_standIn.surroundings().settingsPath, QSettings::IniFormat)
            .setValue(ModelPicker::compareKey, compare);
        m_store = m_standIn.makeStore("r8_test");
        [&] { QVERIFY(m_store); }();
        m_store->setMode(Mode::image);
        m_picker = std::make_unique<ModelPicker>(*m_store);
        m_picker->resize(292, 500);
        m_picker->show();
        QApplication::setActiveWindow(m_picker.get());
        [&] { QVERIFY(QTest::qWaitForWindowActive(m_picker.get())); }();
        m_picker->setExpanded(true);
        return *m_picker;
    }
    template <typename T = QWidget> T *find(const QString &name) const
    {
        return m_picker->findChild<T *>(name);
    }
    QLineEdit *field() const { return find<QLineEdit>("modelSearch"); }
    ModelList *list() const { return find<ModelList>("modelList"); }
    QStringList rowSlugs() const
    {
        QStringList slugs;
        for (const CatalogModel &model : list()->listModel()->rows())
            slugs.append(model.slug());
        return slugs;
    }
    void clickRow(int row)
    {
        QVERIFY(row >= 0);
        const QModelIndex index = list()->model()->index(row, 0);
        list()->scrollTo(index);
        QTRY_VERIFY(list()->viewport()->rect().contains(list()->visualRect(index).center()));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualRect(index).center());
    }
    QStringList queries()
    {
        QStringList sent;
        for (const QJsonValue &request : m_standIn.service().requests("/v1/models")) {
            if (request["method"].toString() == "QUERY")
                sent.append(request["body"].toString());
        }
        return sent;
    }
    const QList<CatalogModel> &builtIn() const { return ModelCatalog::builtIn(Mode::image); }

private Q_SLOTS:
    void initTestCase()
    {
        Animation::setEnabled(false);
        QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    }
    void init() { QVERIFY(m_standIn.reset()); }
    void cleanup()
    {
        m_picker.reset();
        m_store.reset();
    }

    void compareModeOrderAndSummary()
    {
        ModelPicker &picker = makePicker(true);
        QVERIFY(field()->hasFocus());
        QCOMPARE(picker.isExpanded(), true);
        // Picked in reverse catalogue order: the selection heads the list in that order.
        clickRow(static_cast<int>(rowSlugs().indexOf(builtIn().at(3).slug())));
        clickRow(static_cast<int>(rowSlugs().indexOf(builtIn().at(2).slug())));
        QVERIFY(picker.isExpanded());
        const QStringList selected{builtIn().at(0).slug(), builtIn().at(3).slug(),
                                   builtIn().at(2).slug()};
        QCOMPARE(m_store->state().selectedSlugs, selected);
        QCOMPARE(rowSlugs().mid(0, 3), selected);
        QCOMPARE(find<QAbstractButton>("pickerHeader")->text(), builtIn().at(0).title + " +2");
        // Off: only the focused model stays, and the setting is remembered.
        QTest::mouseClick(find<QAbstractButton>("compareModels"), Qt::LeftButton);
        QCOMPARE(m_store->state().selectedSlugs, QStringList{builtIn().at(2).slug()});
        m_store->settingsWriter().flush();
        QCOMPARE(QSettings(m_standIn.surroundings().settingsPath, QSettings::IniFormat)
                     .value(ModelPicker::compareKey)
                     .toBool(),
                 false);
        // A click now selects one model and closes the panel.
        clickRow(static_cast<int>(rowSlugs().indexOf(builtIn().at(1).slug())));
        QCOMPARE(m_store->state().selectedSlugs, QStringList{builtIn().at(1).slug()});
        QVERIFY(!picker.isExpanded());
        QCOMPARE(find<QAbstractButton>("pickerHeader")->text(), builtIn().at(1).title);
    }

    void debouncedSearch()
    {
        ModelPicker &picker = makePicker();
        // One character filters the local list only.
        QTest::keyClicks(field(), "f");
        QVERIFY(!picker.isSearching() && picker.remote().isEmpty());
        for (const CatalogModel &model : picker.results())
            QVERIFY(QString(model.slug() + model.title + model.blurb)
                        .contains("f", Qt::CaseInsensitive));
        QTest::keyClicks(field(), "lux");
        QTRY_VERIFY(!picker.remote().isEmpty());
        QVERIFY(!picker.isSearching());
        QCOMPARE(queries(), QStringList{"flux"});
        // Back to one character: the service's results go.
        QTest::keyClick(field(), Qt::Key_Backspace);
        QTest::keyClick(field(), Qt::Key_Backspace);
        QTest::keyClick(field(), Qt::Key_Backspace);
        QVERIFY(picker.remote().isEmpty());
        QCOMPARE(queries(), QStringList{"flux"});
    }

    void olderAnswerDropped()
    {
        ModelPicker &picker = makePicker();
        QVERIFY(m_standIn.service().addFault(
            QJsonObject{{"method", "QUERY"}, {"action", "delay"}, {"delayMs", 600}, {"times", 1}}));
        // Only the searches go through the store's network from here on.
        QTRY_VERIFY(m_store->schemaState().isReady() &&
                    m_store->directory().catalogs().contains(Mode::image));
        QSignalSpy answered(AppStoreProbe::network(*m_store), &QNetworkAccessManager::finished);
        QTest::keyClicks(field(), "upscale");
        QTRY_VERIFY(picker.isSearching());
        QCOMPARE(find<QLabel>("pickerStatus")->isVisible(), picker.results().isEmpty());
        // A newer query while the first is on its way: the first answer must not land.
        field()->clear();
        QTest::keyClicks(field(), "zzq");
        QTRY_COMPARE(queries().size(), 2);
        QTRY_COMPARE(answered.size(), 2);
        QTRY_VERIFY(!picker.isSearching());
        QCOMPARE(picker.remote(), QList<CatalogModel>());
        QVERIFY(find<QLabel>("pickerStatus")->isVisible());
        QCOMPARE(find<QLabel>("pickerStatus")->text(), "No models match.");
    }

    void rejectedTokenSaysSo()
    {
        QVERIFY(m_standIn.service().addFault(QJsonObject{{"path", "/v1/*"}, {"status", 401}}));
        ModelPicker &picker = makePicker();
        QSignalSpy settings(&picker, &ModelPicker::settingsRequested);
        // The collection is turned away: the list of built-in models says why it is short.
        QTRY_VERIFY(find("pickerTokenRejected")->isVisible());
        QCOMPARE(find<QLabel>("pickerTokenRejectedText")->text(),
                 "Replicate rejected the API token.");
        QTest::keyClicks(field(), "zzq");
        QTRY_COMPARE(queries().size(), 1);
        QTRY_VERIFY(!picker.isSearching());
        QCOMPARE(find<QLabel>("pickerStatus")->text(), "Replicate rejected the API token.");
        auto *open = find<QAbstractButton>("pickerOpenSettings");
        open->setFocus();
        QTest::keyClick(open, Qt::Key_Space);
        QCOMPARE(settings.size(), 1);

        // A new token stored is not the one turned away: the picker stops saying so at once.
        const auto storing = runTask(m_store->setToken("r8_new"));
        QVERIFY(storing.finished && *storing.value);
        QVERIFY(!find("pickerTokenRejected")->isVisible());
        QTRY_VERIFY(find("pickerTokenRejected")->isVisible());

        // Once the service answers again, the list is the search's answer.
        QVERIFY(m_standIn.service().reset());
        QTest::keyClick(field(), Qt::Key_Backspace);
        QTest::keyClicks(field(), "q");
        QTRY_COMPARE(queries().size(), 1);
        QTRY_VERIFY(!picker.isSearching());
        QVERIFY(!find("pickerTokenRejected")->isVisible());
        QCOMPARE(find<QLabel>("pickerStatus")->text(), "No models match.");
    }

    void useTypedSlug()
    {
        ModelPicker &picker = makePicker();
        QTest::keyClicks(field(), builtIn().at(1).slug());
        QVERIFY(!find("useModel")->isVisible());
        field()->clear();
        QTest::keyClicks(field(), "https://replicate.com/someone/new-model");
        auto *use = find<QAbstractButton>("useModel");
        QVERIFY(use->isVisible());
        QCOMPARE(use->text(), "Use someone/new-model");
        QTest::mouseClick(use, Qt::LeftButton);
        QCOMPARE(m_store->state().selectedSlugs, QStringList{"someone/new-model"});
        QCOMPARE(m_store->focusedModel().blurb, "Custom model");
        QVERIFY(m_store->focusedModel().isCustom);
        QVERIFY(field()->text().isEmpty() && !picker.isExpanded());

        // Removing the only selected custom model selects the mode's first built-in one.
        picker.setExpanded(true);
        QCOMPARE(rowSlugs().first(), "someone/new-model");
        const QRect first = list()->visualRect(list()->model()->index(0, 0));
        QTest::mouseMove(list()->viewport(), first.center());
        QTRY_VERIFY(list()->removeButton()->isVisible());
        QCOMPARE(list()->removeButton()->accessibleName(), "Remove New Model");
        QTest::mouseClick(list()->removeButton(), Qt::LeftButton);
        QCOMPARE(m_store->state().selectedSlugs, QStringList{builtIn().first().slug()});
        QVERIFY(!rowSlugs().contains("someone/new-model"));
    }

    void keyboardPick()
    {
        ModelPicker &picker = makePicker();
        QTest::keyClick(field(), Qt::Key_Down);
        QVERIFY(list()->hasFocus());
        QTest::keyClick(list(), Qt::Key_Down);
        const QString second = rowSlugs().at(1);
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(m_store->state().selectedSlugs, QStringList{second});
        QVERIFY(!picker.isExpanded());
    }
};

QTEST_MAIN(ModelPickerTest)
#include "tst_modelpicker.moc"
