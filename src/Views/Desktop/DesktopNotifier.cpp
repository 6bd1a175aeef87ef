#include "Views/Desktop/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

const QString DesktopNotifier::service = u"org.freedesktop.Notifications"_s;
const QString DesktopNotifier::path = u"/org/freedesktop/Notifications"_s;
const QString DesktopNotifier::interface = u"org.freedesktop.Notifications"_s;

namespace
{
// The click on the notification itself.
const QString defaultAction = u"default"_s;

QString desktopEntry()
{
    const QString name = QGuiApplication::desktopFileName();
    return name.isEmpty() ? u"org.moonforge.Moonforge"_s : name;
}
} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

void DesktopNotifier::listen()
{
    if (m_listening)
        return;
    m_listening = true;
    m_bus.connect(service, path, interface, u"ActionInvoked"_s, this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, u"ActivationToken"_s, this,
                  SLOT(onActivationToken(uint, QString)));
    m_bus.connect(service, path, interface, u"NotificationClosed"_s, this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected())
        return;
    // Listening before the call goes out: the bus delivers in order, so no click is missed.
    listen();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, u"Notify"_s);
    const QVariantMap hints{{u"desktop-entry"_s, desktopEntry()}};
    call << u"Moonforge"_s << m_id << desktopEntry() << summary << body
         << QStringList{defaultAction, u"Show"_s} << hints << -1;
    const quint64 request = ++m_request;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                // No server, or it refused: there is simply no notification.
                if (!reply.isError() && request == m_request)
                    m_id = reply.value();
            });
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    if (m_id != 0 && id == m_id && action == defaultAction)
        Q_EMIT activated();
}

void DesktopNotifier::onActivationToken(uint id, const QString &token)
{
    // Sent just before ActionInvoked; Wayland lets a window take the focus only with it.
    if (m_id != 0 && id == m_id && !token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

void DesktopNotifier::onNotificationClosed(uint id, uint)
{
    if (id == m_id)
        m_id = 0;
}
