#pragma once

#include "Models/Mode.h"
#include "Models/ModelVariant.h"

#include <QDBusConnection>
#include <QObject>

#include <optional>

class AppStore;
class DesktopNotifier;
class QWidget;
class SuspendInhibitor;
class TaskbarProgress;

// What a long run means to the rest of the desktop: the system stays awake while it goes, its
// progress shows on the task bar, and when it ends behind another window a notification says
// how it went; clicking it brings the window back. Files the desktop hands over join the
// upscale queue.
class DesktopIntegration final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopIntegration)
public:
    // Over the session bus, with logind on the system bus.
    DesktopIntegration(AppStore &store, QWidget &window, QObject *parent = nullptr);
    // Over `session`, with logind on `login` (or the system bus when none is given).
    DesktopIntegration(AppStore &store, QWidget &window, const QDBusConnection &session,
                       std::optional<QDBusConnection> login, QObject *parent = nullptr);
    ~DesktopIntegration() override;

    DesktopNotifier &notifier() const { return *m_notifier; }
    SuspendInhibitor &inhibitor() const { return *m_inhibitor; }
    TaskbarProgress &taskbar() const { return *m_taskbar; }

    // Files and folders from the command line or a later launch: the upscale mode opens and
    // queues them, and the window comes forward.
    void openFiles(const QList<QUrl> &files);
    // Brings the window forward, with the activation token in XDG_ACTIVATION_TOKEN used up.
    void raiseWindow();

private:
    void runningChanged();
    void beginRun();
    void endRun();
    // Counts the run's pairs that have ended; the task bar hears of a new count only.
    void countEnded();
    void showProgress();

    AppStore &m_store;
    QWidget &m_window;
    DesktopNotifier *m_notifier;
    SuspendInhibitor *m_inhibitor;
    TaskbarProgress *m_taskbar;

    // The run under way: its mode, its pairs, and how many of them have ended.
    bool m_running = false;
    Mode m_runMode = Mode::upscale;
    QList<ModelVariantPtr> m_runVariants;
    qsizetype m_ended = 0;
};
