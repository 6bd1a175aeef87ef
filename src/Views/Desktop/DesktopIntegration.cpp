#include "Views/Desktop/DesktopIntegration.h"

#include "Services/AppStore.h"
#include "Services/JobTracker.h"
#include "Views/Desktop/DesktopNotifier.h"
#include "Views/Desktop/SuspendInhibitor.h"
#include "Views/Desktop/TaskbarProgress.h"
#include "Views/Shell/StatusBar.h"

#include <QWidget>

DesktopIntegration::DesktopIntegration(AppStore &store, QWidget &window, QObject *parent)
    : DesktopIntegration(store, window, QDBusConnection::sessionBus(), std::nullopt, parent)
{
}

DesktopIntegration::DesktopIntegration(AppStore &store, QWidget &window,
                                       const QDBusConnection &session,
                                       std::optional<QDBusConnection> login, QObject *parent)
    : QObject(parent), m_store(store), m_window(window),
      m_notifier(new DesktopNotifier(session, this)),
      m_inhibitor(new SuspendInhibitor(session, std::move(login), this)),
      m_taskbar(new TaskbarProgress(session, this))
{
    connect(&m_store, &AppStore::runningChanged, this, &DesktopIntegration::runningChanged);
    connect(&m_store.jobTracker(), &JobTracker::jobsUpdated, this,
            [this](const QList<ImageJobPtr> &, JobTracker::Changes changes) {
                if (m_running && changes.testFlag(JobTracker::Change::status))
                    countEnded();
            });
    connect(m_notifier, &DesktopNotifier::activated, this, &DesktopIntegration::raiseWindow);
    runningChanged();
}

DesktopIntegration::~DesktopIntegration()
{
    // The parts release what they hold as they go.
    m_inhibitor->setActive(false);
    m_taskbar->clear();
}

void DesktopIntegration::runningChanged()
{
    if (m_store.isRunning() && !m_running)
        beginRun();
    else if (!m_store.isRunning() && m_running)
        endRun();
}

void DesktopIntegration::beginRun()
{
    m_running = true;
    m_runMode = m_store.mode().value_or(Mode::upscale);
    // When the run reports that it started, its pairs are exactly the pending ones.
    m_runVariants.clear();
    for (const JobVariantPair &pair : m_store.pendingPairs())
        m_runVariants.append(pair.variant);
    m_ended = std::count_if(m_runVariants.cbegin(), m_runVariants.cend(),
                            [](const ModelVariantPtr &v) { return v->status().isTerminal(); });
    m_inhibitor->setActive(true);
    showProgress();
}

void DesktopIntegration::countEnded()
{
    const qsizetype ended =
        std::count_if(m_runVariants.cbegin(), m_runVariants.cend(),
                      [](const ModelVariantPtr &v) { return v->status().isTerminal(); });
    if (ended == m_ended)
        return;
    m_ended = ended;
    showProgress();
}

void DesktopIntegration::showProgress()
{
    const auto total = m_runVariants.size();
    m_taskbar->show(total > 0 ? double(m_ended) / double(total) : 0.0, int(total - m_ended));
}

void DesktopIntegration::endRun()
{
    m_running = false;
    m_inhibitor->setActive(false);
    m_taskbar->clear();

    // A run stopped before anything ended (a cancel) has nothing to tell.
    const bool anythingEnded =
        std::any_of(m_runVariants.cbegin(), m_runVariants.cend(), [](const ModelVariantPtr &v) {
            const RunStatus::Kind kind = v->status().kind();
            return kind == RunStatus::Kind::done || kind == RunStatus::Kind::failed;
        });
    m_runVariants.clear();
    m_ended = 0;
    // Only a person who looked away is told; a closed window is the application going away.
    if (!anythingEnded || !m_window.isVisible() || m_window.isActiveWindow())
        return;
    // The words the status bar shows for the run's mode, failures counted even when nothing
    // was done.
    int done = 0, failed = 0;
    for (const ImageJobPtr &job : m_store.jobs(m_runMode)) {
        for (const ModelVariantPtr &variant : job->variants()) {
            const RunStatus::Kind kind = variant->status().kind();
            done += kind == RunStatus::Kind::done ? 1 : 0;
            failed += kind == RunStatus::Kind::failed ? 1 : 0;
        }
    }
    m_notifier->notify(StatusBar::completionSummary(
        done, failed, int(m_store.state(m_runMode).selectedSlugs.size()), m_runMode));
}

void DesktopIntegration::openFiles(const QList<QUrl> &files)
{
    if (!files.isEmpty()) {
        // Adding files works only in the upscale mode; the person asked for these.
        m_store.setMode(Mode::upscale);
        m_store.addFiles(files);
    }
    raiseWindow();
}

void DesktopIntegration::raiseWindow()
{
    // The window has closed for good: the application is ending, nothing to bring back.
    if (!m_window.isVisible())
        return;
    if (m_window.isMinimized())
        m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.raise();
    m_window.activateWindow();
    // The token is good for one activation only; no program started later may inherit it.
    qunsetenv("XDG_ACTIVATION_TOKEN");
}
