#pragma once

#include <QDBusConnection>
#include <QObject>

// Desktop notifications through the freedesktop notification server. One notification at a
// time: a new one replaces the one still showing. Clicking it reports activated(). Without a
// bus or a server nothing happens and nothing is printed.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)
public:
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    // Shows `summary`, with `body` under it when given. Returns at once.
    void notify(const QString &summary, const QString &body = {});
    // The server's id of the notification showing; 0 when none is.
    uint notificationId() const { return m_id; }

    static const QString service;
    static const QString path;
    static const QString interface;

Q_SIGNALS:
    // The person clicked the notification; an activation token the server gave for the click
    // has been put where the platform reads it for the next window activation.
    void activated();

private Q_SLOTS:
    // Slots rather than lambdas: QtDBus connects bus signals by signature only.
    void onActionInvoked(uint id, const QString &action);
    void onActivationToken(uint id, const QString &token);
    void onNotificationClosed(uint id, uint reason);

private:
    void listen();

    QDBusConnection m_bus;
    bool m_listening = false;
    uint m_id = 0;
    // Counts requests, so that an answer to an older one does not replace a newer id.
    quint64 m_request = 0;
};
