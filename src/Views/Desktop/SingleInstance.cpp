#include "Views/Desktop/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{
const QString applicationInterface = u"org.freedesktop.Application"_s;
const QString closingError = u"org.moonforge.Moonforge.Error.Closing"_s;

QVariantMap launcherPlatformData()
{
    QVariantMap data;
    // Wayland's and X11's proof that the person just launched us: the running instance may
    // take the focus with it.
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        data.insert(u"activation-token"_s, token);
    const QString startup = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startup.isEmpty())
        data.insert(u"desktop-startup-id"_s, startup);
    return data;
}
} // namespace

const QString SingleInstance::service = u"org.moonforge.Moonforge"_s;
const QString SingleInstance::path = u"/org/moonforge/Moonforge"_s;

SingleInstance::SingleInstance(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

bool SingleInstance::claim()
{
    if (!m_bus.isConnected())
        return false;
    // The object answers before the name is ours, so no caller finds the name without it.
    if (!m_bus.registerObject(path, this, QDBusConnection::ExportScriptableSlots))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(service, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    m_bus.unregisterObject(path);
    return false;
}

void SingleInstance::close()
{
    m_closing = true;
}

SingleInstance::HandOver SingleInstance::handOver(const QDBusConnection &bus,
                                                  const QList<QUrl> &files)
{
    if (!bus.isConnected())
        return HandOver::noInstance;
    QDBusMessage call;
    if (files.isEmpty()) {
        call = QDBusMessage::createMethodCall(service, path, applicationInterface, u"Activate"_s);
        call << launcherPlatformData();
    } else {
        QStringList uris;
        for (const QUrl &file : files)
            uris.append(file.toString(QUrl::FullyEncoded));
        call = QDBusMessage::createMethodCall(service, path, applicationInterface, u"Open"_s);
        call << uris << launcherPlatformData();
    }
    // Never started for the call: a launch must not start another instance through the bus.
    call.setAutoStartService(false);
    // Events go on meanwhile: the instance may live in this very process (tests).
    const QDBusMessage reply = QDBusConnection(bus).call(call, QDBus::BlockWithGui, 10'000);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return HandOver::delivered;
    if (reply.errorName() == closingError)
        return HandOver::closing;
    if (reply.errorName() == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
        reply.errorName() == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s)
        return HandOver::noInstance;
    return HandOver::failed;
}

bool SingleInstance::waitUntilFree(const QDBusConnection &bus, int milliseconds)
{
    QDBusConnection connection(bus);
    QEventLoop loop;
    QDBusServiceWatcher watcher(service, connection, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    // Checked after listening, so a release between the two is not missed.
    if (connection.interface()->isServiceRegistered(service).value())
        loop.exec();
    return !connection.interface()->isServiceRegistered(service).value();
}

void SingleInstance::Activate(const QVariantMap &platformData)
{
    if (refuseWhileClosing())
        return;
    takeActivationToken(platformData);
    Q_EMIT activateRequested();
}

void SingleInstance::Open(const QStringList &uris, const QVariantMap &platformData)
{
    if (refuseWhileClosing())
        return;
    takeActivationToken(platformData);
    QList<QUrl> files;
    for (const QString &uri : uris)
        files.append(QUrl(uri));
    Q_EMIT openRequested(files);
}

bool SingleInstance::refuseWhileClosing()
{
    if (!m_closing)
        return false;
    if (calledFromDBus())
        sendErrorReply(closingError, u"Moonforge is closing"_s);
    return true;
}

void SingleInstance::takeActivationToken(const QVariantMap &platformData)
{
    const QString token = platformData.value(u"activation-token"_s).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}
