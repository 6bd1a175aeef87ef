#include "Views/Desktop/SuspendInhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

const QString SuspendInhibitor::reason = u"Running predictions"_s;

namespace
{
const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
// The portal's flag for suspending.
constexpr uint suspendFlag = 4;
} // namespace

SuspendInhibitor::SuspendInhibitor(const QDBusConnection &portalBus,
                                   std::optional<QDBusConnection> loginBus, QObject *parent)
    : QObject(parent), m_portalBus(portalBus), m_loginBus(std::move(loginBus))
{
}

SuspendInhibitor::~SuspendInhibitor()
{
    const QSignalBlocker quiet(this);
    m_active = false;
    release();
}

bool SuspendInhibitor::isHeld() const
{
    return !m_portalHandle.isEmpty() || m_loginLock.isValid();
}

void SuspendInhibitor::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    const quint64 request = ++m_request;
    if (active)
        askPortal(request);
    else
        release();
}

void SuspendInhibitor::askPortal(quint64 request)
{
    if (!m_portalBus.isConnected()) {
        askLogin(request);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, u"org.freedesktop.portal.Inhibit"_s, u"Inhibit"_s);
    call << QString() << suspendFlag << QVariantMap{{u"reason"_s, reason}};
    auto *watcher = new QDBusPendingCallWatcher(m_portalBus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    // No portal, or one without an inhibit backend: logind's lock will do.
                    if (isCurrent(request))
                        askLogin(request);
                    return;
                }
                const QString handle = reply.value().path();
                if (!isCurrent(request) || isHeld()) {
                    closePortalRequest(handle);
                    return;
                }
                m_portalHandle = handle;
                Q_EMIT heldChanged();
            });
}

void SuspendInhibitor::askLogin(quint64 request)
{
    if (!m_loginBus)
        m_loginBus = QDBusConnection::systemBus();
    if (!m_loginBus->isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                                       u"org.freedesktop.login1.Manager"_s, u"Inhibit"_s);
    call << u"sleep"_s << u"Moonforge"_s << reason << u"block"_s;
    auto *watcher = new QDBusPendingCallWatcher(m_loginBus->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                // A lock granted too late closes when the reply goes.
                if (reply.isError() || !isCurrent(request) || isHeld())
                    return;
                m_loginLock = reply.value();
                if (m_loginLock.isValid())
                    Q_EMIT heldChanged();
            });
}

void SuspendInhibitor::closePortalRequest(const QString &handle)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, handle, u"org.freedesktop.portal.Request"_s, u"Close"_s);
    m_portalBus.send(call);
}

void SuspendInhibitor::release()
{
    if (!isHeld())
        return;
    if (!m_portalHandle.isEmpty())
        closePortalRequest(std::exchange(m_portalHandle, QString()));
    // Closing our copy of the descriptor ends logind's lock.
    m_loginLock = QDBusUnixFileDescriptor();
    Q_EMIT heldChanged();
}
