#include "Models/ModelCatalog.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Views/Desktop/DesktopIntegration.h"
#include "Views/Desktop/DesktopNotifier.h"
#include "Views/Desktop/SuspendInhibitor.h"
#include "Views/Desktop/TaskbarProgress.h"
#include "WindowTestCase.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QImage>
#include <QMutex>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Stand-ins for the desktop's services, registered on a bus connection of their own so that the
// application's calls really travel through the test's private bus.
namespace
{
const QString esrgan = u"nightmareai/real-esrgan"_s;
const QString schnell = u"black-forest-labs/flux-schnell"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;

struct Notification {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QStringList actions;
    QVariantMap hints;
};

class FakeNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<Notification> shown;

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &appName, uint replacesId, const QString &icon,
                             const QString &summary, const QString &, const QStringList &actions,
                             const QVariantMap &hints, int)
    {
        shown.append({appName, replacesId, icon, summary, actions, hints});
        return uint(40 + shown.size());
    }
};

// The portal's request object: the inhibition lasts until it is closed.
class FakeRequest final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    bool closed = false;

public Q_SLOTS:
    Q_SCRIPTABLE void Close() { closed = true; }
};

class FakePortal final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus)) {}
    QList<uint> flags;
    QStringList reasons;
    QList<FakeRequest *> requests;

public Q_SLOTS:
    Q_SCRIPTABLE QDBusObjectPath Inhibit(const QString &, uint flag, const QVariantMap &options)
    {
        flags.append(flag);
        reasons.append(options.value(u"reason"_s).toString());
        auto *request = new FakeRequest;
        request->setParent(this);
        requests.append(request);
        const QString path = portalPath + u"/request/t/"_s + QString::number(requests.size());
        m_bus.registerObject(path, request, QDBusConnection::ExportScriptableSlots);
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_bus;
};

class FakeLogin final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogin() override
    {
        for (const int fd : std::as_const(readEnds))
            ::close(fd);
    }
    QStringList asked;
    // The reading ends of the locks handed out; a lock is released when its pipe reads EOF.
    QList<int> readEnds;

    bool isReleased(int lock) const
    {
        char byte = 0;
        return ::read(readEnds.at(lock), &byte, 1) == 0;
    }

public Q_SLOTS:
    Q_SCRIPTABLE QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who,
                                                 const QString &why, const QString &mode)
    {
        asked.append(QStringList{what, who, why, mode}.join(u'|'));
        int fds[2] = {-1, -1};
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return {};
        readEnds.append(fds[0]);
        // The descriptor dups the writing end; only the caller's copy stays open.
        QDBusUnixFileDescriptor lock(fds[1]);
        ::close(fds[1]);
        return lock;
    }
};

class LauncherListener final : public QObject
{
    Q_OBJECT
public:
    QList<QVariantMap> updates;
    QStringList uris;

public Q_SLOTS:
    void update(const QString &uri, const QVariantMap &properties)
    {
        uris.append(uri);
        updates.append(properties);
    }
};

// Messages may come from QtDBus's own thread.
QMutex capturedLock;
QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QMutexLocker locker(&capturedLock);
    captured.append(message);
}

// Lets every answer already on its way arrive and be handled: the bus answers a connection's
// calls in order, so a round trip of our own comes back after them. Twice, for the calls that
// those answers make.
void settleBus()
{
    for (int round = 0; round < 2; ++round) {
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                           u"org.freedesktop.DBus"_s, u"GetId"_s));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}
} // namespace

// Notifications, staying awake and the task bar's progress during real runs against the
// stand-in service, checked through what the desktop's services are asked.
class DesktopIntegrationTest : public WindowTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void finishedRunBehindAnotherWindow();
    void cancelReleasesTheInhibition_data();
    void cancelReleasesTheInhibition();
    void absentServicesStayQuiet_data();
    void absentServicesStayQuiet();

private:
    void addPhotos(int count);
    void runStuckPrompt();
    void moveFocusAway();
    void emitFromNotifications(const QString &name, const QVariantList &arguments);

    std::unique_ptr<QWidget> m_otherWindow;
    std::unique_ptr<DesktopIntegration> m_integration;
    std::optional<QDBusConnection> m_services;
    FakeNotifications m_notifications;
    std::unique_ptr<FakePortal> m_portal;
    FakeLogin m_login;
    LauncherListener m_launcher;
};

void DesktopIntegrationTest::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus: run under scripts/with-test-session");
    // Never the machine's own logind: a system bus that is not there.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/moonforge-test-system-bus");
    startService();
    m_services = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-desktop"_s);
    QVERIFY(m_services->isConnected());
    m_portal = std::make_unique<FakePortal>(*m_services);
    QVERIFY(m_services->registerObject(u"/org/freedesktop/Notifications"_s, &m_notifications,
                                       QDBusConnection::ExportScriptableSlots));
    QVERIFY(m_services->registerObject(portalPath, m_portal.get(),
                                       QDBusConnection::ExportScriptableSlots));
    QVERIFY(m_services->registerObject(u"/org/freedesktop/login1"_s, &m_login,
                                       QDBusConnection::ExportScriptableSlots));
    QVERIFY(m_services->connect(QString(), TaskbarProgress::objectPath(),
                                TaskbarProgress::interface, u"Update"_s, &m_launcher,
                                SLOT(update(QString, QVariantMap))));
}

void DesktopIntegrationTest::init()
{
    freshEnvironment();
    testEnvironment().mutableEnvironment().environmentToken = u"r8_sim"_s;
    for (const QString &name : {DesktopNotifier::service, u"org.freedesktop.portal.Desktop"_s,
                                u"org.freedesktop.login1"_s})
        QVERIFY(m_services->registerService(name));
}

void DesktopIntegrationTest::cleanup()
{
    m_integration.reset();
    m_otherWindow.reset();
    dropWindow();
    m_notifications.shown.clear();
    m_launcher.updates.clear();
    m_launcher.uris.clear();
}

void DesktopIntegrationTest::moveFocusAway()
{
    m_otherWindow = std::make_unique<QWidget>();
    m_otherWindow->show();
    m_otherWindow->activateWindow();
    QTRY_VERIFY(m_otherWindow->isActiveWindow());
    QVERIFY(!m_window->isActiveWindow());
}

void DesktopIntegrationTest::addPhotos(int count)
{
    m_store->setMode(Mode::upscale);
    m_store->selectOnly(*ModelCatalog::find(ModelCatalog::builtIn(Mode::upscale), esrgan));
    const QList<QUrl> files = SampleFiles::colouredPhotos(testEnvironment().path(u"."_s), count);
    QCOMPARE(files.size(), count);
    m_store->addFiles(files);
    QTRY_COMPARE(m_store->jobs().size(), count);
}

// A run that stays on the service until it is cancelled.
void DesktopIntegrationTest::runStuckPrompt()
{
    m_store->setMode(Mode::image);
    m_store->selectOnly(*ModelCatalog::find(ModelCatalog::builtIn(Mode::image), schnell));
    m_store->addPromptJob(u"A lighthouse sim:stuck"_s, {});
    m_store->startRun();
    QVERIFY(m_store->isRunning());
}

void DesktopIntegrationTest::emitFromNotifications(const QString &name,
                                                   const QVariantList &arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                                     DesktopNotifier::interface, name);
    signal.setArguments(arguments);
    QVERIFY(m_services->send(signal));
}

void DesktopIntegrationTest::finishedRunBehindAnotherWindow()
{
    openWindow();
    m_integration = std::make_unique<DesktopIntegration>(*m_store, *m_window);
    addPhotos(3);
    moveFocusAway();
    const auto inhibitsBefore = m_portal->requests.size();
    m_store->startRun();
    QTRY_VERIFY(!m_store->isRunning());

    // One notification with the status bar's words, for this application, clickable.
    QTRY_COMPARE(m_notifications.shown.size(), 1);
    const Notification shown = m_notifications.shown.constFirst();
    QCOMPARE(shown.summary, u"3 upscaled"_s);
    QCOMPARE(shown.appName, u"Moonforge"_s);
    QCOMPARE(shown.icon, u"org.moonforge.Moonforge"_s);
    QCOMPARE(shown.replacesId, 0u);
    QVERIFY(shown.actions.contains(u"default"_s));
    QCOMPARE(shown.hints.value(u"desktop-entry"_s).toString(), u"org.moonforge.Moonforge"_s);

    // The system was kept awake for the run and let go at its end.
    QTRY_COMPARE(m_portal->requests.size(), inhibitsBefore + 1);
    QCOMPARE(m_portal->flags.constLast(), 4u);
    QCOMPARE(m_portal->reasons.constLast(), u"Running predictions"_s);
    QTRY_VERIFY(m_portal->requests.constLast()->closed);
    QVERIFY(!m_integration->inhibitor().isHeld());

    // The task bar showed the progress and takes it away.
    QTRY_VERIFY(!m_launcher.updates.isEmpty() &&
                !m_launcher.updates.constLast().value(u"progress-visible"_s).toBool());
    QVERIFY(m_launcher.updates.size() >= 2);
    const QVariantMap first = m_launcher.updates.constFirst();
    QVERIFY(first.value(u"progress-visible"_s).toBool());
    QCOMPARE(first.value(u"progress"_s).toDouble(), 0.0);
    QCOMPARE(first.value(u"count"_s).toLongLong(), 3);
    QCOMPARE(m_launcher.uris.constFirst(), u"application://org.moonforge.Moonforge.desktop"_s);

    // Clicking the notification brings the window back, with the activation token used up.
    QTRY_VERIFY(m_integration->notifier().notificationId() != 0);
    const uint id = m_integration->notifier().notificationId();
    emitFromNotifications(u"ActivationToken"_s, {id, u"token-1"_s});
    emitFromNotifications(u"ActionInvoked"_s, {id, u"default"_s});
    QTRY_VERIFY(m_window->isActiveWindow());
    QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));

    // The next run's notification takes the place of the first; none comes while the window
    // is in front.
    addPhotos(4);
    moveFocusAway();
    m_store->startRun();
    QTRY_VERIFY(!m_store->isRunning());
    QTRY_COMPARE(m_notifications.shown.size(), 2);
    QCOMPARE(m_notifications.shown.constLast().replacesId, id);
    QCOMPARE(m_notifications.shown.constLast().summary, u"4 upscaled"_s);
    addPhotos(5);
    m_window->activateWindow();
    QTRY_VERIFY(m_window->isActiveWindow());
    m_store->startRun();
    QTRY_VERIFY(!m_store->isRunning());
    QTRY_VERIFY(m_portal->requests.constLast()->closed);
    QCOMPARE(m_notifications.shown.size(), 2);
}

void DesktopIntegrationTest::cancelReleasesTheInhibition_data()
{
    QTest::addColumn<bool>("portal");
    // Cancelled at once: the grant arrives after the wish has gone and is handed back.
    QTest::addColumn<bool>("beforeGrant");
    QTest::newRow("portal") << true << false;
    QTest::newRow("logind without a portal") << false << false;
    QTest::newRow("portal, cancelled before the grant") << true << true;
}

void DesktopIntegrationTest::cancelReleasesTheInhibition()
{
    QFETCH(bool, portal);
    QFETCH(bool, beforeGrant);
    if (!portal)
        QVERIFY(m_services->unregisterService(u"org.freedesktop.portal.Desktop"_s));
    openWindow();
    // logind on the session bus, where the test's stand-in answers for it.
    m_integration = std::make_unique<DesktopIntegration>(
        *m_store, *m_window, QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
    moveFocusAway();
    const auto portalBefore = m_portal->requests.size();
    const auto loginBefore = m_login.readEnds.size();
    runStuckPrompt();
    if (beforeGrant) {
        m_store->cancelRun();
        QTRY_COMPARE(m_portal->requests.size(), portalBefore + 1);
        QTRY_VERIFY(m_portal->requests.constLast()->closed);
        QVERIFY(!m_integration->inhibitor().isHeld());
        return;
    }
    QTRY_VERIFY(m_integration->inhibitor().isHeld());
    QTRY_VERIFY(!m_launcher.updates.isEmpty());
    QCOMPARE(m_launcher.updates.constLast().value(u"count"_s).toLongLong(), 1);
    if (portal) {
        QCOMPARE(m_portal->requests.size(), portalBefore + 1);
        QCOMPARE(m_login.readEnds.size(), loginBefore);
    } else {
        QCOMPARE(m_login.readEnds.size(), loginBefore + 1);
        QCOMPARE(m_login.asked.constLast(), u"sleep|Moonforge|Running predictions|block"_s);
        QVERIFY(!m_login.isReleased(int(loginBefore)));
    }

    m_store->cancelRun();
    QVERIFY(!m_integration->inhibitor().isHeld());
    if (portal)
        QTRY_VERIFY(m_portal->requests.constLast()->closed);
    else
        QTRY_VERIFY(m_login.isReleased(int(loginBefore)));
    QTRY_VERIFY(!m_launcher.updates.constLast().value(u"progress-visible"_s).toBool());
    // Nothing ended: a cancelled run has nothing to tell.
    QCOMPARE(m_notifications.shown.size(), 0);
}

void DesktopIntegrationTest::absentServicesStayQuiet_data()
{
    QTest::addColumn<bool>("bus");
    QTest::newRow("no services on the bus") << true;
    QTest::newRow("no bus") << false;
}

void DesktopIntegrationTest::absentServicesStayQuiet()
{
    QFETCH(bool, bus);
    for (const QString &name : {DesktopNotifier::service, u"org.freedesktop.portal.Desktop"_s,
                                u"org.freedesktop.login1"_s})
        QVERIFY(m_services->unregisterService(name));
    openWindow();
    addPhotos(2);
    moveFocusAway();

    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    const QDBusConnection connection =
        bus ? QDBusConnection::sessionBus() : QDBusConnection(u"no-such-bus"_s);
    // With a session bus, logind is looked for on the system bus, as the application does.
    m_integration = std::make_unique<DesktopIntegration>(
        *m_store, *m_window, connection,
        bus ? std::nullopt : std::optional<QDBusConnection>(connection));
    m_store->startRun();
    const bool ended = QTest::qWaitFor([this] { return !m_store->isRunning(); });
    settleBus();
    m_integration.reset();
    qInstallMessageHandler(previous);

    QVERIFY(ended);
    QVERIFY2(captured.isEmpty(), qPrintable(captured.join(u'\n')));
    for (const ImageJobPtr &job : m_store->jobs())
        QCOMPARE(job->variants().constFirst()->status().kind(), RunStatus::Kind::done);
}

QTEST_MAIN(DesktopIntegrationTest)
#include "tst_desktopintegration.moc"
