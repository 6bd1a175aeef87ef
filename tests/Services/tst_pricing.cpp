#include "StandInService.h"
#include "TestEnvironment.h"

#include "Services/PriceCache.h"
#include "Services/Pricing.h"

#include <QCoroTask>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QTest>

using namespace Qt::StringLiterals;

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

std::optional<ModelPrice> price(PriceUnit unit, double low, double high,
                                std::optional<double> typical = {}, QList<PriceStep> steps = {})
{
    return ModelPrice{unit, low, high, typical, steps};
}

bool samePrice(const std::optional<ModelPrice> &a, const std::optional<ModelPrice> &b)
{
    const auto near = [](double x, double y) { return qFuzzyCompare(1 + x, 1 + y); };
    if (!a || !b)
        return a.has_value() == b.has_value();
    return a->unit == b->unit && near(a->low, b->low) && near(a->high, b->high) &&
           a->typicalRun.has_value() == b->typicalRun.has_value() &&
           (!a->typicalRun || near(*a->typicalRun, *b->typicalRun)) && a->steps == b->steps;
}

} // namespace

class PricingTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<StandInService> m_service;
    bool addFault(const char *path, const char *action, const QString &body = {}, int status = 0,
                  int delayMs = 0)
    {
        return m_service->addFault(QJsonObject{{u"path"_s, QLatin1String(path)},
                                               {u"action"_s, QLatin1String(action)},
                                               {u"body"_s, body},
                                               {u"status"_s, status},
                                               {u"delayMs"_s, delayMs}});
    }
    std::optional<ModelPrice> fetch(const PriceCache &cache, const QString &slug,
                                    TaskHandle handle = {})
    {
        return QCoro::waitFor(Pricing::fetch(std::make_shared<QNetworkAccessManager>(),
                                             m_service->webBase(), cache, slug, handle));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_service = std::make_unique<StandInService>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    }
    void init() { QVERIFY(m_service->reset()); }
    void cleanupTestCase() { m_service.reset(); }

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
        QVERIFY(samePrice(Pricing::parse(fixture(page)), expected));
    }

    void extractsJsonObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("expected");
        const auto row = [](const char *text, std::optional<const char *> out) {
            QTest::newRow(text) << QString::fromUtf8(text)
                                << (out ? std::optional(QString::fromUtf8(*out)) : std::nullopt);
        };
        row("x \"m\":  {\"a\": {\"b\": {}}, \"d\": 2}, \"e\": 3}",
            "{\"a\": {\"b\": {}}, \"d\": 2}");
        row("\"m\":{\"a\": \"} {\"} tail", "{\"a\": \"} {\"}");
        row("\"m\": {\"a\": \"say \\\"}\\\" ok\", \"b\": 1} }",
            "{\"a\": \"say \\\"}\\\" ok\", \"b\": 1}");
        row("\"m\": {\"a\": \"\\\\\"} tail", "{\"a\": \"\\\\\"}");
        row("\"m\": {\"a\": 1} \"m\": {\"b\": 2}", "{\"a\": 1}");
        row("\"n\": {\"a\": 1}", std::nullopt);
        row("\"m\": [1, 2]", std::nullopt);
        row("\"m\":\t{\"a\": 1}", std::nullopt);
        row("\"m\": {\"a\": {\"b\": 1}", std::nullopt);
    }
    void extractsJsonObject()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(Pricing::jsonObject(u"\"m\":"_s, text), expected);
    }

    void readsDecimalsStrictly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("expected");
        const auto row = [](const char *text, std::optional<double> value) {
            QTest::newRow(text) << QString(text) << value;
        };
        row("40", 40);
        row("0.000001", 1e-6);
        row(".5", 0.5);
        for (const char *bad : {"1.2.3", "", ".", " 1", "1e3"})
            row(bad, {});
    }
    void readsDecimalsStrictly()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<double>, expected);
        QCOMPARE(Pricing::decimal(text), expected);
        const QString typical = u"\"p50price\": \"$%1\""_s;
        QCOMPARE(Pricing::match(Pricing::Patterns::typicalRun(), typical.arg(text)), expected);
    }

    void formats_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<QString>("expected");
        const auto row = [](double value, const char *text) {
            QTest::newRow(text) << value << value << QString::fromUtf8(text);
        };
        row(0.5, "$0.50");
        row(0.25, "$0.25");
        row(0.004, "$0.004");
        row(0.0123, "$0.012");
        row(12, "$12.00");
        row(0, "$0.00");
        row(0.001, "$0.001");
        row(0.00012, "$0.0001");
        QTest::newRow("range") << 0.03 << 0.05 << u"$0.03\u2013$0.05"_s;
        QTest::newRow("same text") << 0.5 << 0.50001 << u"$0.50"_s;
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

    void cacheKeepsStoredForm()
    {
        TestEnvironment env;
        const PriceCache cache(env.environment().cacheFolder);
        const QString slug = u"acme/thing"_s;
        const auto tiered = *price(PriceUnit::megapixelStep, 0.05, 0.4, {}, {{4, 0.05}, {36, 0.4}});
        const auto perSecond = *price(PriceUnit::computeSecond, 0.001, 0.001, 0.02);
        QVERIFY(!tiered.toStored().contains(u"typicalRun"_s));
        for (const ModelPrice &stored : {tiered, perSecond}) {
            cache.store(slug, stored);
            QCOMPARE(cache.cached(slug), stored);
        }
        QVERIFY(QFile::exists(env.environment().cacheFolder + u"/prices/acme_thing.json"_s));
        // An unreadable file counts as absent.
        QFile broken(cache.folder() + u"/acme_broken.json"_s);
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("{\"unit\": \"token\"}") > 0);
        broken.close();
        QCOMPARE(cache.cached(u"acme/broken"_s), std::nullopt);
        QCOMPARE(PriceCache::fileName(u"../x/y"_s), QString());
    }

    // How each kind of price reads is parsesPages' concern; here, what a fetch does with it.
    void fetchesTheStandInServicesPages_data()
    {
        QTest::addColumn<QString>("slug");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<std::optional<ModelPrice>>("expected");
        const auto row = [](const char *name, const char *slug, const char *fault,
                            std::optional<ModelPrice> expected) {
            QTest::newRow(name) << QString::fromLatin1(slug) << QString::fromLatin1(fault)
                                << expected;
        };
        const char *flux = "black-forest-labs/flux-dev";
        row("tiered", "topazlabs/image-upscale", "",
            price(PriceUnit::megapixelStep, 0.05, 0.40, {},
                  {{4, 0.05}, {9, 0.10}, {16, 0.20}, {36, 0.40}}));
        row("special pricing", "orvane/codeformer", "", std::nullopt);
        row("per thousand", flux, "", price(PriceUnit::image, 0.025, 0.025));
        row("not found", "acme/not-listed", "", std::nullopt);
        row("server error", flux, "status", std::nullopt);
        row("dropped", flux, "drop", std::nullopt);
        row("cut short", flux, "drop-body", std::nullopt);
    }
    void fetchesTheStandInServicesPages()
    {
        QFETCH(QString, slug);
        QFETCH(QString, fault);
        QFETCH(std::optional<ModelPrice>, expected);
        if (!fault.isEmpty())
            QVERIFY(addFault("/*", qPrintable(fault), {}, 500));
        TestEnvironment env;
        const PriceCache cache(env.environment().cacheFolder);
        QVERIFY(samePrice(fetch(cache, slug), expected));
        // Only a price is cached: a page without one is read again in the next run.
        QVERIFY(samePrice(cache.cached(slug), expected));
        QVERIFY(samePrice(fetch(cache, slug), expected));
        const QJsonArray requests = m_service->requests(QLatin1Char('/') + slug);
        // The network layer may try a dropped connection once more.
        QVERIFY(expected ? requests.size() == 1 : requests.size() >= 2);
        const QJsonObject request = requests.at(0).toObject();
        QCOMPARE(request.value(u"method"_s).toString(), u"GET"_s);
        QVERIFY(!request.value(u"hasAuthorization"_s).toBool());
    }

    void fetchReadsOwnPagesAndCancels()
    {
        TestEnvironment env;
        const PriceCache cache(env.environment().cacheFolder);
        QVERIFY(addFault("/acme/thing", "malformed", fixture("per-thousand.html")));
        QCOMPARE(fetch(cache, u"acme/thing"_s), price(PriceUnit::image, 0.04, 0.04));

        // A page that takes a minute: cancelling ends the read at once, with nothing.
        QVERIFY(addFault("/acme/slow", "delay", {}, 0, 60000));
        TaskHandle handle;
        std::optional<std::optional<ModelPrice>> ended;
        QCoro::connect(Pricing::fetch(std::make_shared<QNetworkAccessManager>(),
                                      m_service->webBase(), cache, u"acme/slow"_s, handle),
                       this, [&ended](const std::optional<ModelPrice> &got) { ended = got; });
        QTRY_COMPARE(m_service->requests("/acme/slow").size(), 1);
        QVERIFY(!ended);
        handle.cancel();
        QTRY_VERIFY(ended);
        QCOMPARE(*ended, std::nullopt);
    }
};

QTEST_GUILESS_MAIN(PricingTest)
#include "tst_pricing.moc"
