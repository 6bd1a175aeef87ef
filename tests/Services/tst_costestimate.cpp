#include "AppStoreProbe.h"
#include "PageServer.h"
#include "TestEnvironment.h"

#include "Models/ModelCatalog.h"
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"
#include "Services/PriceCache.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<CostRange>)
Q_DECLARE_METATYPE(std::optional<QSizeF>)
Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<ParamValue>)
Q_DECLARE_METATYPE(CostEstimate)

namespace
{

SchemaParam param(const QString &key, SchemaParam::Kind::Type type,
                  std::optional<ParamValue> defaultValue = {})
{
    SchemaParam result;
    result.key = key;
    result.title = key;
    result.kind.type = type;
    result.defaultValue = std::move(defaultValue);
    return result;
}

ModelSchema schemaWith(const QList<SchemaParam> &params)
{
    ModelSchema schema;
    schema.params = params;
    return schema;
}

using Type = SchemaParam::Kind::Type;

const ModelPrice perImage{PriceUnit::image, 0.03, 0.05, {}, {}};
const ModelPrice perVideoSecond{PriceUnit::videoSecond, 0.12, 0.12, {}, {}};
const ModelPrice perMegapixel{PriceUnit::outputMegapixel, 0.01, 0.01, {}, {}};
const ModelPrice tiered{
    PriceUnit::megapixelStep, 0.05, 0.40, {}, {{4, 0.05}, {9, 0.10}, {16, 0.20}}};

QByteArray page(const char *name)
{
    QFile file(QStringLiteral(MOONFORGE_FIXTURES_DIR "/pages/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool near(const CostRange &a, const CostRange &b)
{
    return qFuzzyCompare(1 + a.low, 1 + b.low) && qFuzzyCompare(1 + a.high, 1 + b.high);
}

} // namespace

class CostEstimateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pairCost_data()
    {
        QTest::addColumn<ModelPrice>("price");
        QTest::addColumn<ModelSchema>("schema");
        QTest::addColumn<ParamOverrides>("overrides");
        QTest::addColumn<std::optional<double>>("scale");
        QTest::addColumn<std::optional<QSizeF>>("pixels");
        QTest::addColumn<std::optional<CostRange>>("expected");

        const ModelSchema counted = schemaWith(
            {param(QStringLiteral("prompt"), Type::text),
             param(QStringLiteral("Num_Outputs"), Type::integer, ParamValue::integer(2))});
        const ParamOverrides four{{QStringLiteral("Num_Outputs"), ParamValue::integer(4)}};
        const std::optional<double> noScale;
        const std::optional<QSizeF> prompt;
        const std::optional<QSizeF> megapixel = QSizeF(1000, 1000);
        QTest::newRow("per image, override 4") << perImage << counted << four << noScale << prompt
                                               << std::optional(CostRange{0.12, 0.2});
        QTest::newRow("per image, default 2") << perImage << counted << ParamOverrides() << noScale
                                              << prompt << std::optional(CostRange{0.06, 0.1});
        QTest::newRow("per image, no count parameter")
            << perImage << schemaWith({}) << ParamOverrides() << noScale << prompt
            << std::optional(CostRange{0.03, 0.05});
        QTest::newRow("per image, non-numeric override reads the default")
            << perImage << counted
            << ParamOverrides{{QStringLiteral("Num_Outputs"),
                               ParamValue::string(QStringLiteral("many"))}}
            << noScale << prompt << std::optional(CostRange{0.06, 0.1});
        // A negative count counts as zero: the estimate never goes below nothing.
        QTest::newRow("per image, negative count")
            << perImage << counted
            << ParamOverrides{{QStringLiteral("Num_Outputs"), ParamValue::integer(-1)}} << noScale
            << prompt << std::optional(CostRange{0, 0});

        const ModelSchema video = schemaWith({param(QStringLiteral("duration"), Type::choice,
                                                    ParamValue::string(QStringLiteral("5")))});
        QTest::newRow("video, default duration")
            << perVideoSecond << video << ParamOverrides() << noScale << prompt
            << std::optional(CostRange{0.6, 0.6});
        QTest::newRow("video, duration override")
            << perVideoSecond << video
            << ParamOverrides{{QStringLiteral("duration"), ParamValue::number(10)}} << noScale
            << prompt << std::optional(CostRange{1.2, 1.2});
        QTest::newRow("video without duration parameter")
            << perVideoSecond << schemaWith({param(QStringLiteral("prompt"), Type::text)})
            << ParamOverrides() << noScale << prompt << std::optional<CostRange>();

        QTest::newRow("per second with typical run")
            << ModelPrice{PriceUnit::computeSecond, 0.001, 0.001, 0.0023, {}} << schemaWith({})
            << ParamOverrides() << noScale << megapixel << std::optional(CostRange{0.0023, 0.0023});
        QTest::newRow("per second without typical run")
            << ModelPrice{PriceUnit::computeSecond, 0.001, 0.001, {}, {}} << schemaWith({})
            << ParamOverrides() << noScale << megapixel << std::optional<CostRange>();

        const std::optional<double> four_x = 4;
        QTest::newRow("tiered, 16 megapixels")
            << tiered << schemaWith({}) << ParamOverrides() << four_x << megapixel
            << std::optional(CostRange{0.2, 0.2});
        QTest::newRow("tiered, 20 megapixels beyond every tier")
            << tiered << schemaWith({}) << ParamOverrides() << four_x
            << std::optional(QSizeF(1250, 1000)) << std::optional(CostRange{0.2, 0.2});
        QTest::newRow("tiered, no scale takes the first tier")
            << tiered << schemaWith({}) << ParamOverrides() << noScale << megapixel
            << std::optional(CostRange{0.05, 0.05});
        QTest::newRow("per megapixel, scale 2")
            << perMegapixel << schemaWith({}) << ParamOverrides() << std::optional<double>(2)
            << megapixel << std::optional(CostRange{0.04, 0.04});
        QTest::newRow("prompt job, per megapixel")
            << perMegapixel << schemaWith({}) << ParamOverrides() << four_x << prompt
            << std::optional<CostRange>();
        QTest::newRow("prompt job, tiered") << tiered << schemaWith({}) << ParamOverrides()
                                            << four_x << prompt << std::optional<CostRange>();
    }
    void pairCost()
    {
        QFETCH(ModelPrice, price);
        QFETCH(ModelSchema, schema);
        QFETCH(ParamOverrides, overrides);
        QFETCH(std::optional<double>, scale);
        QFETCH(std::optional<QSizeF>, pixels);
        QFETCH(std::optional<CostRange>, expected);
        const QString slug = QStringLiteral("acme/model");
        const QJsonObject inputs = AppStore::requestInputs(schema, slug, {{slug, overrides}});
        const std::optional<CostRange> cost =
            CostPlanner::pairCost(price, schema, inputs, scale, pixels);
        QCOMPARE(cost.has_value(), expected.has_value());
        if (expected)
            QVERIFY2(near(*cost, *expected),
                     qPrintable(QStringLiteral("%1..%2").arg(cost->low).arg(cost->high)));
    }

    void charge_data()
    {
        QTest::addColumn<ModelPrice>("price");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<std::optional<QSizeF>>("pixels");
        QTest::addColumn<std::optional<double>>("videoSeconds");
        QTest::addColumn<std::optional<double>>("predictSeconds");
        QTest::addColumn<std::optional<CostRange>>("expected");
        const std::optional<QSizeF> none;
        const std::optional<double> unknown;
        const ModelPrice perSecond{PriceUnit::computeSecond, 0.001, 0.001, 0.5, {}};
        QTest::newRow("four images")
            << perImage << 4 << none << unknown << unknown << std::optional(CostRange{0.12, 0.2});
        QTest::newRow("negative output count")
            << perImage << -1 << none << unknown << unknown << std::optional(CostRange{0, 0});
        QTest::newRow("2048 square per megapixel, two outputs")
            << perMegapixel << 2 << std::optional(QSizeF(2048, 2048)) << unknown << unknown
            << std::optional(CostRange{0.08388608, 0.08388608});
        QTest::newRow("per megapixel without a size")
            << perMegapixel << 1 << none << unknown << unknown << std::optional<CostRange>();
        QTest::newRow("tiered, 3 outputs of 9 megapixels")
            << tiered << 3 << std::optional(QSizeF(3000, 3000)) << unknown << unknown
            << std::optional(CostRange{0.3, 0.3});
        QTest::newRow("video seconds") << perVideoSecond << 1 << none << std::optional(6.0)
                                       << unknown << std::optional(CostRange{0.72, 0.72});
        QTest::newRow("video without a length")
            << perVideoSecond << 1 << none << unknown << unknown << std::optional<CostRange>();
        // A finished run is charged by its own time, not the typical one.
        QTest::newRow("run time") << perSecond << 1 << none << unknown << std::optional(12.5)
                                  << std::optional(CostRange{0.0125, 0.0125});
        QTest::newRow("no run time")
            << perSecond << 1 << none << unknown << unknown << std::optional<CostRange>();
    }
    void charge()
    {
        QFETCH(ModelPrice, price);
        QFETCH(int, outputs);
        QFETCH(std::optional<QSizeF>, pixels);
        QFETCH(std::optional<double>, videoSeconds);
        QFETCH(std::optional<double>, predictSeconds);
        QFETCH(std::optional<CostRange>, expected);
        const std::optional<CostRange> cost =
            price.charge({outputs, pixels, videoSeconds, predictSeconds});
        QCOMPARE(cost.has_value(), expected.has_value());
        if (expected)
            QVERIFY2(near(*cost, *expected),
                     qPrintable(QStringLiteral("%1..%2").arg(cost->low).arg(cost->high)));
    }

    void tieredCostPicksFirstTierAtLeastQuantity_data()
    {
        QTest::addColumn<double>("megapixels");
        QTest::addColumn<double>("cost");
        QTest::newRow("below first") << 1.0 << 0.05;
        QTest::newRow("on a bound") << 9.0 << 0.10;
        QTest::newRow("between") << 9.5 << 0.20;
        QTest::newRow("beyond") << 100.0 << 0.20;
        QTest::newRow("negative counts as zero") << -3.0 << 0.05;
    }
    void tieredCostPicksFirstTierAtLeastQuantity()
    {
        QFETCH(double, megapixels);
        QFETCH(double, cost);
        QCOMPARE(tiered.cost(megapixels), (CostRange{cost, cost}));
        QCOMPARE((ModelPrice{PriceUnit::megapixelStep, 0, 0, {}, {}}.cost(megapixels)),
                 (CostRange{0, 0}));
    }

    void estimateSumsPricedPairs()
    {
        using CostPlanner::PendingCost;
        const PendingCost priced{CostRange{0.03, 0.05}, false};
        const PendingCost unpriced{std::nullopt, false};
        const PendingCost loading{std::nullopt, true};

        QCOMPARE(CostPlanner::estimate({}), std::nullopt);
        QCOMPARE(CostPlanner::estimate({unpriced, unpriced}), std::nullopt);
        QCOMPARE(CostPlanner::estimate({loading}), std::nullopt);
        QCOMPARE(CostPlanner::estimate({priced, priced}), (CostEstimate{0.06, 0.1, false}));
        // A price still loading neither adds to the total nor marks it incomplete.
        QCOMPARE(CostPlanner::estimate({priced, loading}), (CostEstimate{0.03, 0.05, false}));
        // Once the load has ended without a cost, the pair is unpriced.
        QCOMPARE(CostPlanner::estimate({priced, unpriced}), (CostEstimate{0.03, 0.05, true}));
    }

    void estimateTexts()
    {
        const CostEstimate complete{0.03, 0.05, false};
        const CostEstimate partial{0.5, 0.5, true};
        QCOMPARE(AppStore::estimateLabel(complete), QStringLiteral("Around $0.03\u2013$0.05"));
        QCOMPARE(AppStore::estimateLabel(partial),
                 QStringLiteral("Around $0.50 plus unpriced models"));
        QCOMPARE(AppStore::estimateHelp(complete),
                 QStringLiteral("Replicate's list price for what's queued. The exact charge "
                                "appears on each result."));
        QCOMPARE(AppStore::estimateHelp(partial),
                 QStringLiteral("Some selected models don't publish a price this app can work "
                                "out, so the real total is higher."));
    }

    void loadPriceReadsOncePerRun()
    {
        TestEnvironment env;
        PageServer server;
        server.setPage("/acme/priced", {200, page("image-range.html")});
        server.setPage("/acme/unpriced", {200, page("special-true.html")});
        env.mutableEnvironment().webBase = server.baseUrl();
        AppStore store(env.environment());
        QSignalSpy changed(&store, &AppStore::pricesChanged);

        store.loadPrice(QStringLiteral("acme/priced"));
        store.loadPrice(QStringLiteral("acme/unpriced"));
        QVERIFY(store.pricesInFlight().contains(QStringLiteral("acme/priced")));
        QCOMPARE(store.priceLoads().size(), 2);
        QTRY_VERIFY(store.pricesInFlight().isEmpty());
        QCOMPARE(store.prices().value(QStringLiteral("acme/priced")),
                 (ModelPrice{PriceUnit::image, 0.03, 0.05, {}, {}}));
        QVERIFY(!store.prices().contains(QStringLiteral("acme/unpriced")));
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(changed.size() >= 2);

        // A second load in the same run does nothing, even after a failure.
        store.loadPrice(QStringLiteral("acme/unpriced"));
        store.loadPrice(QStringLiteral("acme/priced"));
        QVERIFY(store.pricesInFlight().isEmpty());
        QTest::qWait(50);
        QCOMPARE(server.requests().size(), 2);

        // The next run reads the priced model from the cache and tries the other page again.
        AppStore nextRun(env.environment());
        nextRun.loadPrice(QStringLiteral("acme/priced"));
        nextRun.loadPrice(QStringLiteral("acme/unpriced"));
        QTRY_VERIFY(nextRun.pricesInFlight().isEmpty());
        QVERIFY(nextRun.prices().contains(QStringLiteral("acme/priced")));
        QCOMPARE(server.requests().size(), 3);
        QCOMPARE(server.requests().constLast().path, QByteArray("/acme/unpriced"));
    }

    void storeGoingAwayAbortsPageReads()
    {
        TestEnvironment env;
        PageServer server;
        server.setPage("/acme/slow", {200, {}, true});
        env.mutableEnvironment().webBase = server.baseUrl();
        {
            AppStore store(env.environment());
            store.loadPrice(QStringLiteral("acme/slow"));
            QTRY_COMPARE(server.requests().size(), 1);
            QVERIFY(store.pricesInFlight().contains(QStringLiteral("acme/slow")));
        }
        // Without the abort the read would hang on until its transfer timeout.
        QTRY_COMPARE(server.abandonedConnections(), 1);
        QVERIFY(!QFile::exists(PriceCache(env.environment().cacheFolder).folder() +
                               QStringLiteral("/acme_slow.json")));
    }

    void estimateLeavesLoadingPricesOut()
    {
        TestEnvironment env;
        PageServer server;
        const QString tieredSlug = ModelCatalog::upscale().at(0).slug();
        const CatalogModel slow = ModelCatalog::upscale().at(1);
        server.setPage("/" + tieredSlug.toUtf8(), {200, page("tiered.html")});
        server.setPage("/" + slow.slug().toUtf8(), {200, {}, true});
        env.mutableEnvironment().webBase = server.baseUrl();
        AppStore store(env.environment());
        QCOMPARE(store.estimatedCost(), std::nullopt);

        auto job = std::make_shared<ImageJob>(
            JobInput::file(QUrl::fromLocalFile(env.path(QStringLiteral("a.jpg")))));
        job->setPixelSize(QSizeF(1000, 1000));
        store.setJobs({job});
        store.toggle(slow);
        QCOMPARE(store.pendingPairs().size(), 2);

        const ModelSchema scaled = schemaWith({param(QStringLiteral("scale"), Type::choice,
                                                     ParamValue::string(QStringLiteral("4x")))});
        store.loadPrice(tieredSlug);
        store.loadPrice(slow.slug());
        QTRY_VERIFY(store.prices().contains(tieredSlug));
        // Priced, but without a ready schema the pair has no cost yet.
        QCOMPARE(store.plannedCost(tieredSlug, *job), std::nullopt);
        QCOMPARE(store.estimatedCost(), std::nullopt);

        AppStoreProbe::setSchemaState(store, tieredSlug, SchemaState::ready(scaled));
        AppStoreProbe::setSchemaState(store, slow.slug(), SchemaState::ready(scaled));
        // 1000 × 1000 at 4x is 16 megapixels: the 16-megapixel tier.
        QCOMPARE(store.plannedCost(tieredSlug, *job), (CostRange{0.2, 0.2}));
        QVERIFY(store.pricesInFlight().contains(slow.slug()));
        QCOMPARE(store.estimatedCost(), (CostEstimate{0.2, 0.2, false}));
        QCOMPARE(AppStore::estimateLabel(*store.estimatedCost()), QStringLiteral("Around $0.20"));
    }

    void estimateFlagsUnpricedVideoOnceItsLoadEnds()
    {
        TestEnvironment env;
        PageServer server;
        const QString timed = ModelCatalog::video().at(0).slug();
        const CatalogModel untimed = ModelCatalog::video().at(1);
        server.setPage("/" + timed.toUtf8(), {200, page("video-first.html")});
        server.setPage("/" + untimed.slug().toUtf8(), {200, page("video-first.html")});
        env.mutableEnvironment().webBase = server.baseUrl();
        AppStore store(env.environment());
        store.setMode(Mode::video);
        store.toggle(untimed);
        store.addPromptJob(QStringLiteral("a fox"), {});
        QCOMPARE(store.pendingPairs().size(), 2);
        AppStoreProbe::setSchemaState(
            store, timed,
            SchemaState::ready(schemaWith(
                {param(QStringLiteral("prompt"), Type::text),
                 param(QStringLiteral("duration"), Type::integer, ParamValue::integer(5))})));
        AppStoreProbe::setSchemaState(
            store, untimed.slug(),
            SchemaState::ready(schemaWith({param(QStringLiteral("prompt"), Type::text)})));

        store.loadPrice(timed);
        QTRY_VERIFY(store.prices().contains(timed));
        // The other model has never had a price load: it counts as unpriced.
        QCOMPARE(store.estimatedCost(), (CostEstimate{2.5, 3.75, true}));

        store.loadPrice(untimed.slug());
        QVERIFY(store.pricesInFlight().contains(untimed.slug()));
        QCOMPARE(store.estimatedCost(), (CostEstimate{2.5, 3.75, false}));
        QTRY_VERIFY(store.pricesInFlight().isEmpty());
        // Priced per second, but without a duration parameter its length is unknown.
        QVERIFY(store.prices().contains(untimed.slug()));
        const std::optional<CostEstimate> estimate = store.estimatedCost();
        QCOMPARE(estimate, (CostEstimate{2.5, 3.75, true}));
        QCOMPARE(AppStore::estimateLabel(*estimate),
                 QStringLiteral("Around $2.50\u2013$3.75 plus unpriced models"));
    }

    void estimateFollowsOutputCountOverride_data()
    {
        QTest::addColumn<std::optional<ParamValue>>("count");
        QTest::addColumn<CostEstimate>("expected");
        QTest::newRow("default") << std::optional<ParamValue>() << CostEstimate{0.03, 0.05, false};
        QTest::newRow("four") << std::optional(ParamValue::integer(4))
                              << CostEstimate{0.12, 0.2, false};
        // A negative count is treated as none: nothing to pay, never a negative total.
        QTest::newRow("minus one")
            << std::optional(ParamValue::integer(-1)) << CostEstimate{0, 0, false};
    }
    void estimateFollowsOutputCountOverride()
    {
        QFETCH(std::optional<ParamValue>, count);
        QFETCH(CostEstimate, expected);
        TestEnvironment env;
        PageServer server;
        const QString slug = ModelCatalog::image().at(0).slug();
        server.setPage("/" + slug.toUtf8(), {200, page("image-range.html")});
        env.mutableEnvironment().webBase = server.baseUrl();
        AppStore store(env.environment());
        store.setMode(Mode::image);
        store.addPromptJob(QStringLiteral("a fox"), {});
        const SchemaParam outputs =
            param(QStringLiteral("num_outputs"), Type::integer, ParamValue::integer(1));
        AppStoreProbe::setSchemaState(store, slug, SchemaState::ready(schemaWith({outputs})));
        store.loadPrice(slug);
        QTRY_VERIFY(store.pricesInFlight().isEmpty());

        store.setValue(count, outputs);
        const std::optional<CostEstimate> estimate = store.estimatedCost();
        QVERIFY(estimate);
        QVERIFY(near({estimate->low, estimate->high}, {expected.low, expected.high}));
        QCOMPARE(estimate->hasUnpriced, expected.hasUnpriced);
        QVERIFY(estimate->low >= 0);
    }
};

QTEST_GUILESS_MAIN(CostEstimateTest)
#include "tst_costestimate.moc"
