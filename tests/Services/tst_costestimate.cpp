#include "AppStoreProbe.h"
#include "SchemaRecords.h"
#include "StandInStore.h"

#include "Models/ModelCatalog.h"
#include "Services/CostPlanner.h"

#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<CostRange>)
Q_DECLARE_METATYPE(std::optional<QSizeF>)
Q_DECLARE_METATYPE(std::optional<double>)

namespace
{

using Type = SchemaParam::Kind::Type;
using OptionalRange = std::optional<CostRange>;

using SchemaRecords::param;

ModelSchema schemaWith(const QList<SchemaParam> &params)
{
    ModelSchema schema;
    schema.params = params;
    return schema;
}

OptionalRange range(double low, double high)
{
    return CostRange{low, high};
}
OptionalRange range(double both)
{
    return CostRange{both, both};
}

bool near(const OptionalRange &a, const OptionalRange &b)
{
    if (!a || !b)
        return a.has_value() == b.has_value();
    return qFuzzyCompare(1 + a->low, 1 + b->low) && qFuzzyCompare(1 + a->high, 1 + b->high);
}

const ModelPrice perImage{PriceUnit::image, 0.03, 0.05, {}, {}};
const ModelPrice perVideoSecond{PriceUnit::videoSecond, 0.12, 0.12, {}, {}};
const ModelPrice perMegapixel{PriceUnit::outputMegapixel, 0.01, 0.01, {}, {}};
const ModelPrice perSecond{PriceUnit::computeSecond, 0.001, 0.001, 0.0023, {}};
const ModelPrice tiered{
    PriceUnit::megapixelStep, 0.05, 0.40, {}, {{4, 0.05}, {9, 0.10}, {16, 0.20}}};
const QSizeF megapixel(1000, 1000);

} // namespace

class CostEstimateTest : public QObject
{
    Q_OBJECT

    StandInStore m_standIn;
    StandInService &m_service = m_standIn.service();
    TestEnvironment &env() { return m_standIn.environment(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString())); }
    void init() { QVERIFY(m_standIn.reset()); }

    void pairCost_data()
    {
        QTest::addColumn<ModelPrice>("price");
        QTest::addColumn<ModelSchema>("schema");
        QTest::addColumn<std::optional<ParamValue>>("override");
        QTest::addColumn<std::optional<double>>("scale");
        QTest::addColumn<std::optional<QSizeF>>("pixels");
        QTest::addColumn<OptionalRange>("expected");
        const ModelSchema counted =
            schemaWith({param("prompt", Type::text),
                        param("Num_Outputs", Type::integer, ParamValue::integer(2))});
        const ModelSchema video =
            schemaWith({param("duration", Type::choice, ParamValue::string(u"5"_s))});
        const ModelSchema plain = schemaWith({param("prompt", Type::text)});
        const auto row = [](const char *name, const ModelPrice &price, const ModelSchema &schema,
                            std::optional<ParamValue> override, std::optional<double> scale,
                            std::optional<QSizeF> pixels, OptionalRange expected) {
            QTest::newRow(name) << price << schema << override << scale << pixels << expected;
        };
        const auto noTypical = ModelPrice{PriceUnit::computeSecond, 0.001, 0.001, {}, {}};
        const QSizeF twentyMegapixels(1250, 1000);
        row("per image, 4", perImage, counted, ParamValue::integer(4), {}, {}, range(0.12, 0.2));
        row("per image, default 2", perImage, counted, {}, {}, {}, range(0.06, 0.1));
        row("per image, no count parameter", perImage, plain, {}, {}, {}, range(0.03, 0.05));
        row("per image, text count reads the default", perImage, counted,
            ParamValue::string(u"many"_s), {}, {}, range(0.06, 0.1));
        // A negative count is taken as none: the estimate never goes below nothing.
        row("per image, -1", perImage, counted, ParamValue::integer(-1), {}, {}, range(0));
        row("video, default 5 s", perVideoSecond, video, {}, {}, {}, range(0.6));
        row("video, 10 s", perVideoSecond, video, ParamValue::number(10), {}, {}, range(1.2));
        row("video without duration", perVideoSecond, plain, {}, {}, {}, {});
        row("per second, typical run", perSecond, plain, {}, {}, megapixel, range(0.0023));
        row("per second, no typical run", noTypical, plain, {}, {}, megapixel, {});
        row("tiered, 16 MP", tiered, plain, {}, 4.0, megapixel, range(0.2));
        row("tiered, 20 MP beyond every tier", tiered, plain, {}, 4.0, twentyMegapixels,
            range(0.2));
        row("tiered, no scale", tiered, plain, {}, {}, megapixel, range(0.05));
        row("per megapixel, 2x", perMegapixel, plain, {}, 2.0, megapixel, range(0.04));
        row("prompt job, per megapixel", perMegapixel, plain, {}, 4.0, {}, {});
        row("prompt job, tiered", tiered, plain, {}, {}, {}, {});
    }
    void pairCost()
    {
        QFETCH(ModelPrice, price);
        QFETCH(ModelSchema, schema);
        QFETCH(std::optional<ParamValue>, override);
        QFETCH(std::optional<double>, scale);
        QFETCH(std::optional<QSizeF>, pixels);
        QFETCH(OptionalRange, expected);
        const QString slug = u"acme/model"_s;
        QMap<QString, ParamOverrides> overrides;
        if (override)
            overrides[slug].insert(schema.params.constLast().key, *override);
        const QJsonObject inputs = schema.requestInputs(slug, overrides);
        QVERIFY(near(CostPlanner::pairCost(price, schema, inputs, scale, pixels), expected));
    }

    void charge_data()
    {
        QTest::addColumn<ModelPrice>("price");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<std::optional<QSizeF>>("pixels");
        QTest::addColumn<std::optional<double>>("seconds");
        QTest::addColumn<OptionalRange>("expected");
        const auto row = [](const char *name, const ModelPrice &price, int outputs,
                            std::optional<QSizeF> pixels, std::optional<double> seconds,
                            OptionalRange expected) {
            QTest::newRow(name) << price << outputs << pixels << seconds << expected;
        };
        row("4 images", perImage, 4, {}, {}, range(0.12, 0.2));
        row("-1 images", perImage, -1, {}, {}, range(0));
        row("2 outputs of 2048 square", perMegapixel, 2, QSizeF(2048, 2048), {}, range(0.08388608));
        row("per megapixel, no size", perMegapixel, 1, {}, {}, {});
        row("3 outputs of a 9 MP tier", tiered, 3, QSizeF(3000, 3000), {}, range(0.3));
        row("6 s of video", perVideoSecond, 1, {}, 6.0, range(0.72));
        row("video, no length", perVideoSecond, 1, {}, {}, {});
        // A finished run is charged by its own time, not the typical one.
        row("12.5 s run", perSecond, 1, {}, 12.5, range(0.0125));
    }
    void charge()
    {
        QFETCH(ModelPrice, price);
        QFETCH(int, outputs);
        QFETCH(std::optional<QSizeF>, pixels);
        QFETCH(std::optional<double>, seconds);
        QFETCH(OptionalRange, expected);
        const bool video = price.unit == PriceUnit::videoSecond;
        const std::optional<double> none;
        QVERIFY(
            near(price.charge({outputs, pixels, video ? seconds : none, video ? none : seconds}),
                 expected));
    }

    void loadPriceReadsOncePerRun()
    {
        const QString priced = u"topazlabs/image-upscale"_s;
        const QString unpriced = u"orvane/codeformer"_s;
        AppStore store(env().environment());
        store.directory().loadPrice(priced);
        store.directory().loadPrice(unpriced);
        QCOMPARE(store.directory().pricesInFlight(), (QSet<QString>{priced, unpriced}));
        QCOMPARE(store.directory().priceLoads(), (QSet<QString>{priced, unpriced}));
        QTRY_VERIFY(store.directory().pricesInFlight().isEmpty());
        QCOMPARE(store.directory().prices().value(priced).unit, PriceUnit::megapixelStep);
        QVERIFY(!store.directory().prices().contains(unpriced));

        // A second load in the same run does nothing, even after a failure.
        store.directory().loadPrice(unpriced);
        store.directory().loadPrice(priced);
        QVERIFY(store.directory().pricesInFlight().isEmpty());
        QCOMPARE(m_service.requests("/orvane/").size(), 1);

        // The next run reads the priced model from the cache and tries the other page again.
        AppStore nextRun(env().environment());
        nextRun.directory().loadPrice(priced);
        nextRun.directory().loadPrice(unpriced);
        QTRY_VERIFY(nextRun.directory().pricesInFlight().isEmpty());
        QVERIFY(nextRun.directory().prices().contains(priced));
        QCOMPARE(m_service.requests("/topazlabs/").size(), 1);
        QCOMPARE(m_service.requests("/orvane/").size(), 2);
    }

    void storeGoingAwayCancelsPageReads()
    {
        TaskHandle loads;
        {
            AppStore store(env().environment());
            loads = AppStoreProbe::priceLoads(store);
            store.directory().loadPrice("acme/slow");
            QVERIFY(!loads.isCancelled());
        }
        QVERIFY(loads.isCancelled());
    }

    void estimateLeavesLoadingPricesOut()
    {
        const CatalogModel slow = ModelCatalog::upscale().at(1);
        QVERIFY(m_service.addFault(QJsonObject{{u"path"_s, QString(QLatin1Char('/') + slow.slug())},
                                               {u"action"_s, u"delay"_s},
                                               {u"delayMs"_s, 60000}}));
        const QString tieredSlug = ModelCatalog::upscale().at(0).slug();
        AppStore store(env().environment());
        auto job =
            std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(env().path("a.jpg"))));
        job->setPixelSize(QSizeF(1000, 1000));
        store.setJobs({job});
        store.toggle(slow);
        QCOMPARE(store.pendingPairs().size(), 2);
        store.directory().loadPrice(tieredSlug);
        store.directory().loadPrice(slow.slug());
        QTRY_VERIFY(store.directory().prices().contains(tieredSlug));
        // Priced, but without a ready schema the pair has no cost yet.
        QCOMPARE(store.estimatedCost(), std::nullopt);

        const auto scaled = SchemaState::ready(
            schemaWith({param("scale", Type::choice, ParamValue::string(u"4x"_s))}));
        AppStoreProbe::setSchemaState(store, tieredSlug, scaled);
        AppStoreProbe::setSchemaState(store, slow.slug(), scaled);
        // 1000 × 1000 at 4x is 16 megapixels: the 16-megapixel tier; the other price still loads.
        QCOMPARE(store.plannedCost(tieredSlug, *job), (CostRange{0.2, 0.2}));
        QVERIFY(store.directory().pricesInFlight().contains(slow.slug()));
        QCOMPARE(store.estimatedCost(), (CostEstimate{0.2, 0.2, false}));
        QCOMPARE(CostPlanner::estimateLabel(*store.estimatedCost()), u"Around $0.20"_s);
        QCOMPARE(CostPlanner::estimateHelp(*store.estimatedCost()),
                 QStringLiteral("Replicate's list price for what's queued. The exact charge "
                                "appears on each result."));
    }

    void estimateFlagsUnpricedVideoOnceItsLoadEnds()
    {
        const QString timed = ModelCatalog::video().at(0).slug();
        const CatalogModel untimed = ModelCatalog::video().at(1);
        AppStore store(env().environment());
        store.setMode(Mode::video);
        store.toggle(untimed);
        store.addPromptJob("a fox", {});
        QCOMPARE(store.pendingPairs().size(), 2);
        const SchemaParam prompt = param("prompt", Type::text);
        AppStoreProbe::setSchemaState(
            store, timed,
            SchemaState::ready(
                schemaWith({prompt, param("duration", Type::integer, ParamValue::integer(5))})));
        AppStoreProbe::setSchemaState(store, untimed.slug(),
                                      SchemaState::ready(schemaWith({prompt})));

        // Selecting the models already started their schema and price loads.
        store.directory().loadPrice(timed);
        store.directory().loadPrice(untimed.slug());
        QTRY_VERIFY(store.directory().prices().contains(timed));
        QTRY_VERIFY(store.directory().pricesInFlight().isEmpty());
        // Priced per second of video, but without a duration parameter its length is unknown.
        QVERIFY(store.directory().prices().contains(untimed.slug()));
        QCOMPARE(store.estimatedCost(), (CostEstimate{2.5, 3.75, true}));
        QCOMPARE(CostPlanner::estimateLabel(*store.estimatedCost()),
                 u"Around $2.50\u2013$3.75 plus unpriced models"_s);
        QCOMPARE(CostPlanner::estimateHelp(*store.estimatedCost()),
                 QStringLiteral("Some selected models don't publish a price this app can work "
                                "out, so the real total is higher."));
    }
};

QTEST_GUILESS_MAIN(CostEstimateTest)
#include "tst_costestimate.moc"
