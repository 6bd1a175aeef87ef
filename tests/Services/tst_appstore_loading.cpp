#include "AppStoreProbe.h"
#include "KeyringTool.h"
#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/Keychain.h"
#include "Services/SchemaCache.h"
#include "StandInStore.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QtTest>

// The token in the session's real keyring, collections, search and schema loads, against the
// stand-in service. Each test has its own keyring prefix, cache and settings.
class AppStoreLoadingTest : public QObject
{
    Q_OBJECT

    // `withToken`: "r8_sim" in the keyring; `environmentToken` as the environment's fallback.
    std::unique_ptr<AppStore> makeStore(bool withToken, const QString &environmentToken = {})
    {
        if (withToken)
            [&] { QVERIFY(Keychain::writeToken({prefix(), {}}, "r8_sim").stored); }();
        auto store = m_standIn.makeStore(environmentToken);
        [&] { QVERIFY(store); }();
        return store;
    }
    QString prefix() const { return m_standIn.environment().environment().keychainPrefix; }
    QString current() const { return Keychain::currentService(prefix()); }
    QString root() const { return m_standIn.environment().environment().cacheFolder; }
    void unreachable() { m_standIn.surroundings().apiBase = QUrl("http://127.0.0.1:9/v1"); }
    QJsonObject record(const QString &slug)
    {
        const auto reply =
            m_service.call("GET", "/v1/models/" + slug, {}, {{"Authorization", "Bearer r8_sim"}});
        return reply ? reply->object() : QJsonObject();
    }
    void age(const QString &slug, qint64 seconds)
    {
        QFile file(SchemaCache::filePath(root(), slug));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(m_now.addSecs(-seconds), QFileDevice::FileModificationTime));
    }
    StandInStore m_standIn;
    StandInService &m_service = m_standIn.service();
    QDateTime m_now;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString())); }

    void init()
    {
        QVERIFY(m_standIn.reset());
        m_now = QDateTime::currentDateTimeUtc();
    }

    void storedTrimmedInPlace_data()
    {
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "r8_plain";
        QTest::newRow("spaces and line break") << "  r8_plain \n";
        QTest::newRow("tabs and CRLF") << "\tr8_plain\r\n";
    }
    void storedTrimmedInPlace()
    {
        QFETCH(QString, written);
        const auto store = makeStore(false);
        QVERIFY(*runTask(store->setToken("r8_first")).value);
        QVERIFY(*runTask(store->setToken(written)).value);
        QVERIFY(store->tokens().hasToken());
        QCOMPARE(KeyringTool::count(current()), 1);
        QCOMPARE(KeyringTool::lookup(current()), std::optional<QString>("r8_plain"));
        QCOMPARE(*runTask(AppStoreProbe::readToken(*store)).value,
                 std::optional<QString>("r8_plain"));
    }

    void earlierItemCopiedAndKept()
    {
        const QString earlier = Keychain::earlierService(prefix());
        QVERIFY(KeyringTool::store(earlier, "r8_earlier"));
        const auto store = makeStore(false);
        QVERIFY(store->tokens().hasToken() && !store->tokens().showWelcome());
        QCOMPARE(KeyringTool::lookup(current()), std::optional<QString>("r8_earlier"));
        // Copied once: afterwards the current item answers, and removal leaves the earlier alone.
        QVERIFY(KeyringTool::store(earlier, "r8_changed"));
        QCOMPARE(*runTask(AppStoreProbe::readToken(*store)).value,
                 std::optional<QString>("r8_earlier"));
        QVERIFY(*runTask(store->setToken(" ")).value);
        QCOMPARE(KeyringTool::count(current()), 0);
        QCOMPARE(KeyringTool::lookup(earlier), std::optional<QString>("r8_changed"));
    }

    void startupAndRemoval_data()
    {
        QTest::addColumn<QString>("environmentToken");
        QTest::newRow("nothing stored") << "";
        QTest::newRow("environment only") << "r8_from_env";
    }
    void startupAndRemoval()
    {
        QFETCH(QString, environmentToken);
        const bool fallback = !environmentToken.isEmpty();
        const auto store = makeStore(false, environmentToken);
        for (int removed = 0; removed < 2; ++removed) {
            QCOMPARE(store->tokens().hasToken(), fallback);
            QCOMPARE(store->tokens().showWelcome(), !fallback);
            QCOMPARE(*runTask(AppStoreProbe::readToken(*store)).value,
                     fallback ? std::optional(environmentToken) : std::nullopt);
            // Removing a token that is not there succeeds; the environment's is never written.
            QVERIFY(*runTask(store->setToken("")).value);
        }
        QCOMPARE(store->tokens().source(),
                 fallback ? TokenVault::Source::environment : TokenVault::Source::none);
        QCOMPARE(store->tokens().check(), TokenCheck::idle());
        QCOMPARE(KeyringTool::count(current()), 0);
    }

    void failedWriteIsReported()
    {
        m_standIn.surroundings().keychainCollection =
            "/org/freedesktop/secrets/collection/moonforge_absent";
        const auto store = makeStore(false);
        QCOMPARE(runTask(store->setToken("r8_lost")).value, std::optional(false));
        QVERIFY(!store->tokens().hasToken());
        QVERIFY(!store->tokens().storeError().isEmpty());
        QCOMPARE(*runTask(AppStoreProbe::readToken(*store)).value, std::nullopt);
        QCOMPARE(runTask(store->submitToken("r8_lost")).value, std::optional(false));
        QCOMPARE(store->tokens().check(), TokenCheck::invalid(store->tokens().storeError()));
    }

    void submit_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("message"); // what the token row shows when it is not taken
        QTest::newRow("accepted, padded") << " r8_good\n" << true << "";
        QTest::newRow("rejected") << "r8_invalid_token" << true
                                  << "That token was rejected. Check you copied all of it.";
        QTest::newRow("unreachable") << "r8_good" << false << "Connection refused";
        QTest::newRow("blank") << "   " << true << "";
    }
    void submit()
    {
        QFETCH(QString, token);
        QFETCH(bool, reachable);
        QFETCH(QString, message);
        if (!reachable)
            unreachable();
        const auto store = makeStore(false);
        const bool accepted = token.contains("good") && reachable;
        QVERIFY(m_service.reset());

        QSignalSpy checks(store.get(), &AppStore::tokenCheckChanged);
        QCOMPARE(runTask(store->submitToken(token)).value, std::optional(accepted));
        QCOMPARE(store->tokens().hasToken(), accepted);
        QCOMPARE(KeyringTool::count(current()), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(store->tokens().check(), TokenCheck::valid());
            QTRY_VERIFY(store->directory().catalogs().contains(Mode::upscale));
        } else if (token.trimmed().isEmpty()) {
            QCOMPARE(checks.count(), 0);
            QCOMPARE(m_service.requests("/v1").size(), 0);
        } else {
            QCOMPARE(store->tokens().check(), TokenCheck::invalid(message));
        }
    }

    void tokenLeaksNowhere()
    {
        static QStringList log;
        log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { log << text; });
        const QString secret = "r8_secret_7f3a9c";
        {
            const auto store = makeStore(false);
            QVERIFY(*runTask(store->submitToken(secret)).value);
            QTRY_VERIFY(store->schemaState().isReady());
            runTask(store->submitToken("r8_invalid_" + secret));
            log << store->tokens().check().message() << store->tokens().storeError();
        }
        qInstallMessageHandler(previous);
        QDirIterator files(m_standIn.environment().path({}), QDir::Files,
                           QDirIterator::Subdirectories);
        QVERIFY(files.hasNext()); // the schema cache at least was written
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            log << QString::fromUtf8(file.readAll());
        }
        for (const QString &text : std::as_const(log))
            QVERIFY2(!text.contains(secret), qPrintable(text));
    }

    void collectionRetriedUntilLoaded_data()
    {
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<bool>("rejected");
        QTest::newRow("no token") << false << QJsonObject() << false;
        QTest::newRow("server error") << true << QJsonObject{{"status", 500}} << false;
        QTest::newRow("empty list")
            << true
            << QJsonObject{{"status", 200}, {"body", QJsonObject{{"results", QJsonArray()}}}}
            << false;
        QTest::newRow("not JSON") << true << QJsonObject{{"action", "malformed"}} << false;
        QTest::newRow("dropped") << true << QJsonObject{{"action", "drop"}} << false;
        QTest::newRow("token rejected") << true << QJsonObject{{"status", 401}} << true;
    }
    // Failures stay silent, except a rejected token, which the store tells until an answer
    // comes back.
    void collectionRetriedUntilLoaded()
    {
        QFETCH(bool, withToken);
        QFETCH(QJsonObject, fault);
        QFETCH(bool, rejected);
        fault.insert("path", "/v1/*");
        QVERIFY(m_service.addFault(fault));
        const auto store = makeStore(withToken);
        store->setMode(Mode::image);
        QCOMPARE(store->directory().catalogLoads().contains(Mode::image), withToken);
        QTRY_VERIFY(store->directory().catalogLoads().isEmpty());
        QVERIFY(store->directory().catalogs().isEmpty());
        QCOMPARE(store->directory().tokenRejected(), rejected);
        QVERIFY(runTask(store->directory().searchModels("flux")).value->isEmpty());
        QCOMPARE(store->directory().tokenRejected(), rejected);
        QVERIFY(m_service.reset());
        if (withToken)
            store->setMode(Mode::image);
        else // saving a token loads the current mode's collection
            QVERIFY(*runTask(store->setToken("r8_sim")).value);
        QTRY_VERIFY(store->directory().catalogs().contains(Mode::image));
        QVERIFY(!store->directory().tokenRejected());
        const qsizetype requests = m_service.requests("/v1/collections").size();
        QCOMPARE(m_service.requests("/v1/collections").first()["authorization"], "Bearer r8_sim");
        // Loaded: no further fetch. The search is queued behind any load the assignment started.
        store->setMode(Mode::image);
        const QList<CatalogModel> found = *runTask(store->directory().searchModels("flux")).value;
        QVERIFY(!found.isEmpty() && found.first().isCustom);
        QCOMPARE(m_service.requests("/v1/collections").size(), requests);
    }

    void cacheFiles_data()
    {
        QTest::addColumn<QByteArray>("content"); // "/": a folder where the file should be
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("readable");
        const QByteArray record = R"({"name":"m"})";
        QTest::newRow("new") << record << qint64(0) << false << true;
        QTest::newRow("exactly 7 days") << record << SchemaCache::maxAgeSeconds << false << true;
        QTest::newRow("7 days and 1 s") << record << SchemaCache::maxAgeSeconds + 1 << true << true;
        QTest::newRow("missing") << QByteArray() << qint64(-1) << true << false;
        QTest::newRow("not JSON") << QByteArray("{\"name\": ") << qint64(0) << false << false;
        QTest::newRow("array") << QByteArray("[1]") << qint64(0) << false << false;
        QTest::newRow("a folder in its place") << QByteArray("/") << qint64(-1) << false << false;
    }
    void cacheFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, ageSeconds);
        QFETCH(bool, stale);
        QFETCH(bool, readable);
        const QString slug = "owner/a/b", path = SchemaCache::filePath(root(), slug);
        QVERIFY(path.endsWith("/schemas/owner_a_b.json"));
        QFile file(path);
        if (content == "/")
            QVERIFY(QDir().mkpath(path));
        else if (!content.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        if (ageSeconds >= 0)
            age(slug, ageSeconds);
        QCOMPARE(SchemaCache::isStale(root(), slug, m_now), stale);
        QCOMPARE(SchemaCache::load(root(), slug),
                 readable ? std::optional(QJsonObject{{"name", "m"}}) : std::nullopt);
        // Without a cache folder nothing is found or written and everything is stale.
        SchemaCache::store({}, slug, {{"name", "m"}});
        QVERIFY(!SchemaCache::load({}, slug) && SchemaCache::isStale({}, slug));
    }

    void cachedSchemaShownFirst_data()
    {
        QTest::addColumn<int>("ageDays");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("fresh: no request, even on refresh") << 0 << true;
        QTest::newRow("stale, replaced") << 8 << true;
        QTest::newRow("stale, no network: kept") << 8 << false;
    }
    void cachedSchemaShownFirst()
    {
        QFETCH(int, ageDays);
        QFETCH(bool, reachable);
        const QString slug = "nightmareai/real-esrgan";
        const QJsonObject fresh = record(slug);
        // The cached copy lacks its version id, so the two schemas tell apart.
        QJsonObject cached = fresh, version = cached["latest_version"].toObject();
        version.remove("id");
        cached["latest_version"] = version;
        SchemaCache::store(root(), slug, cached);
        age(slug, ageDays * 24 * 3600);
        QVERIFY(m_service.reset());
        if (!reachable)
            unreachable();
        const auto store = makeStore(true);
        const CatalogModel model = *CatalogModel::fromSlug(slug, {}, {}, true);
        store->selectOnly(model);
        const SchemaState shown = SchemaState::ready(ModelSchema::parse(cached));
        QVERIFY(shown != SchemaState::ready(ModelSchema::parse(fresh)));
        QCOMPARE(store->schemaState(), shown);
        store->refreshSchema();
        QCOMPARE(store->schemaState(), shown);
        QVERIFY(runTask(store->directory().loadSchema(slug, QList{model})).finished);
        const bool replaced = ageDays > 7 && reachable;
        QCOMPARE(store->schemaState(),
                 replaced ? SchemaState::ready(ModelSchema::parse(fresh)) : shown);
        QCOMPARE(SchemaCache::isStale(root(), slug), ageDays > 7 && !reachable);
        if (ageDays == 0)
            QCOMPARE(m_service.requests("/v1/models/" + slug).size(), 0);
    }

    void schemaFailures_data()
    {
        QTest::addColumn<QString>("slug");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("message");
        QTest::newRow("no token") << "nightmareai/real-esrgan" << false << true
                                  << "Add your Replicate API token in Settings first.";
        QTest::newRow("no input schema") << "sim-parser/no-input-schema" << true << true
                                         << "This model didn't publish an input schema.";
        // Once left "loading" for ever.
        QTest::newRow("not among the models")
            << "nightmareai/real-esrgan" << true << false
            << "This model isn't in any model list, so its settings can't be read.";
    }
    void schemaFailures()
    {
        QFETCH(QString, slug);
        QFETCH(bool, withToken);
        QFETCH(bool, listed);
        QFETCH(QString, message);
        SchemaCache::store(root(), slug, {{"owner", "cached"}, {"name", "without schema"}});
        const auto store = makeStore(withToken);
        const QList<CatalogModel> models{*CatalogModel::fromSlug(slug, {}, {}, true),
                                         *CatalogModel::fromSlug("nobody/nothing", {}, {}, true)};
        // The run's wait covers a model that cannot be found too.
        QVERIFY(runTask(store->directory().loadSchemasForRun({slug, "nobody/nothing"},
                                                             listed ? models : models.mid(1)))
                    .finished);
        QCOMPARE(store->directory().schemaStates().value(slug), SchemaState::failed(message));
        QCOMPARE(store->directory().schemaStates().value("nobody/nothing").kind(),
                 SchemaState::Kind::failed);
    }
    // Two quick selections (or mode switches) used to fetch one model twice, and whichever
    // answer came last stayed, even when it was the older one.
    void oneFetchPerModelAtATime_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("answers") << 200;
        QTest::newRow("fails") << 404;
    }
    void oneFetchPerModelAtATime()
    {
        QFETCH(int, status);
        const QString slug = "nightmareai/real-esrgan";
        QJsonObject slow;
        slow["method"] = "GET";
        slow["path"] = QString("/v1/models/" + slug);
        slow["times"] = 1;
        slow["delayMs"] = 300;
        slow["action"] = status == 200 ? "delay" : "status";
        if (status != 200)
            slow["status"] = status;
        QVERIFY(m_service.addFault(slow));
        const auto store = makeStore(true);
        const CatalogModel model = *CatalogModel::fromSlug(slug, {}, {}, true);
        store->selectOnly(model);
        store->setMode(Mode::upscale);
        store->setMode(Mode::upscale);
        // The run's wait joins the fetch under way and sees its final answer.
        QVERIFY(runTask(store->directory().loadSchemasForRun({slug}, {model})).finished);
        const SchemaState::Kind kind = store->schemaState().kind();
        QCOMPARE(kind, status == 200 ? SchemaState::Kind::ready : SchemaState::Kind::failed);
        QCOMPARE(m_service.requests("/v1/models/" + slug).size(), 1);
        // A later Retry is a fetch of its own.
        store->refreshSchema();
        QTRY_VERIFY(store->schemaState().isReady());
        QCOMPARE(m_service.requests("/v1/models/" + slug).size(), status == 200 ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(AppStoreLoadingTest)
#include "tst_appstore_loading.moc"
