#pragma once

#include <QObject>
#include <QTimer>

class AppStore;

// One signal for everything the window's chrome (header, status bar, menus) shows: the store's
// own changes are passed on at once; the many per-job and per-variant changes of a run come from
// the store's job tracker as one notice per turn of the event loop, so ten thousand rows cost one
// update.
class StoreWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StoreWatcher)
public:
    explicit StoreWatcher(AppStore &store, QObject *parent = nullptr);

Q_SIGNALS:
    void changed();

private:
    // The run's spend moves with every pair that ends: one notice per turn as well.
    QTimer m_spendMoved;
};
