#include "PageServer.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include "Services/PriceCache.h"
#include "Services/Pricing.h"

#include <QCoroTask>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<ModelPrice>)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<double>)

namespace
{

QString fixture(const QString &name)
{
    QFile file(QStringLiteral(MOONFORGE_FIXTURES_DIR "/pages/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return QString::fromUtf8(file.readAll());
}

bool samePrice(const ModelPrice &a, const ModelPrice &b)
{
    const auto near = [](double x, double y) { return qFuzzyCompare(1 + x, 1 + y); };
    return a.unit == b.unit && near(a.low, b.low) && near(a.high, b.high) &&
           a.typicalRun.has_value() == b.typicalRun.has_value() &&
           (!a.typicalRun || near(*a.typicalRun, *b.typicalRun)) && a.steps == b.steps;
}

ModelPrice price(PriceUnit unit, double low, double high, std::optional<double> typical = {},
                 QList<PriceStep> steps = {})
{
    return ModelPrice{unit, low, high, typical, steps};
}

} // namespace

class PricingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesPages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<std::optional<ModelPrice>>("expected");
        const auto row = [](const char *name, std::optional<ModelPrice> expected) {
            QTest::newRow(name) << QString::fromLatin1(name) << expected;
        };
        row("image-range.html", price(PriceUnit::image, 0.03, 0.05));
        row("per-thousand.html", price(PriceUnit::image, 0.04, 0.04));
        row("per-pixel.html", price(PriceUnit::outputMegapixel, 1, 1));
        row("video-first.html", price(PriceUnit::videoSecond, 0.50, 0.75));
        row("unknown-metric-first.html", price(PriceUnit::image, 0.02, 0.02));
        row("nested-billing.html", price(PriceUnit::image, 0.025, 0.025));
        row("tiered.html", price(PriceUnit::megapixelStep, 0.05, 0.40, {},
                                 {{4, 0.05}, {9, 0.10}, {9, 0.11}, {16, 0.20}, {36, 0.40}}));
        row("tiers-without-word.html", std::nullopt);
        row("special-true.html", std::nullopt);
        row("per-second-no-flag.html", std::nullopt);
        row("per-second.html", price(PriceUnit::computeSecond, 0.000225, 0.000225, 0.0023));
        row("per-second-no-typical.html", price(PriceUnit::computeSecond, 0.0014, 0.0014));
        row("empty-billing-per-second.html", price(PriceUnit::computeSecond, 0.001, 0.001, 0.01));
        row("no-billing.html", std::nullopt);
    }
    void parsesPages()
    {
        QFETCH(QString, page);
        QFETCH(std::optional<ModelPrice>, expected);
        const std::optional<ModelPrice> parsed = Pricing::parse(fixture(page));
        QCOMPARE(parsed.has_value(), expected.has_value());
        if (!expected)
            return;
        QCOMPARE(parsed->unit, expected->unit);
        QCOMPARE(parsed->low, expected->low);
        QCOMPARE(parsed->high, expected->high);
        QCOMPARE(parsed->typicalRun, expected->typicalRun);
        QCOMPARE(parsed->steps, expected->steps);
    }

    void extractsJsonObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("expected");
        const auto row = [](const char *name, const char *text, std::optional<const char *> out) {
            QTest::newRow(name) << QString::fromUtf8(text)
                                << (out ? std::optional<QString>(QString::fromUtf8(*out))
                                        : std::nullopt);
        };
        row("plain", "x \"m\": {\"a\": 1} y", "{\"a\": 1}");
        row("no space", "\"m\":{\"a\": {}}}", "{\"a\": {}}");
        row("nested", "\"m\": {\"a\": {\"b\": {\"c\": 1}}, \"d\": 2}, \"e\": 3}",
            "{\"a\": {\"b\": {\"c\": 1}}, \"d\": 2}");
        row("brace in string", "\"m\": {\"a\": \"} {\"} tail", "{\"a\": \"} {\"}");
        row("escaped quote", "\"m\": {\"a\": \"say \\\"}\\\" ok\", \"b\": 1} tail",
            "{\"a\": \"say \\\"}\\\" ok\", \"b\": 1}");
        row("escaped backslash", "\"m\": {\"a\": \"\\\\\"} tail", "{\"a\": \"\\\\\"}");
        row("first marker wins", "\"m\": {\"a\": 1} \"m\": {\"b\": 2}", "{\"a\": 1}");
        row("missing marker", "\"n\": {\"a\": 1}", std::nullopt);
        row("not an object", "\"m\": [1, 2]", std::nullopt);
        row("tab is not a space", "\"m\":\t{\"a\": 1}", std::nullopt);
        row("unterminated", "\"m\": {\"a\": {\"b\": 1}", std::nullopt);
        row("brace only in string", "\"m\": {\"a\": \"}\"", std::nullopt);
    }
    void extractsJsonObject()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(Pricing::jsonObject(QStringLiteral("\"m\":"), text), expected);
    }

    void readsDecimalsStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("expected");
        QTest::newRow("integer") << QStringLiteral("40") << std::optional<double>(40);
        QTest::newRow("fraction") << QStringLiteral("0.000001") << std::optional<double>(1e-6);
        QTest::newRow("leading point") << QStringLiteral(".5") << std::optional<double>(0.5);
        QTest::newRow("two points") << QStringLiteral("1.2.3") << std::optional<double>();
        QTest::newRow("empty") << QString() << std::optional<double>();
        QTest::newRow("point only") << QStringLiteral(".") << std::optional<double>();
        QTest::newRow("space") << QStringLiteral(" 1") << std::optional<double>();
        QTest::newRow("exponent") << QStringLiteral("1e3") << std::optional<double>();
    }
    void readsDecimalsStrictly()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<double>, expected);
        QCOMPARE(Pricing::decimal(text), expected);
    }

    void matchesEveryOccurrence()
    {
        const QList<QStringList> found =
            Pricing::matches(Pricing::Patterns::typicalRun(),
                             QStringLiteral("\"p50price\": \"$0.1\", \"p50price\": \"$2\""));
        QCOMPARE(found, (QList<QStringList>{{QStringLiteral("0.1")}, {QStringLiteral("2")}}));
        QCOMPARE(Pricing::match(Pricing::Patterns::typicalRun(),
                                QStringLiteral("\"p50price\": \"$1.2.3\"")),
                 std::nullopt);
    }

    void formats_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<QString>("expected");
        const auto one = [](double value, const char *text) {
            QTest::addRow("%s", text) << value << value << QString::fromUtf8(text);
        };
        one(0.5, "$0.50");
        one(0.25, "$0.25");
        one(0.004, "$0.004");
        one(0.0123, "$0.012");
        one(12, "$12.00");
        one(0, "$0.00");
        one(0.001, "$0.001");
        one(0.00012, "$0.0001");
        one(1234.5, "$1234.50");
        QTest::newRow("range") << 0.03 << 0.05 << QStringLiteral("$0.03\u2013$0.05");
        QTest::newRow("same text") << 0.5 << 0.50001 << QStringLiteral("$0.50");
    }
    void formats()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(QString, expected);
        QCOMPARE(Pricing::format(low, high), expected);
        if (low == high)
            QCOMPARE(Pricing::format(low), expected);
    }

    void storedFormRoundTrips()
    {
        const ModelPrice tiered =
            price(PriceUnit::megapixelStep, 0.05, 0.4, {}, {{4, 0.05}, {36, 0.4}});
        const QJsonObject stored = tiered.toStored();
        QCOMPARE(stored.value(QStringLiteral("unit")).toString(), QStringLiteral("megapixelStep"));
        QVERIFY(!stored.contains(QStringLiteral("typicalRun")));
        QCOMPARE(ModelPrice::fromStored(stored), tiered);

        const ModelPrice perSecond = price(PriceUnit::computeSecond, 0.001, 0.001, 0.02);
        QCOMPARE(perSecond.toStored().value(QStringLiteral("typicalRun")).toDouble(), 0.02);
        QCOMPARE(ModelPrice::fromStored(perSecond.toStored()), perSecond);

        QJsonObject badUnit = stored;
        badUnit.insert(QStringLiteral("unit"), QStringLiteral("token"));
        QCOMPARE(ModelPrice::fromStored(badUnit), std::nullopt);
        QJsonObject badStep = stored;
        badStep.insert(QStringLiteral("steps"),
                       QJsonArray{QJsonObject{{QStringLiteral("cost"), 1}}});
        QCOMPARE(ModelPrice::fromStored(badStep), std::nullopt);
    }

    void cacheStoresAndReadsBack()
    {
        TestEnvironment env;
        const PriceCache cache(env.environment().cacheFolder);
        const QString slug = QStringLiteral("acme/thing");
        QCOMPARE(cache.cached(slug), std::nullopt);
        const ModelPrice stored = price(PriceUnit::image, 0.01, 0.02);
        cache.store(slug, stored);
        QVERIFY(QFile::exists(cache.folder() + QStringLiteral("/acme_thing.json")));
        QCOMPARE(cache.cached(slug), stored);

        // An unreadable file counts as absent.
        QFile broken(cache.folder() + QStringLiteral("/acme_broken.json"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{not json");
        broken.close();
        QCOMPARE(cache.cached(QStringLiteral("acme/broken")), std::nullopt);
        QCOMPARE(PriceCache::fileName(QStringLiteral("../x/y")), QString());
        QCOMPARE(PriceCache(QString()).cached(slug), std::nullopt);
    }

    void fetchReadsPageAnonymouslyAndCaches()
    {
        TestEnvironment env;
        PageServer server;
        server.setPage("/acme/thing", {200, fixture(QStringLiteral("per-thousand.html")).toUtf8()});
        const auto network = std::make_shared<QNetworkAccessManager>();
        const PriceCache cache(env.environment().cacheFolder);
        const auto fetch = [&] {
            return QCoro::waitFor(
                Pricing::fetch(network, server.baseUrl(), cache, QStringLiteral("acme/thing")));
        };

        QCOMPARE(fetch(), price(PriceUnit::image, 0.04, 0.04));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().path, QByteArray("/acme/thing"));
        QVERIFY(!server.requests().constFirst().headers.toLower().contains("authorization"));
        QCOMPARE(cache.cached(QStringLiteral("acme/thing")), price(PriceUnit::image, 0.04, 0.04));

        // A cached price never expires: the page is not read again.
        QCOMPARE(fetch(), price(PriceUnit::image, 0.04, 0.04));
        QCOMPARE(server.requests().size(), 1);
    }

    void fetchGivesNothingForBadPages_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        const QByteArray good = fixture(QStringLiteral("image-range.html")).toUtf8();
        QTest::newRow("not found") << 404 << good;
        QTest::newRow("server error") << 500 << good;
        QTest::newRow("no content") << 204 << QByteArray();
        QTest::newRow("invalid utf-8") << 200 << (good + QByteArray("\xff\xfe"));
        QTest::newRow("no price") << 200 << fixture(QStringLiteral("special-true.html")).toUtf8();
    }
    void fetchGivesNothingForBadPages()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        TestEnvironment env;
        PageServer server;
        server.setPage("/acme/thing", {status, body});
        const auto network = std::make_shared<QNetworkAccessManager>();
        const PriceCache cache(env.environment().cacheFolder);
        QCOMPARE(QCoro::waitFor(Pricing::fetch(network, server.baseUrl(), cache,
                                               QStringLiteral("acme/thing"))),
                 std::nullopt);
        QCOMPARE(server.requests().size(), 1);
        // Nothing is cached, so the next run tries again.
        QCOMPARE(cache.cached(QStringLiteral("acme/thing")), std::nullopt);
    }

    void fetchesTheStandInServicesPages_data()
    {
        QTest::addColumn<QString>("slug");
        QTest::addColumn<std::optional<ModelPrice>>("expected");
        const auto row = [](const char *slug, std::optional<ModelPrice> expected) {
            QTest::newRow(slug) << QString::fromLatin1(slug) << expected;
        };
        row("topazlabs/image-upscale", price(PriceUnit::megapixelStep, 0.05, 0.40, {},
                                             {{4, 0.05}, {9, 0.10}, {16, 0.20}, {36, 0.40}}));
        row("nightmareai/real-esrgan", price(PriceUnit::computeSecond, 0.000225, 0.000225, 0.0023));
        row("orvane/codeformer", std::nullopt);
        row("bria/increase-resolution", std::nullopt);
        row("black-forest-labs/flux-dev", price(PriceUnit::image, 0.025, 0.025));
        row("black-forest-labs/flux-schnell", price(PriceUnit::image, 0.003, 0.003));
        row("google/veo-3", price(PriceUnit::videoSecond, 0.50, 0.75));
        row("minimax/hailuo-02", price(PriceUnit::videoSecond, 0.12, 0.12));
        row("google/upscaler", price(PriceUnit::outputMegapixel, 0.025, 0.025));
        row("acme/not-listed", std::nullopt);
    }
    void fetchesTheStandInServicesPages()
    {
        QFETCH(QString, slug);
        QFETCH(std::optional<ModelPrice>, expected);
        if (!m_service)
            m_service = std::make_unique<StandInService>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
        TestEnvironment env;
        const std::optional<ModelPrice> fetched = QCoro::waitFor(
            Pricing::fetch(std::make_shared<QNetworkAccessManager>(), m_service->webBase(),
                           PriceCache(env.environment().cacheFolder), slug));
        QCOMPARE(fetched.has_value(), expected.has_value());
        if (expected)
            QVERIFY2(samePrice(*fetched, *expected), qPrintable(QString::number(fetched->low)));
        const QJsonArray requests = m_service->requests(QLatin1Char('/') + slug);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).toObject().value(QStringLiteral("method")).toString(),
                 QStringLiteral("GET"));
        QVERIFY(!requests.at(0).toObject().value(QStringLiteral("hasAuthorization")).toBool());
    }
    void cleanupTestCase() { m_service.reset(); }

    void fetchSurvivesNoServer()
    {
        TestEnvironment env;
        const auto network = std::make_shared<QNetworkAccessManager>();
        QCOMPARE(QCoro::waitFor(Pricing::fetch(network, QUrl(QStringLiteral("http://127.0.0.1:9")),
                                               PriceCache(env.environment().cacheFolder),
                                               QStringLiteral("acme/thing"))),
                 std::nullopt);
    }

private:
    std::unique_ptr<StandInService> m_service;
};

QTEST_GUILESS_MAIN(PricingTest)
#include "tst_pricing.moc"
