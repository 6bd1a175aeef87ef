#include "Views/Shell/MainWindow.h"

#include "Services/AppStore.h"
#include "Services/AppVersion.h"
#include "Services/Coroutine.h"
#include "Services/SettingsWriter.h"
#include "Services/Updater.h"
#include "Views/Inspector/InspectorView.h"
#include "Views/Launcher/LauncherView.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Settings/WelcomeView.h"
#include "Views/Shell/StoreWatcher.h"
#include "Views/Shell/Workspace.h"
#include "Views/Theme/AmbientBackdrop.h"
#include "Views/Theme/AppMark.h"

#include <QCloseEvent>
#include <QGraphicsBlurEffect>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>

const QString MainWindow::geometryKey = QStringLiteral("mainWindowGeometry");

MainWindow::MainWindow(AppStore &store, Updater &updater, QWidget *parent)
    : QMainWindow(parent), m_store(store), m_updater(updater),
      m_watcher(new StoreWatcher(store, this)), m_modeContent(new QStackedWidget),
      m_launcher(new LauncherView(store)), m_workspace(new Workspace(store, *m_watcher)),
      m_welcome(new WelcomeView(store)), m_blur(new QGraphicsBlurEffect(this)),
      m_welcomeOpacity(new QGraphicsOpacityEffect(this)), m_welcomeFade(m_welcome, 0)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Moonforge"));
    setMinimumSize(minimumWindowSize);

    // The welcome screen shares the mode content's cell and lies above it.
    auto *backdrop = new AmbientBackdrop(this);
    backdrop->setObjectName(QStringLiteral("content"));
    auto *stack = new QGridLayout(backdrop);
    stack->setContentsMargins(0, 0, 0, 0);
    m_modeContent->setObjectName(QStringLiteral("modeContent"));
    m_modeContent->addWidget(m_launcher);
    m_modeContent->addWidget(m_workspace);
    stack->addWidget(m_modeContent, 0, 0);
    stack->addWidget(m_welcome, 0, 0);
    m_welcome->raise();
    setCentralWidget(backdrop);

    m_blur->setBlurRadius(14);
    m_blur->setBlurHints(QGraphicsBlurEffect::PerformanceHint);
    m_blur->setEnabled(false);
    m_modeContent->setGraphicsEffect(m_blur);
    m_welcomeOpacity->setOpacity(1);
    m_welcomeOpacity->setEnabled(false);
    m_welcome->setGraphicsEffect(m_welcomeOpacity);
    m_welcome->hide();
    connect(&m_welcomeFade, &AnimatedValue::changed, this, [this] {
        const qreal opacity = m_welcomeFade.value();
        // Drawn through the effect only while fading; at rest it costs nothing.
        m_welcomeOpacity->setEnabled(opacity < 1);
        m_welcomeOpacity->setOpacity(opacity);
        if (opacity <= 0 && !m_store.tokens().showWelcome())
            m_welcome->hide();
    });

    buildMenus();
    connect(m_workspace->inspector(), &InspectorView::settingsRequested, this,
            &MainWindow::settingsRequested);
    connect(m_watcher, &StoreWatcher::changed, this, &MainWindow::refreshActions);
    connect(&m_store, &AppStore::modeChanged, this, &MainWindow::refreshScreen);
    connect(&m_store, &AppStore::tokenChanged, this, &MainWindow::refreshWelcome);
    connect(&m_store, &AppStore::presentingChanged, this, &MainWindow::refreshSheet);
    connect(&m_store, &AppStore::journalProblemChanged, this, &MainWindow::showJournalProblem);
    connect(&m_updater, &Updater::canCheckForUpdatesChanged, this, &MainWindow::refreshActions);

    resize(defaultWindowSize);
    loadGeometry();
    refreshScreen();
    refreshWelcome();
    refreshActions();
    refreshSheet();
    if (!m_store.journalProblem().isEmpty())
        showJournalProblem();
}

MainWindow::~MainWindow() = default;

QWidget *MainWindow::modeContent() const
{
    return m_modeContent;
}

QMessageBox *MainWindow::quitQuestion() const
{
    return m_quitQuestion;
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    m_addImages = file->addAction(QStringLiteral("Add Images…"));
    m_addImages->setObjectName(QStringLiteral("actionAddImages"));
    m_addImages->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(m_addImages, &QAction::triggered, this, [this] { m_store.presentOpenPanel(); });
    file->addSeparator();
    m_settings = file->addAction(QStringLiteral("Settings…"));
    m_settings->setObjectName(QStringLiteral("actionSettings"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setMenuRole(QAction::PreferencesRole);
    connect(m_settings, &QAction::triggered, this, &MainWindow::settingsRequested);
    file->addSeparator();
    m_quit = file->addAction(QStringLiteral("Quit"));
    m_quit->setObjectName(QStringLiteral("actionQuit"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
    connect(m_quit, &QAction::triggered, this, &QWidget::close);

    QMenu *run = menuBar()->addMenu(QStringLiteral("&Run"));
    run->setObjectName(QStringLiteral("runMenu"));
    m_run = run->addAction(QStringLiteral("Run"));
    m_run->setObjectName(QStringLiteral("actionRun"));
    m_run->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(m_run, &QAction::triggered, this, [this] { m_store.startRun(); });
    m_cancel = run->addAction(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("actionCancel"));
    m_cancel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    connect(m_cancel, &QAction::triggered, this, [this] { m_store.cancelRun(); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    m_checkForUpdates = help->addAction(QStringLiteral("Check for Updates…"));
    m_checkForUpdates->setObjectName(QStringLiteral("actionCheckForUpdates"));
    connect(m_checkForUpdates, &QAction::triggered, &m_updater, &Updater::checkForUpdates);
    m_about = help->addAction(QStringLiteral("About Moonforge"));
    m_about->setObjectName(QStringLiteral("actionAbout"));
    m_about->setMenuRole(QAction::AboutRole);
    connect(m_about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::refreshActions()
{
    const std::optional<Mode> mode = m_store.mode();
    const bool running = m_store.isRunning();
    m_addImages->setEnabled(!mode || *mode == Mode::upscale);
    m_run->setEnabled(!running && m_store.tokens().hasToken() && !m_store.pendingPairs().isEmpty());
    m_cancel->setEnabled(running);
    m_checkForUpdates->setEnabled(m_updater.canCheckForUpdates());
}

void MainWindow::refreshScreen()
{
    m_modeContent->setCurrentWidget(m_store.mode() ? static_cast<QWidget *>(m_workspace)
                                                   : static_cast<QWidget *>(m_launcher));
}

void MainWindow::refreshWelcome()
{
    const bool show = m_store.tokens().showWelcome();
    // Below the welcome screen nothing takes input, and all of it is blurred.
    m_modeContent->setEnabled(!show);
    m_blur->setEnabled(show);
    if (show == (m_welcomeFade.target() > 0))
        return;
    if (show) {
        m_welcome->show();
        m_welcome->raise();
        m_welcome->setFocus();
    }
    m_welcomeFade.springTo(show ? 1 : 0, 0.4);
}

void MainWindow::refreshSheet()
{
    const ImageJobPtr job = m_store.presenting();
    if (m_sheet && m_sheet->job() == job)
        return;
    if (m_sheet) {
        ResultSheet *old = m_sheet;
        m_sheet = nullptr;
        old->close();
    }
    if (!job)
        return;
    auto *sheet = new ResultSheet(m_store, job, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        // Closing the sheet ends the presentation, unless another job has taken its place.
        if (m_store.presenting() == sheet->job())
            m_store.setPresenting({});
    });
    m_sheet = sheet;
    sheet->open();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    if (m_store.isRunning()) {
        // Leaving now would leave predictions running, and billing, on the service.
        event->ignore();
        askToStopRun();
        return;
    }
    event->accept();
    storeGeometry();
    m_quitting = true;
    finish();
}

void MainWindow::askToStopRun()
{
    if (m_quitQuestion && m_quitQuestion->isVisible()) {
        m_quitQuestion->raise();
        return;
    }
    auto *question = new QMessageBox(this);
    question->setObjectName(QStringLiteral("quitWhileRunning"));
    question->setWindowModality(Qt::WindowModal);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setIcon(QMessageBox::Warning);
    question->setWindowTitle(QStringLiteral("Moonforge"));
    question->setText(QStringLiteral("Stop the run and quit?"));
    question->setInformativeText(
        QStringLiteral("Predictions still running on Replicate are cancelled, so they are not "
                       "charged further. Finished results are kept."));
    QPushButton *stop =
        question->addButton(QStringLiteral("Stop and Quit"), QMessageBox::DestructiveRole);
    stop->setObjectName(QStringLiteral("stopAndQuit"));
    QPushButton *keep =
        question->addButton(QStringLiteral("Keep Running"), QMessageBox::RejectRole);
    keep->setObjectName(QStringLiteral("keepRunning"));
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    connect(question, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton *clicked) {
        // The box is going; a later close asks afresh.
        m_quitQuestion = nullptr;
        if (clicked != stop || m_quitting)
            return;
        storeGeometry();
        m_quitting = true;
        hide();
        finish();
    });
    m_quitQuestion = question;
    question->open();
}

void MainWindow::showJournalProblem()
{
    auto *alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("journalProblem"));
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Moonforge"));
    alert->setText(QStringLiteral("The job journal needs attention"));
    alert->setInformativeText(m_store.journalProblem());
    alert->setStandardButtons(QMessageBox::Ok);
    alert->open();
}

QCoro::Task<void> MainWindow::finish()
{
    const QPointer<MainWindow> self(this);
    Q_EMIT closing();
    if (m_sheet)
        m_sheet->close();
    AppStore &store = m_store;
    auto shuttingDown = store.shutdown();
    co_await shuttingDown;
    if (self)
        Q_EMIT self->finished();
}

// In the store's settings file, so that tests keep to their own, and off the GUI thread.
void MainWindow::storeGeometry()
{
    m_store.settingsWriter().write(geometryKey, saveGeometry());
}

void MainWindow::loadGeometry()
{
    const QByteArray geometry = m_store.settingsWriter().value(geometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void MainWindow::showAbout()
{
    auto *about = new QMessageBox(this);
    about->setObjectName(QStringLiteral("about"));
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowTitle(QStringLiteral("About Moonforge"));
    about->setIconPixmap(AppMark::pixmap(64, devicePixelRatioF()));
    about->setText(QStringLiteral("Moonforge"));
    about->setInformativeText(
        QStringLiteral("Version ") + AppVersion::current() +
        QStringLiteral("\n\nUpscale images, and generate images and video from a prompt, with "
                       "models that run on Replicate."));
    about->open();
}
