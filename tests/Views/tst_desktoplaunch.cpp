#include "PrivateBus.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Views/Desktop/DesktopIntegration.h"
#include "Views/Desktop/SingleInstance.h"
#include "WindowTestCase.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

// The command line and the one instance, driven through the real program: a later launch hands
// its files to the running instance over the bus and leaves; --help and --version only print.
class DesktopLaunchTest : public WindowTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void laterLaunchHandsOver_data();
    void laterLaunchHandsOver();
    void closingInstanceTurnsLaunchesAway();
    void printsWithoutAWindow_data();
    void printsWithoutAWindow();
    void startsAloneWithoutABus();

private:
    // Runs the program to its end; false when it did not end in time.
    bool launch(const QStringList &arguments, QProcessEnvironment environment, QProcess &process);
    QProcessEnvironment programEnvironment() const;

    std::unique_ptr<PrivateBus> m_bus;
    std::optional<QDBusConnection> m_app;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<DesktopIntegration> m_integration;
    std::unique_ptr<QWidget> m_otherWindow;
    QString m_tokenSeen;
};

void DesktopLaunchTest::initTestCase()
{
    m_bus = std::make_unique<PrivateBus>();
    QVERIFY2(m_bus->isRunning(), "dbus-daemon did not start");
    m_app = m_bus->connect(u"running-moonforge"_s);
    QVERIFY(m_app->isConnected());
    startService();
}

void DesktopLaunchTest::init()
{
    freshEnvironment();
    openWindow();
    // Wired as the application wires them.
    m_instance = std::make_unique<SingleInstance>(*m_app);
    m_integration = std::make_unique<DesktopIntegration>(*m_store, *m_window, *m_app, *m_app);
    // Seen before the window takes the activation token and clears it.
    m_tokenSeen.clear();
    const auto seeToken = [this] { m_tokenSeen = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); };
    connect(m_instance.get(), &SingleInstance::openRequested, this, seeToken);
    connect(m_instance.get(), &SingleInstance::activateRequested, this, seeToken);
    connect(m_instance.get(), &SingleInstance::openRequested, m_integration.get(),
            &DesktopIntegration::openFiles);
    connect(m_instance.get(), &SingleInstance::activateRequested, m_integration.get(),
            &DesktopIntegration::raiseWindow);
    QVERIFY(m_instance->claim());
}

void DesktopLaunchTest::cleanup()
{
    m_integration.reset();
    // Gives the name back for the next test.
    if (m_instance) {
        m_app->interface()->unregisterService(SingleInstance::service);
        m_app->unregisterObject(SingleInstance::path);
        m_instance.reset();
    }
    m_otherWindow.reset();
    dropWindow();
}

QProcessEnvironment DesktopLaunchTest::programEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus->address());
    // The user's own store is the single one; a settings file of its own would opt out.
    environment.remove(u"MOONFORGE_SETTINGS_FILE"_s);
    environment.remove(u"XDG_ACTIVATION_TOKEN"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, testEnvironment().path(u"config"_s));
    environment.insert(u"XDG_CACHE_HOME"_s, testEnvironment().path(u"cache"_s));
    environment.insert(u"MOONFORGE_API_BASE"_s, service().apiBase().toString());
    environment.insert(u"MOONFORGE_WEB_BASE"_s, service().webBase().toString());
    // Under the sanitizers the program's own errors still end it; what its toolkit keeps at exit
    // is no part of what these tests look at.
    if (environment.contains(u"ASAN_OPTIONS"_s))
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
    return environment;
}

bool DesktopLaunchTest::launch(const QStringList &arguments, QProcessEnvironment environment,
                               QProcess &process)
{
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(testEnvironment().path(u"."_s));
    process.start(QStringLiteral(MOONFORGE_APP_BINARY), arguments);
    // The running instance answers from this event loop, so wait without blocking it.
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30'000);
}

void DesktopLaunchTest::laterLaunchHandsOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Paths below the test's folder the upscale list holds afterwards.
    QTest::addColumn<QStringList>("queued");
    QTest::newRow("paths from a shell, relative")
        << QStringList{"album", "photo-0.png"}
        << QStringList{"album/photo-0.png", "album/photo-1.png", "photo-0.png"};
    QTest::newRow("URIs from the desktop entry")
        << QStringList{"file://@/album/photo-1.png", "file://@/photo-0.png"}
        << QStringList{"album/photo-1.png", "photo-0.png"};
    QTest::newRow("nothing: the window comes forward") << QStringList{} << QStringList{};
}

void DesktopLaunchTest::laterLaunchHandsOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, queued);
    const QString root = QDir(testEnvironment().path(u"."_s)).canonicalPath();
    QVERIFY(QDir(root).mkpath(u"album"_s));
    QCOMPARE(SampleFiles::colouredPhotos(root + u"/album"_s, 2).size(), 2);
    QCOMPARE(SampleFiles::colouredPhotos(root, 1).size(), 1);
    for (QString &argument : arguments)
        argument.replace(u'@', root);
    // The person is composing a prompt in another window.
    m_store->setMode(Mode::image);
    m_otherWindow = std::make_unique<QWidget>();
    m_otherWindow->show();
    m_otherWindow->activateWindow();
    QTRY_VERIFY(m_otherWindow->isActiveWindow());

    QProcessEnvironment environment = programEnvironment();
    environment.insert(u"XDG_ACTIVATION_TOKEN"_s, u"token-7"_s);
    QProcess second;
    QVERIFY(launch(arguments, environment, second));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());

    QTRY_VERIFY(m_window->isActiveWindow());
    QCOMPARE(m_tokenSeen, u"token-7"_s);
    // Used once, never inherited by what this process starts later.
    QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
    if (queued.isEmpty()) {
        QCOMPARE(m_store->mode(), std::optional<Mode>(Mode::image));
        return;
    }
    QCOMPARE(m_store->mode(), std::optional<Mode>(Mode::upscale));
    QTRY_COMPARE(m_store->jobs().size(), queued.size());
    QStringList files;
    for (const ImageJobPtr &job : m_store->jobs())
        files.append(QDir(root).relativeFilePath(job->input().url().toLocalFile()));
    files.sort();
    QCOMPARE(files, queued);
}

void DesktopLaunchTest::closingInstanceTurnsLaunchesAway()
{
    const QDBusConnection later = m_bus->connect(u"later-launch"_s);
    const QList<QUrl> files = SampleFiles::colouredPhotos(testEnvironment().path(u"."_s), 1);
    QCOMPARE(SingleInstance(later).claim(), false);
    m_instance->close();
    QCOMPARE(SingleInstance::handOver(later, files), SingleInstance::HandOver::closing);
    QVERIFY(m_store->jobs().isEmpty());
    // Once the name is free again the later launch may take it.
    QVERIFY(!SingleInstance::waitUntilFree(later, 50));
    QTimer::singleShot(20, this,
                       [this] { m_app->interface()->unregisterService(SingleInstance::service); });
    QVERIFY(SingleInstance::waitUntilFree(later, 10'000));
    QCOMPARE(SingleInstance::handOver(later, files), SingleInstance::HandOver::noInstance);
    SingleInstance next(later);
    QVERIFY(next.claim());
    QDBusConnection(later).unregisterObject(SingleInstance::path);
    QDBusConnection(later).interface()->unregisterService(SingleInstance::service);
    QDBusConnection::disconnectFromBus(u"later-launch"_s);
}

void DesktopLaunchTest::printsWithoutAWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("printed");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "[FILE|FOLDER|URI…]";
    QTest::newRow("--version") << QStringList{"photo.png", "--version"} << 0 << "Moonforge 1.";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "Unknown option 'bogus'";
}

void DesktopLaunchTest::printsWithoutAWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, printed);
    QProcessEnvironment environment = programEnvironment();
    // Help and the version need no display; an unknown option is found on the offscreen one.
    if (status == 0) {
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
    }
    QSignalSpy opened(m_instance.get(), &SingleInstance::openRequested);
    QProcess process;
    QVERIFY(launch(arguments, environment, process));
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QCOMPARE(process.exitCode(), status);
    QVERIFY2(output.contains(printed), qPrintable(output));
    QCOMPARE(opened.count(), 0);
}

void DesktopLaunchTest::startsAloneWithoutABus()
{
    QProcessEnvironment environment = programEnvironment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/moonforge-bus"_s);
    // It leaves by itself once its window has drawn its first frame.
    environment.insert(u"MOONFORGE_EXIT_AFTER_FIRST_FRAME"_s, u"1"_s);
    QProcess process;
    QVERIFY(launch({u"photo-0.png"_s}, environment, process));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    // It never reached the running instance on the other bus.
    QVERIFY(m_store->jobs().isEmpty());
}

QTEST_MAIN(DesktopLaunchTest)
#include "tst_desktoplaunch.moc"
