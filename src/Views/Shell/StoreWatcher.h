#pragma once

#include <QObject>
#include <QTimer>

class AppStore;

// One signal for everything the window's chrome (header, status bar, menus) shows: the store's
// own changes are passed on at once; the many per-job and per-variant changes of a run are
// gathered into one notice per turn of the event loop, so ten thousand rows cost one update.
class StoreWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StoreWatcher)
public:
    explicit StoreWatcher(AppStore &store, QObject *parent = nullptr);

Q_SIGNALS:
    void changed();

private:
    void watchJobs();

    AppStore &m_store;
    // Owns the connections to the current jobs and variants; replaced when the list changes.
    QObject *m_jobConnections = nullptr;
    QTimer m_gather;
};
