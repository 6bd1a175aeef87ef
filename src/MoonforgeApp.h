#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class AppStore;
class DesktopIntegration;
class MainWindow;
class SettingsView;
class SingleInstance;
class Updater;

// The application: the one store over the real surroundings, the updater, the main window and
// the one Settings window. Files handed over by later launches through `instance` join the
// queue. It ends the process once the main window has closed and the store's work has ended.
class MoonforgeApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoonforgeApp)
public:
    explicit MoonforgeApp(SingleInstance &instance);
    ~MoonforgeApp() override;

    // Shows the main window, with `files` from the command line queued.
    void start(const QList<QUrl> &files);
    // Opens the Settings window, or raises it when it is open.
    void showSettings();

private:
    void watchFirstFrame();

    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<SettingsView> m_settings;
    std::unique_ptr<DesktopIntegration> m_desktopIntegration;
};
