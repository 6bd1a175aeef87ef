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
        QTest::addColumn<std::optional<QSizeF>>("pixels");
        QTest::addColumn<std::optional<CostRange>>("expected");

        const ModelSchema counted = schemaWith(
            {param(QStringLiteral("prompt"), Type::text),
             param(QStringLiteral("Num_Outputs"), Type::integer, ParamValue::integer(2))});
        const ParamOverrides four{{QStringLiteral("Num_Outputs"), ParamValue::integer(4)}};
        const std::optional<QSizeF> prompt;
        const std::optional<QSizeF> megapixel = QSizeF(1000, 1000);
        QTest::newRow("per image, override 4")
            << perImage << counted << four << prompt << std::optional(CostRange{0.12, 0.2});
        QTest::newRow("per image, default 2") << perImage << counted << ParamOverrides() << prompt
                                              << std::optional(CostRange{0.06, 0.1});
        QTest::newRow("per image, no count parameter")
            << perImage << schemaWith({}) << ParamOverrides() << prompt
            << std::optional(CostRange{0.03, 0.05});
        QTest::newRow("per image, non-numeric override reads the default")
            << perImage << counted
            << ParamOverrides{{QStringLiteral("Num_Outputs"),
                               ParamValue::string(QStringLiteral("many"))}}
            << prompt << std::optional(CostRange{0.06, 0.1});
        // A negative count counts as zero: the estimate never goes below nothing.
        QTest::newRow("per image, negative count")
            << perImage << counted
            << ParamOverrides{{QStringLiteral("Num_Outputs"), ParamValue::integer(-1)}} << prompt
            << std::optional(CostRange{0, 0});

        const ModelSchema video = schemaWith({param(QStringLiteral("duration"), Type::choice,
                                                    ParamValue::string(QStringLiteral("5")))});
        QTest::newRow("video, default duration") << perVideoSecond << video << ParamOverrides()
                                                 << prompt << std::optional(CostRange{0.6, 0.6});
        QTest::newRow("video, duration override")
            << perVideoSecond << video
            << ParamOverrides{{QStringLiteral("duration"), ParamValue::number(10)}} << prompt
            << std::optional(CostRange{1.2, 1.2});
        QTest::newRow("video without duration parameter")
            << perVideoSecond << schemaWith({param(QStringLiteral("prompt"), Type::text)})
            << ParamOverrides() << prompt << std::optional<CostRange>();

        QTest::newRow("per second with typical run")
            << ModelPrice{PriceUnit::computeSecond, 0.001, 0.001, 0.0023, {}} << schemaWith({})
            << ParamOverrides() << megapixel << std::optional(CostRange{0.0023, 0.0023});
        QTest::newRow("per second without typical run")
            << ModelPrice{PriceUnit::computeSecond, 0.001, 0.001, {}, {}} << schemaWith({})
            << ParamOverrides() << megapixel << std::optional<CostRange>();

        const ModelSchema scaled = schemaWith({param(QStringLiteral("upscale_factor"), Type::choice,
                                                     ParamValue::string(QStringLiteral("4x")))});
        QTest::newRow("tiered, 16 megapixels") << tiered << scaled << ParamOverrides() << megapixel
                                               << std::optional(CostRange{0.2, 0.2});
        QTest::newRow("tiered, 20 megapixels beyond every tier")
            << tiered << scaled << ParamOverrides() << std::optional(QSizeF(1250, 1000))
            << std::optional(CostRange{0.2, 0.2});
        QTest::newRow("tiered, small output takes the first tier")
            << tiered << schemaWith({}) << ParamOverrides() << megapixel
            << std::optional(CostRange{0.05, 0.05});
        QTest::newRow("per megapixel, scale override")
            << perMegapixel << scaled
            << ParamOverrides{{QStringLiteral("upscale_factor"),
                               ParamValue::string(QStringLiteral("2x"))}}
            << megapixel << std::optional(CostRange{0.04, 0.04});
        QTest::newRow("per megapixel, scale auto counts as 1")
            << perMegapixel
            << schemaWith({param(QStringLiteral("scale"), Type::choice,
                                 ParamValue::string(QStringLiteral("auto")))})
            << ParamOverrides() << megapixel << std::optional(CostRange{0.01, 0.01});
        QTest::newRow("per megapixel, factor found by name")
            << perMegapixel
            << schemaWith(
                   {param(QStringLiteral("face_upscale"), Type::toggle, ParamValue::boolean(true)),
                    param(QStringLiteral("outscale_x"), Type::number, ParamValue::number(3))})
            << ParamOverrides() << megapixel << std::optional(CostRange{0.09, 0.09});
        QTest::newRow("prompt job, per megapixel")
            << perMegapixel << scaled << ParamOverrides() << prompt << std::optional<CostRange>();
        QTest::newRow("prompt job, tiered")
            << tiered << scaled << ParamOverrides() << prompt << std::optional<CostRange>();
    }
    void pairCost()
    {
        QFETCH(ModelPrice, price);
        QFETCH(ModelSchema, schema);
        QFETCH(ParamOverrides, overrides);
        QFETCH(std::optional<QSizeF>, pixels);
        QFETCH(std::optional<CostRange>, expected);
        const std::optional<CostRange> cost =
            CostPlanner::pairCost(price, schema, overrides, pixels);
        QCOMPARE(cost.has_value(), expected.has_value());
        if (expected) {
            QVERIFY2(qFuzzyCompare(1 + cost->low, 1 + expected->low),
                     qPrintable(QString::number(cost->low)));
            QVERIFY2(qFuzzyCompare(1 + cost->high, 1 + expected->high),
                     qPrintable(QString::number(cost->high)));
        }
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

    void storeDestroyedWhileAPriceLoads()
    {
        TestEnvironment env;
        PageServer server;
        server.setPage("/acme/priced", {200, page("image-range.html")});
        env.mutableEnvironment().webBase = server.baseUrl();
        {
            AppStore store(env.environment());
            store.loadPrice(QStringLiteral("acme/priced"));
            QVERIFY(!store.pricesInFlight().isEmpty());
        }
        // The load must end without a store to write to and without touching freed memory
        // (the sanitizer build checks the latter).
        QTest::qWait(100);
    }

    void storeEstimateLeavesLoadingAndUnreadyModelsOut()
    {
        TestEnvironment env;
        PageServer server;
        const QString slug = ModelCatalog::upscale().constFirst().slug();
        server.setPage(QByteArray("/") + slug.toUtf8(), {200, page("per-pixel.html")});
        env.mutableEnvironment().webBase = server.baseUrl();
        AppStore store(env.environment());
        QCOMPARE(store.estimatedCost(), std::nullopt);

        auto job = std::make_shared<ImageJob>(
            JobInput::file(QUrl::fromLocalFile(env.path(QStringLiteral("a.jpg")))));
        job->setPixelSize(QSizeF(1000, 1000));
        job->setVariants({std::make_shared<ModelVariant>(slug, slug)});
        store.setJobs({job});
        QCOMPARE(store.pendingPairs().size(), 1);

        store.loadPrice(slug);
        QCOMPARE(store.estimatedCost(), std::nullopt);
        QTRY_VERIFY(store.prices().contains(slug));
        // Priced, but without a ready schema the pair has no cost yet.
        QCOMPARE(store.plannedCost(slug, *job), std::nullopt);
        QCOMPARE(store.estimatedCost(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(CostEstimateTest)
#include "tst_costestimate.moc"
