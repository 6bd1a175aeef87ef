#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QtTest>

// Curated collections and model search against the stand-in service.
class AppStoreCatalogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void noLoadWithoutToken();
    void retriedAfterFailure_data();
    void retriedAfterFailure();
    void loadedOnce();
    void search_data();
    void search();

private:
    std::unique_ptr<AppStore> makeStore(bool withToken)
    {
        if (withToken) {
            const Keychain::Location location{m_environment->environment().keychainPrefix, {}};
            [&] { QVERIFY(Keychain::writeToken(location, QStringLiteral("r8_sim")).stored); }();
        }
        auto store = std::make_unique<AppStore>(m_environment->environment());
        [&] { QTRY_VERIFY(store->tokenKnown()); }();
        return store;
    }
    qsizetype collectionRequests() { return m_service->requests("/v1/collections").size(); }
    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<TestEnvironment> m_environment;
};

void AppStoreCatalogTest::initTestCase()
{
    m_service = std::make_unique<StandInService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void AppStoreCatalogTest::init()
{
    QVERIFY(m_service->reset());
    m_environment = std::make_unique<TestEnvironment>();
    m_environment->mutableEnvironment().apiBase = m_service->apiBase();
}

void AppStoreCatalogTest::noLoadWithoutToken()
{
    const auto store = makeStore(false);
    store->setMode(Mode::image);
    QVERIFY(store->catalogLoads().isEmpty());
    QVERIFY(*runTask(store->setToken(QStringLiteral("r8_sim"))).value);
    QTRY_VERIFY(store->catalogs().contains(Mode::image));
    QCOMPARE(store->catalogs().size(), 1);
    QCOMPARE(m_service->requests("/v1/collections/text-to-image").first()["authorization"],
             QJsonValue("Bearer r8_sim"));
}

void AppStoreCatalogTest::retriedAfterFailure_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::newRow("server error") << QJsonObject{{"status", 500}};
    QTest::newRow("empty list") << QJsonObject{{"status", 200},
                                               {"body", QJsonObject{{"results", QJsonArray()}}}};
    QTest::newRow("not JSON") << QJsonObject{{"action", "malformed"}};
    QTest::newRow("dropped") << QJsonObject{{"action", "drop"}};
}

void AppStoreCatalogTest::retriedAfterFailure()
{
    QFETCH(QJsonObject, fault);
    fault.insert("path", "/v1/collections/*");
    QVERIFY(m_service->addFault(fault));
    const auto store = makeStore(true);
    store->setMode(Mode::upscale);
    QVERIFY(store->catalogLoads().contains(Mode::upscale));
    QTRY_VERIFY(!store->catalogLoads().contains(Mode::upscale));
    QVERIFY(store->catalogs().isEmpty());
    QVERIFY(m_service->reset());
    store->setMode(Mode::upscale);
    QTRY_VERIFY(store->catalogs().contains(Mode::upscale));
    QVERIFY(!store->catalogs()[Mode::upscale].isEmpty());
}

void AppStoreCatalogTest::loadedOnce()
{
    const auto store = makeStore(true);
    store->setMode(Mode::video);
    QTRY_VERIFY(store->catalogs().contains(Mode::video));
    const qsizetype requests = collectionRequests();
    QVERIFY(requests > 0);
    store->setMode(Mode::video);
    // A search queued behind any load the second assignment could have started.
    QVERIFY(!runTask(store->searchModels("video")).value->isEmpty());
    QCOMPARE(collectionRequests(), requests);
}

void AppStoreCatalogTest::search_data()
{
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<bool>("found");
    QTest::newRow("token") << true << false << true;
    QTest::newRow("no token") << false << false << false;
    QTest::newRow("service fails") << true << true << false;
}

void AppStoreCatalogTest::search()
{
    QFETCH(bool, withToken);
    QFETCH(bool, failing);
    QFETCH(bool, found);
    if (failing)
        QVERIFY(m_service->addFault({{"method", "QUERY"}, {"status", 503}}));
    const auto store = makeStore(withToken);
    const auto outcome = runTask(store->searchModels("upscale"));
    QVERIFY(outcome.finished && !outcome.error);
    QCOMPARE(!outcome.value->isEmpty(), found);
    for (const CatalogModel &model : *outcome.value)
        QVERIFY(model.isCustom);
    QCOMPARE(m_service->requests("/v1/models").isEmpty(), !withToken);
}

QTEST_GUILESS_MAIN(AppStoreCatalogTest)
#include "tst_appstore_catalog.moc"
