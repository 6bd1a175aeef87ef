#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "TestEnvironment.h"

#include <QtTest>

// Without any session bus (so without a keyring) there is no token and writes say why.
class KeychainNoBusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noKeyringMeansNoToken()
    {
        TestEnvironment environment;
        const Keychain::Location location{environment.environment().keychainPrefix, {}};
        QCOMPARE(Keychain::readToken(location), std::nullopt);
        QVERIFY(!Keychain::writeToken(location, QStringLiteral("r8_nowhere")).error.isEmpty());

        AppStore store(environment.environment());
        QTRY_VERIFY(store.tokenKnown());
        QVERIFY(!store.hasToken());
        QVERIFY(store.showWelcome());
        QCOMPARE(runTask(store.setToken(QStringLiteral("r8_nowhere"))).value, std::optional(false));
        QVERIFY(!store.hasToken());
        QVERIFY(!store.tokenStoreError().isEmpty());
    }
};

int main(int argc, char *argv[])
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/moonforge-bus");
    QCoreApplication app(argc, argv);
    KeychainNoBusTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_keychain_nobus.moc"
