#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A session bus of the test program's own. The tests of one session share its bus and run side
// by side, so fakes of the desktop's services, and the application's own name, live here where
// no other test program meets them.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    Q_DISABLE_COPY_MOVE(PrivateBus)

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A connection of its own, as another program would have.
    QDBusConnection connect(const QString &name) const;

private:
    QProcess m_daemon;
    QString m_address;
};
