#include "Models/ModelCatalog.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Views/Inspector/ModelPicker.h"
#include "Views/Launcher/LauncherView.h"
#include "Views/Launcher/ModeTile.h"
#include "Views/Settings/WelcomeView.h"
#include "Views/Shell/DropOverlay.h"
#include "Views/Shell/Header.h"
#include "Views/Shell/ModeButton.h"
#include "Views/Shell/StatusBar.h"
#include "Views/Shell/Workspace.h"
#include "Views/Workspace/PromptField.h"
#include "WindowTestCase.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGraphicsEffect>
#include <QImage>
#include <QJsonArray>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
const QString esrgan = u"nightmareai/real-esrgan"_s;
const QString clarity = u"google/upscaler"_s;
const QString schnell = u"black-forest-labs/flux-schnell"_s;

CatalogModel builtIn(Mode mode, const QString &slug)
{
    const auto model = ModelCatalog::find(ModelCatalog::builtIn(mode), slug);
    if (!model)
        qFatal("no built-in model %s", qPrintable(slug));
    return *model;
}

QList<RunStatus> statuses(int done, int failed, int waiting)
{
    QList<RunStatus> list;
    list.fill(RunStatus::done(), done);
    for (int i = 0; i < failed; ++i)
        list.append(RunStatus::failed(u"Model error"_s));
    for (int i = 0; i < waiting; ++i)
        list.append(RunStatus::waiting());
    return list;
}
} // namespace

// The main window as a person meets it: which screen shows, what the header, the status bar
// and the menus offer, drops, the welcome screen's shield, and quitting during a run.
class MainWindowTest : public WindowTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void modeButtonAndTilesSwitchScreens();
    void menusFollowTheStore();
    void subtitle_data();
    void subtitle();
    void statusSummary_data();
    void statusSummary();
    void runCountDuringARun();
    void spendSummary_data();
    void spendSummary();
    void headerItemsPerMode();
    void ctrlReturnQueuesThenRuns();
    void dropOverlayOnlyOverAList();
    void welcomeShieldsTheContent();
    void geometryIsRemembered();
    void damagedJournalIsShown();
    void windowSettingsSurviveAReopen_data();
    void windowSettingsSurviveAReopen();
    void quitDuringRunCancelsEveryPrediction();

private:
    void makeWindow(bool withToken = true);
    void select(Mode mode, const QStringList &slugs);
    // Jobs made directly, one per entry, each with a variant per selected model in `statuses`
    // order.
    void putJobs(int count, const QList<RunStatus> &statuses);
    void addPhotos(int count);
    QAction *action(const char *name) const;

    // Stands in for the platform's own settings folder.
    QTemporaryDir m_platformSettings;
};

void MainWindowTest::initTestCase()
{
    QVERIFY(m_platformSettings.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_platformSettings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_platformSettings.path());
    startService();
}

void MainWindowTest::init()
{
    freshEnvironment();
}

void MainWindowTest::cleanup()
{
    dropWindow();
}

void MainWindowTest::makeWindow(bool withToken)
{
    testEnvironment().mutableEnvironment().environmentToken = withToken ? u"r8_sim"_s : QString();
    openWindow();
}

void MainWindowTest::select(Mode mode, const QStringList &slugs)
{
    m_store->setMode(mode);
    m_store->selectOnly(builtIn(mode, slugs.first()));
    for (const QString &slug : slugs.mid(1))
        m_store->toggle(builtIn(mode, slug));
}

void MainWindowTest::putJobs(int count, const QList<RunStatus> &statuses)
{
    const QStringList slugs = m_store->state().selectedSlugs;
    QList<ImageJobPtr> jobs;
    qsizetype next = 0;
    for (int i = 0; i < count; ++i) {
        auto job = std::make_shared<ImageJob>(
            m_store->mode() == Mode::upscale
                ? JobInput::file(QUrl::fromLocalFile(testEnvironment().path(u"p%1.png"_s.arg(i))))
                : JobInput::prompt(u"prompt %1"_s.arg(i)));
        QList<ModelVariantPtr> variants;
        for (const QString &slug : slugs) {
            auto variant = std::make_shared<ModelVariant>(slug, m_store->title(slug));
            variant->setStatus(statuses.value(next++, RunStatus::waiting()));
            variants.append(variant);
        }
        job->setVariants(variants);
        jobs.append(job);
    }
    m_store->setJobs(jobs);
}

void MainWindowTest::addPhotos(int count)
{
    const QList<QUrl> files = SampleFiles::colouredPhotos(testEnvironment().path(u"."_s), count);
    QCOMPARE(files.size(), count);
    m_store->addFiles(files);
    QTRY_COMPARE(m_store->jobs().size(), count);
}

QAction *MainWindowTest::action(const char *name) const
{
    return m_window->findChild<QAction *>(QString::fromLatin1(name));
}

void MainWindowTest::modeButtonAndTilesSwitchScreens()
{
    makeWindow();
    auto *modeContent = qobject_cast<QStackedWidget *>(m_window->modeContent());
    QCOMPARE(modeContent->currentWidget(), m_window->launcher());
    auto *tile = m_window->findChild<ModeTile *>(u"modeTile_image"_s);
    QTest::mouseClick(tile, Qt::LeftButton);
    QCOMPARE(m_store->mode(), std::optional(Mode::image));
    QCOMPARE(modeContent->currentWidget(), m_window->workspace());
    auto *modeButton = m_window->findChild<ModeButton *>(u"modeButton"_s);
    QCOMPARE(modeButton->title(), u"Image"_s);
    QCOMPARE(modeButton->toolTip(), u"Back to all modes"_s);
    QTest::mouseClick(modeButton, Qt::LeftButton);
    QCOMPARE(m_store->mode(), std::nullopt);
    QCOMPARE(modeContent->currentWidget(), m_window->launcher());
}

void MainWindowTest::menusFollowTheStore()
{
    // No token: pending work does not make "Run" available.
    makeWindow(false);
    QAction *add = action("actionAddImages");
    QAction *run = action("actionRun");
    QAction *cancel = action("actionCancel");
    QCOMPARE(add->shortcut(), QKeySequence(u"Ctrl+O"_s));
    QCOMPARE(run->shortcut(), QKeySequence(u"Ctrl+Return"_s));
    QCOMPARE(cancel->shortcut(), QKeySequence(u"Ctrl+."_s));
    QVERIFY(add->isEnabled()); // on the launcher
    QVERIFY(!action("actionCheckForUpdates")->isEnabled());
    select(Mode::upscale, {esrgan});
    putJobs(2, {});
    QVERIFY(!m_store->pendingPairs().isEmpty());
    QVERIFY(add->isEnabled());
    QVERIFY(!run->isEnabled());
    QVERIFY(!cancel->isEnabled());
    for (const Mode mode : {Mode::image, Mode::video}) {
        m_store->setMode(mode);
        QVERIFY(!add->isEnabled());
    }
    cleanup();

    // With a token "Run" follows the pending work, and during a run only "Cancel" is offered.
    makeWindow(true);
    select(Mode::image, {schnell});
    run = action("actionRun");
    cancel = action("actionCancel");
    QVERIFY(!run->isEnabled());
    m_store->addPromptJob(u"A lighthouse sim:stuck"_s, {});
    QTRY_VERIFY(run->isEnabled());
    run->trigger();
    QVERIFY(m_store->isRunning());
    QVERIFY(!run->isEnabled());
    QVERIFY(cancel->isEnabled());
    cancel->trigger();
    QTRY_VERIFY(!m_store->isRunning());
    QVERIFY(!cancel->isEnabled());
}

void MainWindowTest::subtitle_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QStringList>("slugs");
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("expected");
    QTest::newRow("images x models") << Mode::upscale << QStringList{esrgan, clarity} << 3
                                     << u"3 images × 2 models = 6 upscales"_s;
    QTest::newRow("one image, one model")
        << Mode::upscale << QStringList{esrgan} << 1 << u"1 image"_s;
    QTest::newRow("one model, no images")
        << Mode::upscale << QStringList{esrgan} << 0 << u"Real-ESRGAN"_s;
    QTest::newRow("two models, no images")
        << Mode::upscale << QStringList{esrgan, clarity} << 0 << u"2 models selected"_s;
    QTest::newRow("image") << Mode::image << QStringList{schnell} << 2
                           << u"Generate images from a prompt."_s;
}

void MainWindowTest::subtitle()
{
    QFETCH(Mode, mode);
    QFETCH(QStringList, slugs);
    QFETCH(int, images);
    makeWindow();
    select(mode, slugs);
    putJobs(images, {});
    QTEST(m_window->findChild<ModeButton *>(u"modeButton"_s)->subtitle(), "expected");
}

void MainWindowTest::statusSummary_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QStringList>("slugs");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QList<RunStatus>>("statuses");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no jobs") << Mode::upscale << QStringList{esrgan} << 0 << QList<RunStatus>{}
                             << QString();
    QTest::newRow("failures only read Ready")
        << Mode::upscale << QStringList{esrgan} << 2 << statuses(0, 1, 1) << u"Ready"_s;
    QTest::newRow("compare hint") << Mode::upscale << QStringList{esrgan, clarity} << 3
                                  << statuses(4, 1, 1)
                                  << u"4 upscaled, 1 failed — click a row to compare"_s;
    QTest::newRow("one model, no hint") << Mode::upscale << QStringList{esrgan} << 5
                                        << statuses(4, 1, 0) << u"4 upscaled, 1 failed"_s;
    QTest::newRow("video plays") << Mode::video
                                 << QStringList{u"google/veo-3-fast"_s, u"minimax/hailuo-02"_s} << 1
                                 << statuses(2, 0, 0) << u"2 generated — click a row to play"_s;
}

void MainWindowTest::statusSummary()
{
    QFETCH(Mode, mode);
    QFETCH(QStringList, slugs);
    QFETCH(int, jobs);
    QFETCH(QList<RunStatus>, statuses);
    QFETCH(QString, expected);
    makeWindow(false);
    select(mode, slugs);
    putJobs(jobs, statuses);
    StatusBar *bar = m_window->workspace()->statusBar();
    QTRY_COMPARE(bar->leadingText(), expected);
    QVERIFY(!bar->showsProgress());
    QVERIFY(bar->showsTokenWarning());
}

void MainWindowTest::runCountDuringARun()
{
    // The settings of the models take for ever to arrive, so the run stays at its start while
    // the pairs' states are put in place.
    QVERIFY(service().addFault({{u"method"_s, u"GET"_s},
                                {u"path"_s, u"/v1/models/*"_s},
                                {u"action"_s, u"delay"_s},
                                {u"delayMs"_s, 60000000}}));
    makeWindow();
    select(Mode::upscale, {esrgan, clarity});
    addPhotos(3);
    QCOMPARE(m_window->findChild<ModeButton *>(u"modeButton"_s)->subtitle(),
             u"3 images × 2 models = 6 upscales"_s);
    m_store->startRun();
    QVERIFY(m_store->isRunning());
    const QList<ImageJobPtr> jobs = m_store->jobs();
    jobs[0]->variants()[0]->setStatus(RunStatus::done());
    jobs[0]->variants()[1]->setStatus(RunStatus::done());
    jobs[1]->variants()[0]->setStatus(RunStatus::failed(u"Model error"_s));
    StatusBar *bar = m_window->workspace()->statusBar();
    QTRY_COMPARE(bar->leadingText(), u"3 of 6"_s);
    QVERIFY(bar->showsProgress());
    QCOMPARE(bar->progress(), 0.5);
    QVERIFY(!bar->showsTokenWarning());
}

void MainWindowTest::spendSummary_data()
{
    QTest::addColumn<RunSpend>("spend");
    QTest::addColumn<QString>("expected");
    const auto spend = [](double charged, double inFlight, std::optional<double> limit) {
        return RunSpend{Mode::upscale, charged, inFlight, limit};
    };
    QTest::newRow("nothing priced, no limit") << spend(0, 0, {}) << QString();
    QTest::newRow("in flight only") << spend(0, 0.5, {}) << u"Spent $0.00"_s;
    QTest::newRow("no limit") << spend(1.24, 0, {}) << u"Spent $1.24"_s;
    QTest::newRow("under a limit") << spend(1.24, 0.4, 5.0) << u"Spent $1.24 of $5.00"_s;
    QTest::newRow("before anything ends") << spend(0, 0, 5.0) << u"Spent $0.00 of $5.00"_s;
    RunSpend stopped = spend(4.96, 0, 5.0);
    stopped.stoppedAtLimit = true;
    QTest::newRow("stopped") << stopped << u"Stopped at the $5.00 limit, spent $4.96"_s;
    RunSpend partlyUnpriced = spend(0.6, 0, {});
    partlyUnpriced.unpricedDone = 2;
    QTest::newRow("some results unpriced") << partlyUnpriced << u"Spent at least $0.60"_s;
    RunSpend leftWaiting = spend(0.006, 0, 1.0);
    leftWaiting.unpricedNotStarted = 3;
    QTest::newRow("unpriced pairs left waiting")
        << leftWaiting << u"Spent $0.006 of $1.00 · 3 not started, price unknown"_s;
}

void MainWindowTest::spendSummary()
{
    QFETCH(RunSpend, spend);
    QFETCH(QString, expected);
    QCOMPARE(StatusBar::spendSummary(spend), expected);
}

void MainWindowTest::headerItemsPerMode()
{
    makeWindow();
    select(Mode::upscale, {esrgan});
    auto *add = m_window->findChild<QWidget *>(u"addButton"_s);
    auto *more = m_window->findChild<QToolButton *>(u"moreActions"_s);
    QVERIFY(!add->isVisible() && !more->isVisible());
    putJobs(2, statuses(1, 0, 1));
    QVERIFY(add->isVisible() && more->isVisible());
    QCOMPARE(more->accessibleName(), u"More actions"_s);

    Header *header = m_window->workspace()->header();
    QVERIFY(header->clearFinishedAction()->isEnabled());
    header->clearFinishedAction()->trigger();
    QCOMPARE(m_store->jobs().size(), 1);
    QVERIFY(!header->clearFinishedAction()->isEnabled());
    header->removeAllAction()->trigger();
    QVERIFY(m_store->jobs().isEmpty());
    QVERIFY(!more->isVisible());

    select(Mode::image, {schnell});
    putJobs(1, {});
    QVERIFY(more->isVisible());
    QVERIFY(!add->isVisible());
}

void MainWindowTest::ctrlReturnQueuesThenRuns()
{
    makeWindow();
    select(Mode::image, {schnell});
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    auto *field = m_window->findChild<PromptField *>(u"promptField"_s);
    field->setFocus();
    // With text in the field Ctrl+Return queues it, even while Run could start.
    for (const QString &prompt : {u"A lighthouse at dawn"_s, u"The same at dusk"_s}) {
        QTest::keyClicks(field, prompt);
        QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(field->toPlainText().isEmpty());
        QVERIFY(!m_store->isRunning());
        QVERIFY(action("actionRun")->isEnabled());
    }
    QCOMPARE(m_store->jobs().size(), 2);
    // With the field empty the same keys run what is queued.
    QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(m_store->isRunning());
    QCOMPARE(m_store->jobs().size(), 2);
}

void MainWindowTest::dropOverlayOnlyOverAList()
{
    makeWindow();
    select(Mode::upscale, {esrgan});
    Workspace *workspace = m_window->workspace();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(testEnvironment().path(u"x.png"_s))});
    const auto drag = [&] {
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &files, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(workspace, &enter);
        return enter.isAccepted();
    };
    const auto leave = [&] {
        QDragLeaveEvent event;
        QApplication::sendEvent(workspace, &event);
    };
    // An empty list: the drop zone shows the hover, not the overlay.
    QVERIFY(drag());
    QVERIFY(workspace->isTargeted());
    QVERIFY(!workspace->dropOverlay()->isVisible());
    leave();
    putJobs(1, {});
    QVERIFY(drag());
    QVERIFY(workspace->dropOverlay()->isVisible());
    leave();
    QVERIFY(!workspace->dropOverlay()->isVisible());
    select(Mode::image, {schnell});
    putJobs(1, {});
    drag();
    QVERIFY(!workspace->dropOverlay()->isVisible());
    leave();
}

void MainWindowTest::welcomeShieldsTheContent()
{
    makeWindow(false);
    QTRY_VERIFY(m_store->tokens().showWelcome());
    QVERIFY(m_window->welcome()->isVisible());
    QVERIFY(!m_window->modeContent()->isEnabled());
    auto *blur = qobject_cast<QGraphicsBlurEffect *>(m_window->modeContent()->graphicsEffect());
    QVERIFY(blur && blur->isEnabled());
    QCOMPARE(blur->blurRadius(), 14.0);
    // A click where the upscale tile lies reaches nothing.
    auto *tile = m_window->findChild<ModeTile *>(u"modeTile_upscale"_s);
    const QPoint centre = tile->mapTo(m_window.get(), tile->rect().center());
    QWidget *hit = m_window->childAt(centre);
    QVERIFY(hit);
    QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(m_window.get(), centre));
    QTest::mouseClick(tile, Qt::LeftButton);
    QCOMPARE(m_store->mode(), std::nullopt);

    QTest::mouseClick(m_window->findChild<QWidget *>(u"welcomeSkip"_s), Qt::LeftButton);
    QVERIFY(!m_store->tokens().showWelcome());
    QTRY_VERIFY(!m_window->welcome()->isVisible());
    QVERIFY(m_window->modeContent()->isEnabled());
    QVERIFY(!blur->isEnabled());
    QTest::mouseClick(tile, Qt::LeftButton);
    QCOMPARE(m_store->mode(), std::optional(Mode::upscale));
}

void MainWindowTest::geometryIsRemembered()
{
    makeWindow();
    QCOMPARE(m_window->minimumSize(), QSize(900, 580));
    QCOMPARE(m_window->size(), QSize(1060, 700));
    m_window->resize(1200, 760);
    QTRY_COMPARE(m_window->size(), QSize(1200, 760));
    QSignalSpy finished(m_window.get(), &MainWindow::finished);
    QVERIFY(m_window->close());
    QTRY_COMPARE(finished.count(), 1);
    m_window = std::make_unique<MainWindow>(*m_store, *m_updater);
    QCOMPARE(m_window->size(), QSize(1200, 760));
}

void MainWindowTest::damagedJournalIsShown()
{
    QFile damaged(testEnvironment().environment().journalPath);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    makeWindow();
    // The store told the window while it read the journal, before or after the window opened.
    QMessageBox *alert = nullptr;
    QTRY_VERIFY((alert = m_window->findChild<QMessageBox *>(u"journalProblem"_s)));
    QVERIFY(alert->isVisible());
    QCOMPARE(alert->informativeText(), m_store->journalProblem());
    QVERIFY(alert->informativeText().contains(u"set aside"_s));
    QTest::keyClick(alert, Qt::Key_Return);
    QTRY_VERIFY(!m_window->findChild<QMessageBox *>(u"journalProblem"_s));
}

void MainWindowTest::windowSettingsSurviveAReopen_data()
{
    QTest::addColumn<bool>("platformSettings");
    QTest::newRow("settings file") << false;
    QTest::newRow("platform settings") << true;
}

// The window's geometry and the picker's compare setting go through the store's writer into the
// store's own settings, and the next window reads them back.
void MainWindowTest::windowSettingsSurviveAReopen()
{
    QFETCH(bool, platformSettings);
    if (platformSettings)
        testEnvironment().mutableEnvironment().settingsPath.clear();
    makeWindow();
    m_store->setMode(Mode::image);
    m_window->resize(1200, 760);
    QTRY_COMPARE(m_window->size(), QSize(1200, 760));
    auto *picker = m_window->findChild<ModelPicker *>(u"modelPicker"_s);
    QVERIFY(picker);
    picker->setExpanded(true);
    auto *compare = picker->findChild<QAbstractButton *>(u"compareModels"_s);
    QTRY_VERIFY(compare->isVisible());
    QTest::mouseClick(compare, Qt::LeftButton);
    QVERIFY(picker->compareModels());
    closeWindow();

    const auto stored =
        platformSettings ? std::make_unique<QSettings>(u"Moonforge"_s, u"Moonforge"_s)
                         : std::make_unique<QSettings>(testEnvironment().environment().settingsPath,
                                                       QSettings::IniFormat);
    QVERIFY(stored->contains(MainWindow::geometryKey));
    QVERIFY(stored->value(ModelPicker::compareKey).toBool());
    openWindow();
    QCOMPARE(m_window->size(), QSize(1200, 760));
    QVERIFY(m_window->findChild<ModelPicker *>(u"modelPicker"_s)->compareModels());
}

void MainWindowTest::quitDuringRunCancelsEveryPrediction()
{
    makeWindow();
    select(Mode::image, {schnell});
    m_store->addPromptJob(u"A harbour sim:stuck"_s, {});
    m_store->addPromptJob(u"A forest sim:stuck"_s, {});
    m_store->startRun();
    QList<ModelVariantPtr> variants;
    for (const ImageJobPtr &job : m_store->jobs())
        variants += job->variants();
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(variants.begin(), variants.end(),
                                         [](const ModelVariantPtr &variant) {
                                             return variant->predictionCancelURL().has_value();
                                         }),
                             20000);
    QSignalSpy finished(m_window.get(), &MainWindow::finished);

    // Closing asks first; keeping the run leaves everything as it was.
    QVERIFY(!m_window->close());
    QTRY_VERIFY(m_window->quitQuestion() && m_window->quitQuestion()->isVisible());
    QTest::mouseClick(m_window->quitQuestion()->findChild<QPushButton *>(u"keepRunning"_s),
                      Qt::LeftButton);
    QVERIFY(m_window->isVisible());
    QVERIFY(m_store->isRunning());

    m_window->quitAction()->trigger();
    QTRY_VERIFY(m_window->quitQuestion() && m_window->quitQuestion()->isVisible());
    QTest::mouseClick(m_window->quitQuestion()->findChild<QPushButton *>(u"stopAndQuit"_s),
                      Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);

    int creates = 0, cancels = 0;
    for (const QJsonValue &request : service().requests(u"/v1/"_s)) {
        const QString path = request[u"path"_s].toString();
        creates += request[u"method"_s] == u"POST"_s && path.endsWith(u"/predictions"_s);
        cancels += path.endsWith(u"/cancel"_s);
    }
    QCOMPARE(creates, 2);
    QCOMPARE(cancels, creates);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
