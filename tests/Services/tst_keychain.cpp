#include "KeyringTool.h"
#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "TestEnvironment.h"

#include <QtTest>

// The token against the session's real Secret Service, each test under its own prefix.
class KeychainTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_environment = std::make_unique<TestEnvironment>(); }
    void storedTrimmed_data();
    void storedTrimmed();
    void writingTwiceUpdatesInPlace();
    void earlierItemIsCopiedOnceAndKept();
    void deletingNothingSucceeds();
    void failedWriteIsReported();

private:
    Keychain::Location location() const
    {
        return {m_environment->environment().keychainPrefix, {}};
    }
    QString current() const { return Keychain::currentService(location().prefix); }
    std::unique_ptr<TestEnvironment> m_environment;
};

void KeychainTest::storedTrimmed_data()
{
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "r8_plain";
    QTest::newRow("spaces and line break") << "  r8_plain \n";
    QTest::newRow("tabs and CRLF") << "\tr8_plain\r\n";
}

void KeychainTest::storedTrimmed()
{
    QFETCH(QString, written);
    QVERIFY(Keychain::writeToken(location(), written).stored);
    QCOMPARE(Keychain::readToken(location()), std::optional(QStringLiteral("r8_plain")));
    QCOMPARE(KeyringTool::lookup(current()), std::optional(QStringLiteral("r8_plain")));
}

void KeychainTest::writingTwiceUpdatesInPlace()
{
    QVERIFY(Keychain::writeToken(location(), QStringLiteral("r8_first")).stored);
    QVERIFY(Keychain::writeToken(location(), QStringLiteral("r8_second")).stored);
    QCOMPARE(KeyringTool::count(current()), 1);
    QCOMPARE(Keychain::readToken(location()), std::optional(QStringLiteral("r8_second")));
}

void KeychainTest::earlierItemIsCopiedOnceAndKept()
{
    const QString earlier = Keychain::earlierService(location().prefix);
    QVERIFY(KeyringTool::store(earlier, QStringLiteral("r8_earlier")));
    QCOMPARE(Keychain::readToken(location()), std::optional(QStringLiteral("r8_earlier")));
    QCOMPARE(KeyringTool::lookup(current()), std::optional(QStringLiteral("r8_earlier")));
    // Once copied, the current item answers: a later change to the earlier one is not seen.
    QVERIFY(KeyringTool::store(earlier, QStringLiteral("r8_changed")));
    QCOMPARE(Keychain::readToken(location()), std::optional(QStringLiteral("r8_earlier")));
    // Removing the token leaves the earlier item alone.
    QVERIFY(Keychain::writeToken(location(), QString()).stored);
    QCOMPARE(KeyringTool::lookup(earlier), std::optional(QStringLiteral("r8_changed")));
    QCOMPARE(KeyringTool::count(current()), 0);
}

void KeychainTest::deletingNothingSucceeds()
{
    QVERIFY(Keychain::writeToken(location(), QStringLiteral("   ")).stored);
    QCOMPARE(Keychain::readToken(location()), std::nullopt);
}

void KeychainTest::failedWriteIsReported()
{
    TestEnvironment environment;
    environment.mutableEnvironment().keychainCollection =
        QStringLiteral("/org/freedesktop/secrets/collection/moonforge_absent");
    const Keychain::Location broken{environment.environment().keychainPrefix,
                                    environment.environment().keychainCollection};
    const Keychain::WriteResult result = Keychain::writeToken(broken, QStringLiteral("r8_lost"));
    QVERIFY(!result.stored);
    QVERIFY(!result.error.isEmpty());

    AppStore store(environment.environment());
    QTRY_VERIFY(store.tokenKnown());
    const auto outcome = runTask(store.setToken(QStringLiteral("r8_lost")));
    QCOMPARE(outcome.value, std::optional(false));
    QVERIFY(!store.hasToken());
    QVERIFY(store.tokenStoreError().contains(result.error));
    QVERIFY(!store.tokenStoreError().contains(QStringLiteral("r8_lost")));
    const auto read = runTask(store.readToken());
    QVERIFY(read.value);
    QCOMPARE(*read.value, std::nullopt);
}

QTEST_GUILESS_MAIN(KeychainTest)
#include "tst_keychain.moc"
