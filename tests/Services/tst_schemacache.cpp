#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "Services/SchemaCache.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QtTest>

// The schema cache on disk, and schema loads through it and the stand-in service.
class SchemaCacheTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void fileNames_data();
    void fileNames();
    void freshness_data();
    void freshness();
    void unreadableIsAbsent_data();
    void unreadableIsAbsent();
    void freshCacheAnswersAlone();
    void staleCacheShownFirst_data();
    void staleCacheShownFirst();
    void failures_data();
    void failures();
    void runWaitsForEveryLoad();

private:
    QString root() const { return m_environment->environment().cacheFolder; }
    QJsonObject record(const QString &slug)
    {
        const auto reply =
            m_service->call("GET", "/v1/models/" + slug, {}, {{"Authorization", "Bearer r8_sim"}});
        return reply ? reply->object() : QJsonObject();
    }
    std::unique_ptr<AppStore> makeStore(bool withToken = true)
    {
        const Keychain::Location location{m_environment->environment().keychainPrefix, {}};
        if (withToken)
            Keychain::writeToken(location, QStringLiteral("r8_sim"));
        return std::make_unique<AppStore>(m_environment->environment());
    }
    void age(const QString &slug, qint64 seconds)
    {
        QFile file(SchemaCache::filePath(root(), slug));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(m_now.addSecs(-seconds), QFileDevice::FileModificationTime));
    }
    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<TestEnvironment> m_environment;
    QDateTime m_now;
};

void SchemaCacheTest::initTestCase()
{
    m_service = std::make_unique<StandInService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void SchemaCacheTest::init()
{
    QVERIFY(m_service->reset());
    m_environment = std::make_unique<TestEnvironment>();
    m_environment->mutableEnvironment().apiBase = m_service->apiBase();
    m_now = QDateTime::currentDateTimeUtc();
}

void SchemaCacheTest::fileNames_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<QString>("name");
    QTest::newRow("owner/name") << "black-forest-labs/flux-dev"
                                << "black-forest-labs_flux-dev.json";
    QTest::newRow("several slashes") << "a/b/c"
                                     << "a_b_c.json";
}

void SchemaCacheTest::fileNames()
{
    QFETCH(QString, slug);
    QFETCH(QString, name);
    QCOMPARE(SchemaCache::fileName(slug), name);
    SchemaCache::store(root(), slug, {{"name", "x"}});
    QVERIFY(QFile::exists(QDir(root()).filePath("schemas/" + name)));
    QCOMPARE(SchemaCache::load(root(), slug), std::optional(QJsonObject{{"name", "x"}}));
}

void SchemaCacheTest::freshness_data()
{
    QTest::addColumn<qint64>("ageSeconds");
    QTest::addColumn<bool>("stale");
    QTest::newRow("new") << qint64(0) << false;
    QTest::newRow("exactly 7 days") << SchemaCache::maxAgeSeconds << false;
    QTest::newRow("7 days and 1 s") << SchemaCache::maxAgeSeconds + 1 << true;
    QTest::newRow("missing") << qint64(-1) << true;
}

void SchemaCacheTest::freshness()
{
    QFETCH(qint64, ageSeconds);
    QFETCH(bool, stale);
    if (ageSeconds >= 0) {
        SchemaCache::store(root(), "o/m", {{"name", "m"}});
        age("o/m", ageSeconds);
    }
    QCOMPARE(SchemaCache::isStale(root(), "o/m", m_now), stale);
}

void SchemaCacheTest::unreadableIsAbsent_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("{\"name\": ");
    QTest::newRow("array") << QByteArray("[1, 2]");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a folder in its place") << QByteArray("folder");
}

void SchemaCacheTest::unreadableIsAbsent()
{
    QFETCH(QByteArray, content);
    const QString path = SchemaCache::filePath(root(), "o/m");
    if (content == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QCOMPARE(SchemaCache::load(root(), "o/m"), std::nullopt);
    // Without any cache folder nothing is found, nothing written, everything stale.
    SchemaCache::store(QString(), "o/m", {{"name", "m"}});
    QCOMPARE(SchemaCache::load(QString(), "o/m"), std::nullopt);
    QVERIFY(SchemaCache::isStale(QString(), "o/m"));
}

void SchemaCacheTest::freshCacheAnswersAlone()
{
    m_environment->mutableEnvironment().apiBase = m_service->apiBase();
    const QString slug = AppStore(m_environment->environment()).focusedModel().slug();
    SchemaCache::store(root(), slug, record(slug));
    QVERIFY(m_service->reset());
    const auto store = makeStore();
    QVERIFY(store->schemaState().isReady());
    store->refreshSchema();
    QVERIFY(store->schemaState().isReady());
    QVERIFY(runTask(store->loadSchema(slug, std::nullopt)).finished);
    QCOMPARE(m_service->requests("/v1/models").size(), 0);
}

void SchemaCacheTest::staleCacheShownFirst_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::newRow("service answers") << true;
    QTest::newRow("no network") << false;
}

void SchemaCacheTest::staleCacheShownFirst()
{
    QFETCH(bool, reachable);
    const QString slug = AppStore(m_environment->environment()).focusedModel().slug();
    const QJsonObject fresh = record(slug);
    // The cached copy has one extra parameter, so the two schemas tell apart.
    QJsonObject cached = fresh, version = cached["latest_version"].toObject();
    QJsonObject schema = version["openapi_schema"].toObject();
    QJsonObject components = schema["components"].toObject();
    QJsonObject schemas = components["schemas"].toObject(), input = schemas["Input"].toObject();
    QJsonObject properties = input["properties"].toObject();
    properties["cached_only"] = QJsonObject{{"type", "string"}, {"title", "Cached only"}};
    input["properties"] = properties, schemas["Input"] = input, components["schemas"] = schemas;
    schema["components"] = components, version["openapi_schema"] = schema;
    cached["latest_version"] = version;
    SchemaCache::store(root(), slug, cached);
    age(slug, 8 * 24 * 3600);
    if (!reachable)
        m_environment->mutableEnvironment().apiBase = QUrl("http://127.0.0.1:9/v1");

    const auto store = makeStore();
    const SchemaState shown = SchemaState::ready(ModelSchema::parse(cached));
    QVERIFY(shown != SchemaState::ready(ModelSchema::parse(fresh)));
    QCOMPARE(store->schemaState(), shown);
    QVERIFY(runTask(store->loadSchema(slug, std::nullopt)).finished);
    QCOMPARE(store->schemaState(),
             reachable ? SchemaState::ready(ModelSchema::parse(fresh)) : shown);
    QCOMPARE(SchemaCache::isStale(root(), slug), !reachable);
}

void SchemaCacheTest::failures_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("message");
    QTest::newRow("no token") << "nightmareai/real-esrgan" << false << true
                              << "Add your Replicate API token in Settings first.";
    QTest::newRow("no input schema") << "sim-parser/no-input-schema" << true << true
                                     << "This model didn't publish an input schema.";
    QTest::newRow("not among the models") << "nightmareai/real-esrgan" << true << false << "";
}

void SchemaCacheTest::failures()
{
    QFETCH(QString, slug);
    QFETCH(bool, withToken);
    QFETCH(bool, listed);
    QFETCH(QString, message);
    SchemaCache::store(root(), slug, {{"owner", "cached"}, {"name", "without schema"}});
    age(slug, 8 * 24 * 3600);
    const auto store = makeStore(withToken);
    const QList<CatalogModel> models{*CatalogModel::fromSlug(slug, {}, {}, true)};
    QVERIFY(runTask(store->loadSchema(slug, listed ? models : QList<CatalogModel>())).finished);
    QCOMPARE(store->schemaStates().value(slug),
             listed ? SchemaState::failed(message) : SchemaState::loading());
}

void SchemaCacheTest::runWaitsForEveryLoad()
{
    const auto store = makeStore();
    const QStringList slugs{"nightmareai/real-esrgan", "nobody/nothing"};
    QList<CatalogModel> models;
    for (const QString &slug : slugs)
        models << *CatalogModel::fromSlug(slug, {}, {}, true);
    QVERIFY(runTask(store->loadSchemasForRun(slugs, models)).finished);
    QVERIFY(store->schemaStates().value(slugs[0]).isReady());
    QCOMPARE(store->schemaStates().value(slugs[1]).kind(), SchemaState::Kind::failed);
    QVERIFY(QFile::exists(SchemaCache::filePath(root(), slugs[0])));
}

QTEST_GUILESS_MAIN(SchemaCacheTest)
#include "tst_schemacache.moc"
