#include "AppStoreProbe.h"
#include "Models/AppError.h"
#include "Models/ModelCatalog.h"
#include "RunTask.h"
#include "SchemaRecords.h"
#include "Services/AppStore.h"
#include "Services/DataUri.h"
#include "Services/VariantPipeline.h"
#include "StandInStore.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

// One variant through the service: poll schedule, judging, outputs, files and cost.
class VariantPipelineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void pollDelaysGrowToFiveSeconds();
    void blankErrorGetsTheGenericText();
    void videoCostFollowsTheDurationSent_data();
    void videoCostFollowsTheDurationSent();
    void resumedVideoIsPricedByTheDurationSent_data();
    void resumedVideoIsPricedByTheDurationSent();

    void promptJobWithoutImageKeySkipsUploading();
    void twoFileModelSendsNothing_data();
    void twoFileModelSendsNothing();
    void fourOutputsAreFourFilesAndFourTimesThePrice();
    void missingSecondOutputKeepsTheFirstFile();
    void interruptedDownloadLeavesNoFile();
    void predictionErrorsEndTheVariant_data();
    void predictionErrorsEndTheVariant();
    void failureIsChargedOnlyForRunTime_data();
    void failureIsChargedOnlyForRunTime();
    void inlineOutputsAreSaved_data();
    void inlineOutputsAreSaved();
    void choicesGoOutInTheirDeclaredType_data();
    void choicesGoOutInTheirDeclaredType();

private:
    ModelSchema fetchSchema(const QString &owner, const QString &name);
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_service.apiBase(),
                               m_standIn.environment().clock(), u"r8_sim"_s);
    }
    // Runs one prompt job of flux-schnell with `extra` inputs; the result files go to m_out.
    std::pair<ImageJobPtr, ModelVariantPtr> runPrompt(const QString &prompt,
                                                      const QJsonObject &extra,
                                                      std::optional<ModelPrice> price = {});
    QStringList filesIn(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    StandInStore m_standIn{{.predictSeconds = 0.05}};
    StandInService &m_service = m_standIn.service();
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<AppStore> m_store;
    std::optional<ModelSchema> m_flux;
    QString m_out;
};

static CatalogModel flux()
{
    return CatalogModel{u"black-forest-labs"_s, u"flux-schnell"_s, u"Flux Schnell"_s, QString(),
                        false};
}

void VariantPipelineTest::initTestCase()
{
    QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    m_network = std::make_unique<QNetworkAccessManager>();
    ReplicateClient::configure(*m_network);
    m_flux = fetchSchema(u"black-forest-labs"_s, u"flux-schnell"_s);
    QVERIFY(m_flux.has_value());
}

void VariantPipelineTest::init()
{
    QVERIFY(m_standIn.reset());
    m_store = std::make_unique<AppStore>(m_standIn.environment().environment());
    // One folder per row, so no row sees another's files.
    m_out =
        m_standIn.environment().path(u"out-"_s + QString::fromLatin1(QTest::currentTestFunction()) +
                                     u'-' + QString::fromLatin1(QTest::currentDataTag()));
    QDir().mkpath(m_out);
}

ModelSchema VariantPipelineTest::fetchSchema(const QString &owner, const QString &name)
{
    const auto record = runTask(client().fetchModel(owner, name));
    if (!record.value)
        qWarning("schema fetch failed: %s", qPrintable(record.message()));
    return ModelSchema::parse(record.value.value_or(QJsonObject()));
}

std::pair<ImageJobPtr, ModelVariantPtr>
VariantPipelineTest::runPrompt(const QString &prompt, const QJsonObject &extra,
                               std::optional<ModelPrice> price)
{
    auto job = std::make_shared<ImageJob>(JobInput::prompt(prompt));
    auto variant = std::make_shared<ModelVariant>(flux().slug(), flux().title);
    job->setVariants({variant});
    OutputPlan plan = OutputPlan::make(Mode::image, m_out, QString(), std::nullopt);
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{flux(), *m_flux, extra, price}, false, plan));
    return {job, variant};
}

void VariantPipelineTest::pollDelaysGrowToFiveSeconds()
{
    QList<double> delays;
    double delay = VariantPipeline::firstPollDelay;
    for (int i = 0; i < 11; ++i) {
        delays.append(delay);
        delay = VariantPipeline::nextPollDelay(delay);
    }
    const QList<double> expected{1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5, 5.0, 5.0, 5.0};
    QCOMPARE(delays, expected);
}

// The other failure texts are checked as the service sends them, in predictionErrorsEndTheVariant.
void VariantPipelineTest::blankErrorGetsTheGenericText()
{
    ReplicateClient::Prediction prediction;
    prediction.status = u"failed"_s;
    prediction.error = u" \n\t"_s;
    QCOMPARE(VariantPipeline::failureText(prediction), u"Prediction failed."_s);
}

void VariantPipelineTest::videoCostFollowsTheDurationSent_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<std::optional<double>>("cost");
    QTest::newRow("sent") << QJsonObject{{u"duration"_s, 8}} << std::optional<double>(0.8);
    QTest::newRow("schema default") << QJsonObject() << std::optional<double>(0.5);
}

void VariantPipelineTest::videoCostFollowsTheDurationSent()
{
    // The charge rules themselves are the price's; what the pipeline adds is the quantity.
    QFETCH(QJsonObject, input);
    QFETCH(std::optional<double>, cost);
    const ModelSchema schema =
        SchemaRecords::schema(R"({"duration":{"type":"integer","default":5}})");
    ModelPrice price;
    price.unit = PriceUnit::videoSecond;
    price.low = price.high = 0.1;
    const auto actual = VariantPipeline::cost(price, schema, input, 1, {}, {});
    QVERIFY(actual.has_value());
    QVERIFY2(qAbs(actual->low - *cost) < 1e-9, qPrintable(QString::number(actual->low)));
    QVERIFY(!VariantPipeline::cost(std::nullopt, schema, input, 1, {}, {}));
}

void VariantPipelineTest::resumedVideoIsPricedByTheDurationSent_data()
{
    QTest::addColumn<int>("duration");
    QTest::addColumn<double>("cost");
    QTest::newRow("eight seconds") << 8 << 0.8;
    QTest::newRow("three seconds") << 3 << 0.3;
}

void VariantPipelineTest::resumedVideoIsPricedByTheDurationSent()
{
    // After a restart the create's input comes from the journal, not from the job.
    QFETCH(int, duration);
    QFETCH(double, cost);
    const auto created = m_service.call(
        "POST", u"/v1/models/%1/predictions"_s.arg(flux().slug()),
        QJsonDocument(QJsonObject{{u"input"_s, QJsonObject{{u"prompt"_s, u"A tide"_s}}}}).toJson(),
        {{"Authorization", "Bearer r8_sim"}, {"Content-Type", "application/json"}});
    QVERIFY(created);
    const QString id = created->object().value(u"id"_s).toString();
    auto job = std::make_shared<ImageJob>(JobInput::prompt(u"A tide"_s));
    auto variant = std::make_shared<ModelVariant>(flux().slug(), flux().title);
    job->setVariants({variant});
    ModelPrice price;
    price.unit = PriceUnit::videoSecond;
    price.low = price.high = 0.1;
    const ModelSchema schema =
        SchemaRecords::schema(R"({"duration":{"type":"integer","default":5}})");
    VariantPipeline::Setup setup{job,
                                 variant,
                                 client(),
                                 ModelPlan{flux(), schema, {}, price},
                                 false,
                                 OutputPlan::make(Mode::image, m_out, QString(), std::nullopt),
                                 m_standIn.environment().clock(),
                                 {},
                                 {},
                                 {},
                                 {},
                                 {}};
    auto pipeline = std::make_shared<VariantPipeline>(std::move(setup));
    runTask(pipeline->resume(id, {{u"prompt"_s, u"A tide"_s}, {u"duration"_s, duration}}));
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    QVERIFY(variant->cost().has_value());
    QVERIFY2(qAbs(variant->cost()->low - cost) < 1e-9,
             qPrintable(QString::number(variant->cost()->low)));
}

void VariantPipelineTest::promptJobWithoutImageKeySkipsUploading()
{
    QList<RunStatus::Kind> seen;
    auto job = std::make_shared<ImageJob>(JobInput::prompt(u"A quiet harbour"_s));
    auto variant = std::make_shared<ModelVariant>(flux().slug(), flux().title);
    connect(variant.get(), &ModelVariant::statusChanged, this,
            [&seen, variant] { seen.append(variant->status().kind()); });
    const OutputPlan plan = OutputPlan::make(Mode::image, m_out, QString(), std::nullopt);
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{flux(), *m_flux, {}, {}}, false, plan));

    const QList<RunStatus::Kind> expected{RunStatus::Kind::preparing, RunStatus::Kind::running,
                                          RunStatus::Kind::downloading, RunStatus::Kind::done};
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    QCOMPARE(seen, expected);
    QVERIFY(m_service.requests(u"/v1/files"_s).isEmpty());
    // The service answered within the create call: nothing was polled.
    QVERIFY(m_service.requests(u"/v1/predictions/"_s).isEmpty());
    QVERIFY2(variant->resultExists(),
             qPrintable(variant->resultURL().toString() + u" " + filesIn(m_out).join(u',')));
    QVERIFY(variant->elapsed().has_value());
    QVERIFY(!variant->predictionCancelURL());
    QVERIFY(variant->resultPixelSize().has_value());
    // A prompt job takes its preview from the result.
    QVERIFY(!job->thumbnail().isNull());
    QVERIFY(qMax(job->thumbnail().width(), job->thumbnail().height()) <= 128);
}

void VariantPipelineTest::twoFileModelSendsNothing_data()
{
    QTest::addColumn<bool>("promptJob");
    QTest::newRow("file job") << false;
    QTest::newRow("prompt job with a reference") << true;
}

// An inpainting model needs its mask as well: the service would refuse the prediction only
// after the upload, so nothing may go out at all.
void VariantPipelineTest::twoFileModelSendsNothing()
{
    QFETCH(bool, promptJob);
    const QByteArray uri = R"({"type":"string","format":"uri"})";
    const ModelSchema schema = SchemaRecords::schema(R"({"image":)" + uri + R"(,"mask":)" + uri +
                                                         R"(,"prompt":{"type":"string"}})",
                                                     R"(["image","mask"])");
    const QUrl picture = QUrl::fromLocalFile(m_standIn.environment().path(u"in.png"_s));
    QImage(8, 8, QImage::Format_RGB32).save(picture.toLocalFile());
    auto job = std::make_shared<ImageJob>(promptJob ? JobInput::prompt(u"a door"_s, {picture})
                                                    : JobInput::file(picture));
    auto variant = std::make_shared<ModelVariant>(flux().slug(), flux().title);
    job->setVariants({variant});
    const OutputPlan plan = OutputPlan::make(Mode::image, m_out, QString(), std::nullopt);
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{flux(), schema, {}, {}}, false, plan));

    QCOMPARE(variant->status(),
             RunStatus::failed("This model needs a second image (mask), which Moonforge can't "
                               "send yet."));
    QVERIFY(m_service.requests(u"/v1/files"_s).isEmpty());
    QVERIFY(m_service.requests(u"/v1/predictions"_s).isEmpty());
}

void VariantPipelineTest::fourOutputsAreFourFilesAndFourTimesThePrice()
{
    ModelPrice price;
    price.unit = PriceUnit::image;
    price.low = price.high = 0.003;
    const auto [job, variant] = runPrompt(u"Four lanterns"_s, {{u"num_outputs"_s, 4}}, price);
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    const QStringList files = filesIn(m_out);
    QCOMPARE(files.size(), 4);
    for (int i = 1; i <= 4; ++i)
        QVERIFY2(files.contains(u"Four-lanterns-%1.png"_s.arg(i)), qPrintable(files.join(u',')));
    QCOMPARE(variant->resultURL().fileName(), u"Four-lanterns-1.png"_s);
    QVERIFY(variant->cost().has_value());
    QVERIFY(qAbs(variant->cost()->low - 0.012) < 1e-12);
}

void VariantPipelineTest::missingSecondOutputKeepsTheFirstFile()
{
    QVERIFY(m_service.addFault(QJsonObject{
        {u"method"_s, u"GET"_s}, {u"path"_s, u"/delivery/*/out-1.*"_s}, {u"status"_s, 404}}));
    const auto [job, variant] = runPrompt(u"Two boats"_s, {{u"num_outputs"_s, 2}});
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QCOMPARE(variant->status().message(), AppError::api(404, u"Simulated error"_s).message());
    QCOMPARE(filesIn(m_out), QStringList{u"Two-boats-1.png"_s});
    QVERIFY(variant->resultURL().isEmpty());
}

void VariantPipelineTest::interruptedDownloadLeavesNoFile()
{
    QVERIFY(m_service.addFault(QJsonObject{
        {u"method"_s, u"GET"_s}, {u"path"_s, u"/delivery/*"_s}, {u"action"_s, u"drop-body"_s}}));
    const auto [job, variant] = runPrompt(u"Half a picture"_s, {});
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QVERIFY(!variant->status().message().isEmpty());
    // Neither a truncated result nor its hidden part file remains.
    QCOMPARE(filesIn(m_out), QStringList());
}

void VariantPipelineTest::predictionErrorsEndTheVariant_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("text");
    const auto creation = [](const QString &action) {
        return QJsonObject{{u"method"_s, u"POST"_s},
                           // Either route of prediction creation.
                           {u"path"_s, u"/v1/*predictions"_s},
                           {u"action"_s, action}};
    };
    QJsonObject failing = creation(u"fail"_s);
    failing.insert(u"error"_s, u"  NSFW content detected\n"_s);
    QTest::newRow("failed, trimmed") << failing << u"NSFW content detected"_s;
    QTest::newRow("canceled") << creation(u"cancel"_s) << u"Prediction canceled."_s;
    QTest::newRow("null output") << creation(u"null-output"_s)
                                 << u"The model finished but returned no file."_s;
    QTest::newRow("aborted") << creation(u"abort"_s)
                             << QStringLiteral("Replicate aborted this prediction before it "
                                               "started. Nothing was charged.");
}

void VariantPipelineTest::predictionErrorsEndTheVariant()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, text);
    QVERIFY(m_service.addFault(fault));
    const auto [job, variant] = runPrompt(u"Anything"_s, {});
    QCOMPARE(variant->status().message(), text);
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QVERIFY(!variant->predictionCancelURL());
    QVERIFY(!variant->elapsed());
    QCOMPARE(filesIn(m_out), QStringList());
}

void VariantPipelineTest::failureIsChargedOnlyForRunTime_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<ModelPrice>("price");
    QTest::addColumn<std::optional<double>>("cost");
    const ModelPrice perSecond{PriceUnit::computeSecond, 0.001, 0.002, 0.0023, {}};
    const ModelPrice perImage{PriceUnit::image, 0.003, 0.003, {}, {}};
    // The service ran it for 0.05 s before it failed.
    QTest::newRow("per second, failed") << u"fail"_s << perSecond << std::optional(0.05 * 0.002);
    QTest::newRow("per image, failed") << u"fail"_s << perImage << std::optional<double>();
    QTest::newRow("per second, aborted before it ran")
        << u"abort"_s << perSecond << std::optional<double>();
}

void VariantPipelineTest::failureIsChargedOnlyForRunTime()
{
    QFETCH(QString, action);
    QFETCH(ModelPrice, price);
    QFETCH(std::optional<double>, cost);
    QVERIFY(m_service.addFault(QJsonObject{
        {u"method"_s, u"POST"_s}, {u"path"_s, u"/v1/*predictions"_s}, {u"action"_s, action}}));
    const auto [job, variant] = runPrompt(u"Anything"_s, {}, price);
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QCOMPARE(variant->cost().has_value(), cost.has_value());
    if (cost)
        QVERIFY2(qAbs(variant->cost()->high - *cost) < 1e-12,
                 qPrintable(QString::number(variant->cost()->high)));
}

void VariantPipelineTest::inlineOutputsAreSaved_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QJsonObject>("extra");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("failure");
    const QJsonObject inlined{{u"method"_s, u"POST"_s},
                              {u"path"_s, u"/v1/*predictions"_s},
                              {u"action"_s, u"data-output"_s}};
    // Once "The model finished but returned no file.", and the paid result lost.
    QTest::newRow("two pngs") << inlined << QJsonObject{{u"num_outputs"_s, 2}}
                              << QStringList{u"Inline-1.png"_s, u"Inline-2.png"_s} << QString();
    QTest::newRow("jpeg") << inlined << QJsonObject{{u"output_format"_s, u"jpg"_s}}
                          << QStringList{u"Inline.jpg"_s} << QString();
    QJsonObject broken = inlined;
    broken.insert(u"action"_s, u"status"_s);
    broken.insert(u"status"_s, 201);
    broken.insert(u"body"_s,
                  uR"({"id":"p1","status":"succeeded","output":["data:image/png;base64,@@"]})"_s);
    QTest::newRow("malformed") << broken << QJsonObject() << QStringList()
                               << DataUri::malformedText();
}

void VariantPipelineTest::inlineOutputsAreSaved()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QJsonObject, extra);
    QFETCH(QStringList, files);
    QFETCH(QString, failure);
    QVERIFY(m_service.addFault(fault));
    const auto [job, variant] = runPrompt(u"Inline"_s, extra);
    QCOMPARE(variant->status().message(), failure);
    if (failure.isEmpty()) {
        QCOMPARE(variant->status(), RunStatus::done());
        QCOMPARE(variant->resultURL().fileName(), files.first());
        QVERIFY(variant->resultPixelSize().has_value());
    }
    // The files are the real pictures; malformed data leaves nothing, not even a part file.
    QCOMPARE(filesIn(m_out), files);
    for (const QString &file : files)
        QVERIFY(!QImage(m_out + u'/' + file).isNull());
}

void VariantPipelineTest::choicesGoOutInTheirDeclaredType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QJsonValue>("sent");
    // Once sent as the number 0.25, which the service refuses for a string enum.
    QTest::newRow("string enum of numbers")
        << u"flux-schnell"_s << u"megapixels"_s << u"0.25"_s << QJsonValue(u"0.25"_s);
    QTest::newRow("referenced string enum")
        << u"numeric-enums"_s << u"megapixels"_s << u"2.5"_s << QJsonValue(u"2.5"_s);
    QTest::newRow("integer enum") << u"numeric-enums"_s << u"steps"_s << u"16"_s << QJsonValue(16);
}

void VariantPipelineTest::choicesGoOutInTheirDeclaredType()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QString, choice);
    QFETCH(QJsonValue, sent);
    const CatalogModel model{name == QLatin1String("flux-schnell") ? u"black-forest-labs"_s
                                                                   : u"sim-parser"_s,
                             name, name, QString(), false};
    const ModelSchema schema = fetchSchema(model.owner, model.name);
    ParamOverrides overrides;
    overrides.insert(key, ParamValue::string(choice));
    const QJsonObject extra = schema.requestInputs(model.slug(), {{model.slug(), overrides}});
    auto job = std::make_shared<ImageJob>(JobInput::prompt(u"Choice"_s));
    auto variant = std::make_shared<ModelVariant>(model.slug(), model.title);
    job->setVariants({variant});
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{model, schema, extra, {}}, false,
                                   OutputPlan::make(Mode::image, m_out, QString(), std::nullopt)));
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    const QJsonArray requests = m_service.requests(u"/v1/"_s);
    const auto create = std::find_if(requests.begin(), requests.end(), [](const QJsonValue &r) {
        return r[u"method"_s] == u"POST"_s;
    });
    QVERIFY(create != requests.end());
    const QJsonObject body =
        QJsonDocument::fromJson((*create)[u"body"_s].toString().toUtf8()).object();
    const QJsonValue value = body[u"input"_s][key];
    QCOMPARE(value, sent);
    QCOMPARE(value.toVariant().typeId(), sent.toVariant().typeId());
}

QTEST_MAIN(VariantPipelineTest)
#include "tst_pipeline.moc"
