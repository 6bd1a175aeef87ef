#include "RunTask.h"
#include "Services/AppStore.h"
#include "TestEnvironment.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// Without a session bus, so without any keyring: no token, and a write says why it failed.
class KeychainNoBusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noKeyringMeansNoToken()
    {
        AppStore store(TestEnvironment().environment());
        QTRY_VERIFY(store.tokens().known());
        QVERIFY(!store.tokens().hasToken() && store.tokens().showWelcome());
        QCOMPARE(runTask(store.setToken(u"r8_nowhere"_s)).value, std::optional(false));
        QVERIFY(!store.tokens().hasToken());
        QVERIFY(!store.tokens().storeError().isEmpty());
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
