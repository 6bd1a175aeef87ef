#pragma once

#include "Services/Coroutine.h"
#include "Views/Theme/Animation.h"

#include <QMainWindow>
#include <QPointer>

class AppStore;
class LauncherView;
class QAction;
class QGraphicsBlurEffect;
class QGraphicsOpacityEffect;
class QMessageBox;
class QStackedWidget;
class ResultSheet;
class StoreWatcher;
class Updater;
class WelcomeView;
class Workspace;

// The one main window: the launcher or a mode's workspace, the welcome screen over them while no
// token has been given, the menus, the result sheet, and the orderly end when it closes.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
public:
    MainWindow(AppStore &store, Updater &updater, QWidget *parent = nullptr);
    ~MainWindow() override;

    LauncherView *launcher() const { return m_launcher; }
    Workspace *workspace() const { return m_workspace; }
    WelcomeView *welcome() const { return m_welcome; }
    // The launcher or the workspace, below the welcome screen.
    QWidget *modeContent() const;
    QAction *quitAction() const { return m_quit; }
    // The question asked when the window closes during a run; null when none is open.
    QMessageBox *quitQuestion() const;

    static constexpr QSize minimumWindowSize{900, 580};
    static constexpr QSize defaultWindowSize{1060, 700};
    static const QString geometryKey;

Q_SIGNALS:
    void settingsRequested();
    // The window has gone for good; the store is being shut down.
    void closing();
    // The store's work has ended: the application may exit.
    void finished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void refreshActions();
    void refreshScreen();
    void refreshWelcome();
    void refreshSheet();
    void askToStopRun();
    // Once, when the store says its journal cannot keep or bring back the jobs.
    void showJournalProblem();
    void storeGeometry();
    void loadGeometry();
    QCoro::Task<void> finish();
    void showAbout();

    AppStore &m_store;
    Updater &m_updater;
    StoreWatcher *m_watcher;
    QStackedWidget *m_modeContent;
    LauncherView *m_launcher;
    Workspace *m_workspace;
    WelcomeView *m_welcome;
    QGraphicsBlurEffect *m_blur;
    QGraphicsOpacityEffect *m_welcomeOpacity;
    AnimatedValue m_welcomeFade;
    QPointer<ResultSheet> m_sheet;
    QPointer<QMessageBox> m_quitQuestion;
    bool m_quitting = false;

    QAction *m_addImages = nullptr;
    QAction *m_settings = nullptr;
    QAction *m_quit = nullptr;
    QAction *m_run = nullptr;
    QAction *m_cancel = nullptr;
    QAction *m_checkForUpdates = nullptr;
    QAction *m_about = nullptr;
};
