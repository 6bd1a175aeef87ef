#include "MoonforgeApp.h"

#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "Views/Desktop/DesktopIntegration.h"
#include "Views/Desktop/MotionSetting.h"
#include "Views/Desktop/SingleInstance.h"
#include "Views/DesktopServices.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace
{
// Set only by bench/startup: the process ends as soon as the main window's first frame is drawn.
const char *const firstFrameVariable = "MOONFORGE_EXIT_AFTER_FIRST_FRAME";

class FirstFrameWatch final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            // Leave once this paint has reached the screen, skipping every teardown.
            QTimer::singleShot(0, this, [] {
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

MoonforgeApp::MoonforgeApp(SingleInstance &instance)
{
    // The desktop's reduce-motion setting, followed while the application runs.
    new MotionSetting(QDBusConnection::sessionBus(), this);
    AppEnvironment environment = AppEnvironment::production();
    const auto desktop = std::make_shared<DesktopServices>();
    environment.desktop = desktop;
    m_store = std::make_unique<AppStore>(std::move(environment));
    m_updater = std::make_unique<Updater>(m_store->environment().settingsPath);
    m_window = std::make_unique<MainWindow>(*m_store, *m_updater);
    // Panels open over the main window.
    desktop->setDialogParent(m_window.get());
    // Notifications, the task bar's progress and staying awake during a run.
    m_desktopIntegration = std::make_unique<DesktopIntegration>(*m_store, *m_window);

    connect(&instance, &SingleInstance::openRequested, m_desktopIntegration.get(),
            &DesktopIntegration::openFiles);
    connect(&instance, &SingleInstance::activateRequested, m_desktopIntegration.get(),
            &DesktopIntegration::raiseWindow);

    connect(m_window.get(), &MainWindow::settingsRequested, this, &MoonforgeApp::showSettings);
    connect(m_window.get(), &MainWindow::closing, this, [this, &instance] {
        // A launch from now on waits for this store to end, then starts its own.
        instance.close();
        if (m_settings)
            m_settings->close();
    });
    connect(m_window.get(), &MainWindow::finished, this, [] { QCoreApplication::quit(); });
}

MoonforgeApp::~MoonforgeApp()
{
    // Windows first, and what watches them: they hold references to the store.
    m_desktopIntegration.reset();
    m_settings.reset();
    m_window.reset();
}

void MoonforgeApp::start(const QList<QUrl> &files)
{
    if (qEnvironmentVariableIntValue(firstFrameVariable) == 1)
        watchFirstFrame();
    m_window->show();
    if (!files.isEmpty())
        m_desktopIntegration->openFiles(files);
}

void MoonforgeApp::showSettings()
{
    if (!m_settings) {
        m_settings = std::make_unique<SettingsView>(*m_store, *m_updater);
        m_settings->setWindowIcon(m_window->windowIcon());
        // Quit works from the Settings window too.
        m_settings->addAction(m_window->quitAction());
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void MoonforgeApp::watchFirstFrame()
{
    m_window->centralWidget()->installEventFilter(new FirstFrameWatch(this));
}
