#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <optional>

// Keeps the system from suspending while active: through the desktop portal's Inhibit, or, where
// the portal is missing or refuses, through a logind "sleep" inhibitor lock. Every call is
// asynchronous; a grant that arrives after the wish has gone is handed back at once. Without a
// bus or either service nothing happens and nothing is printed.
class SuspendInhibitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SuspendInhibitor)
public:
    // `portalBus` carries the portal; logind is asked on `loginBus`, or on the system bus (opened
    // only when the portal fails) when none is given.
    explicit SuspendInhibitor(const QDBusConnection &portalBus,
                              std::optional<QDBusConnection> loginBus = std::nullopt,
                              QObject *parent = nullptr);
    // Releases a held inhibition.
    ~SuspendInhibitor() override;

    void setActive(bool active);
    bool isActive() const { return m_active; }
    // An inhibition is granted and held right now.
    bool isHeld() const;

    static const QString reason;

Q_SIGNALS:
    void heldChanged();

private:
    void askPortal(quint64 request);
    void askLogin(quint64 request);
    bool isCurrent(quint64 request) const { return m_active && request == m_request; }
    void closePortalRequest(const QString &handle);
    void release();

    QDBusConnection m_portalBus;
    std::optional<QDBusConnection> m_loginBus;
    bool m_active = false;
    // Counts wishes, so that an answer to an older one is recognised.
    quint64 m_request = 0;
    // The portal's request object while it holds the inhibition.
    QString m_portalHandle;
    // logind's lock: the inhibition lasts while this descriptor is open.
    QDBusUnixFileDescriptor m_loginLock;
};
