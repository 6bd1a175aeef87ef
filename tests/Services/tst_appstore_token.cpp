#include "KeyringTool.h"
#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <QDirIterator>
#include <QtTest>

namespace
{
QStringList g_log;
void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_log.append(message);
}
} // namespace

// The store's token flags, storing and checking a token, over the real keyring and the stand-in.
class AppStoreTokenTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void startsWithoutToken();
    void startsFromTheEarlierItem();
    void environmentTokenIsAFallback();
    void removingWithoutItem();
    void submit_data();
    void submit();
    void blankSubmitChangesNothing();
    void tokenLeaksNowhere();

private:
    std::unique_ptr<AppStore> makeStore()
    {
        auto store = std::make_unique<AppStore>(m_environment->environment());
        [&] { QTRY_VERIFY(store->tokenKnown()); }();
        return store;
    }
    QString current() const
    {
        return Keychain::currentService(m_environment->environment().keychainPrefix);
    }
    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<TestEnvironment> m_environment;
};

void AppStoreTokenTest::initTestCase()
{
    m_service = std::make_unique<StandInService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void AppStoreTokenTest::init()
{
    QVERIFY(m_service->reset());
    m_environment = std::make_unique<TestEnvironment>();
    m_environment->mutableEnvironment().apiBase = m_service->apiBase();
}

void AppStoreTokenTest::startsWithoutToken()
{
    const auto store = makeStore();
    QVERIFY(!store->hasToken());
    QVERIFY(store->showWelcome());
    QCOMPARE(store->tokenSource(), AppStore::TokenSource::none);
}

void AppStoreTokenTest::startsFromTheEarlierItem()
{
    const QString earlier = Keychain::earlierService(m_environment->environment().keychainPrefix);
    QVERIFY(KeyringTool::store(earlier, QStringLiteral("r8_earlier")));
    const auto store = makeStore();
    QVERIFY(store->hasToken());
    QVERIFY(!store->showWelcome());
    QCOMPARE(KeyringTool::lookup(current()), std::optional(QStringLiteral("r8_earlier")));
    QCOMPARE(KeyringTool::lookup(earlier), std::optional(QStringLiteral("r8_earlier")));
}

void AppStoreTokenTest::environmentTokenIsAFallback()
{
    m_environment->mutableEnvironment().environmentToken = QStringLiteral("r8_from_env");
    const auto store = makeStore();
    QVERIFY(store->hasToken());
    QCOMPARE(store->tokenSource(), AppStore::TokenSource::environment);
    QCOMPARE(*runTask(store->readToken()).value, std::optional(QStringLiteral("r8_from_env")));
    QCOMPARE(KeyringTool::count(current()), 0); // read-only: never copied into the keyring
}

void AppStoreTokenTest::removingWithoutItem()
{
    const auto store = makeStore();
    QCOMPARE(runTask(store->setToken(QString())).value, std::optional(true));
    QVERIFY(!store->hasToken());
    QVERIFY(store->showWelcome());
    QCOMPARE(store->tokenCheck(), AppStore::TokenCheck::idle());
}

void AppStoreTokenTest::submit_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted, padded") << " r8_good\n" << true << true;
    QTest::newRow("rejected") << "r8_invalid_token" << true << false;
    QTest::newRow("unreachable") << "r8_good" << false << false;
}

void AppStoreTokenTest::submit()
{
    QFETCH(QString, token);
    QFETCH(bool, reachable);
    QFETCH(bool, accepted);
    if (!reachable)
        m_environment->mutableEnvironment().apiBase = QUrl(QStringLiteral("http://127.0.0.1:9/v1"));
    const auto store = makeStore();
    const auto outcome = runTask(store->submitToken(token));
    QCOMPARE(outcome.value, std::optional(accepted));
    QCOMPARE(store->hasToken(), accepted);
    QCOMPARE(KeyringTool::lookup(current()),
             accepted ? std::optional(QStringLiteral("r8_good")) : std::nullopt);
    if (accepted) {
        QCOMPARE(store->tokenCheck(), AppStore::TokenCheck::valid());
        QTRY_VERIFY(store->catalogs().contains(Mode::upscale));
    } else if (reachable) {
        QCOMPARE(store->tokenCheck(), AppStore::TokenCheck::invalid(AppStore::rejectedTokenText()));
    } else {
        QNetworkAccessManager network;
        const CatalogModel model = store->focusedModel();
        const ReplicateClient direct(&network, m_environment->environment().apiBase,
                                     m_environment->clock(), QStringLiteral("r8_good"));
        const auto failure = runTask(direct.fetchModel(model.owner, model.name));
        QVERIFY(!failure.message().isEmpty());
        QCOMPARE(store->tokenCheck(), AppStore::TokenCheck::invalid(failure.message()));
    }
}

void AppStoreTokenTest::blankSubmitChangesNothing()
{
    const auto store = makeStore();
    QSignalSpy checks(store.get(), &AppStore::tokenCheckChanged);
    QCOMPARE(runTask(store->submitToken(QStringLiteral("   "))).value, std::optional(false));
    QCOMPARE(checks.count(), 0);
    QVERIFY(!store->hasToken());
    QCOMPARE(m_service->requests(QStringLiteral("/v1")).size(), 0);
}

void AppStoreTokenTest::tokenLeaksNowhere()
{
    const QString secret = QStringLiteral("r8_secret_7f3a9c");
    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        const auto store = makeStore();
        QVERIFY(*runTask(store->submitToken(secret)).value);
        QTRY_VERIFY(store->schemaState().isReady());
        runTask(store->submitToken(QStringLiteral("r8_invalid_") + secret));
        g_log << store->tokenCheck().message() << store->tokenStoreError();
    }
    qInstallMessageHandler(previous);
    for (const QString &line : std::as_const(g_log))
        QVERIFY2(!line.contains(secret), qPrintable(line));
    QDirIterator files(m_environment->path(QString()), QDir::Files, QDirIterator::Subdirectories);
    int checked = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains(secret.toUtf8()), qPrintable(file.fileName()));
        ++checked;
    }
    QVERIFY(checked > 0); // the schema cache at least was written
}

QTEST_GUILESS_MAIN(AppStoreTokenTest)
#include "tst_appstore_token.moc"
