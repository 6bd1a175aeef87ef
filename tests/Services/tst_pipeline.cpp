#include "AppStoreProbe.h"
#include "Models/AppError.h"
#include "Models/ModelCatalog.h"
#include "RunTask.h"
#include "Services/AppStore.h"
#include "Services/DataUri.h"
#include "Services/VariantPipeline.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QtTest>

// One variant through the service: poll schedule, judging, outputs, files and cost.
class VariantPipelineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void pollDelaysGrowToFiveSeconds();
    void failureTexts_data();
    void failureTexts();
    void videoCostFollowsTheDurationSent_data();
    void videoCostFollowsTheDurationSent();

    void promptJobWithoutImageKeySkipsUploading();
    void twoFileModelSendsNothing_data();
    void twoFileModelSendsNothing();
    void fourOutputsAreFourFilesAndFourTimesThePrice();
    void missingSecondOutputKeepsTheFirstFile();
    void interruptedDownloadLeavesNoFile();
    void predictionErrorsEndTheVariant_data();
    void predictionErrorsEndTheVariant();
    void inlineOutputsAreSaved_data();
    void inlineOutputsAreSaved();
    void choicesGoOutInTheirDeclaredType_data();
    void choicesGoOutInTheirDeclaredType();

private:
    ModelSchema fetchSchema(const QString &owner, const QString &name);
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_service->apiBase(), m_environment->clock(),
                               QStringLiteral("r8_sim"));
    }
    // Runs one prompt job of flux-schnell with `extra` inputs; the result files go to m_out.
    std::pair<ImageJobPtr, ModelVariantPtr> runPrompt(const QString &prompt,
                                                      const QJsonObject &extra,
                                                      std::optional<ModelPrice> price = {});
    QStringList filesIn(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<AppStore> m_store;
    std::optional<ModelSchema> m_flux;
    QString m_out;
};

static CatalogModel flux()
{
    return CatalogModel{QStringLiteral("black-forest-labs"), QStringLiteral("flux-schnell"),
                        QStringLiteral("Flux Schnell"), QString(), false};
}

// A schema record with the given input properties, as the service publishes it.
static ModelSchema schemaWith(const QJsonObject &properties, const QStringList &required = {})
{
    const QJsonObject input{{QStringLiteral("type"), QStringLiteral("object")},
                            {QStringLiteral("required"), QJsonArray::fromStringList(required)},
                            {QStringLiteral("properties"), properties}};
    const QJsonObject schemas{{QStringLiteral("Input"), input},
                              {QStringLiteral("Output"),
                               QJsonObject{{QStringLiteral("type"), QStringLiteral("string")}}}};
    const QJsonObject version{{QStringLiteral("id"), QStringLiteral("v1")},
                              {QStringLiteral("openapi_schema"),
                               QJsonObject{{QStringLiteral("components"),
                                            QJsonObject{{QStringLiteral("schemas"), schemas}}}}}};
    return ModelSchema::parse(QJsonObject{{QStringLiteral("latest_version"), version}});
}

void VariantPipelineTest::initTestCase()
{
    StandInService::Options options;
    options.predictSeconds = 0.05;
    m_service = std::make_unique<StandInService>(options);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_network = std::make_unique<QNetworkAccessManager>();
    ReplicateClient::configure(*m_network);
    m_environment = std::make_unique<TestEnvironment>();
    m_flux = fetchSchema(QStringLiteral("black-forest-labs"), QStringLiteral("flux-schnell"));
    QVERIFY(m_flux.has_value());
}

void VariantPipelineTest::init()
{
    QVERIFY(m_service->reset());
    m_store = std::make_unique<AppStore>(m_environment->environment());
    // One folder per row, so no row sees another's files.
    m_out = m_environment->path(QStringLiteral("out-") +
                                QString::fromLatin1(QTest::currentTestFunction()) + u'-' +
                                QString::fromLatin1(QTest::currentDataTag()));
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

void VariantPipelineTest::failureTexts_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<std::optional<QString>>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("trimmed error")
        << QStringLiteral("failed")
        << std::optional<QString>(QStringLiteral("  CUDA out of memory\n"))
        << QStringLiteral("CUDA out of memory");
    QTest::newRow("canceled without error")
        << QStringLiteral("canceled") << std::optional<QString>()
        << QStringLiteral("Prediction canceled.");
    QTest::newRow("blank error") << QStringLiteral("failed")
                                 << std::optional<QString>(QStringLiteral(" \n\t"))
                                 << QStringLiteral("Prediction failed.");
    QTest::newRow("aborted before it started")
        << QStringLiteral("aborted") << std::optional<QString>()
        << QStringLiteral("Replicate aborted this prediction before it started. Nothing was "
                          "charged.");
}

void VariantPipelineTest::failureTexts()
{
    QFETCH(QString, status);
    QFETCH(std::optional<QString>, error);
    QFETCH(QString, text);
    ReplicateClient::Prediction prediction;
    prediction.status = status;
    prediction.error = error;
    QCOMPARE(VariantPipeline::failureText(prediction), text);
    QVERIFY(prediction.isTerminal());
}

void VariantPipelineTest::videoCostFollowsTheDurationSent_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<std::optional<double>>("cost");
    QTest::newRow("sent") << QJsonObject{{QStringLiteral("duration"), 8}}
                          << std::optional<double>(0.8);
    QTest::newRow("schema default") << QJsonObject() << std::optional<double>(0.5);
}

void VariantPipelineTest::videoCostFollowsTheDurationSent()
{
    // The charge rules themselves are the price's; what the pipeline adds is the quantity.
    QFETCH(QJsonObject, input);
    QFETCH(std::optional<double>, cost);
    const ModelSchema schema =
        schemaWith({{QStringLiteral("duration"),
                     QJsonObject{{QStringLiteral("type"), QStringLiteral("integer")},
                                 {QStringLiteral("default"), 5}}}});
    ModelPrice price;
    price.unit = PriceUnit::videoSecond;
    price.low = price.high = 0.1;
    const auto actual = VariantPipeline::cost(price, schema, input, 1, {}, {});
    QVERIFY(actual.has_value());
    QVERIFY2(qAbs(actual->low - *cost) < 1e-9, qPrintable(QString::number(actual->low)));
    QVERIFY(!VariantPipeline::cost(std::nullopt, schema, input, 1, {}, {}));
}

void VariantPipelineTest::promptJobWithoutImageKeySkipsUploading()
{
    QList<RunStatus::Kind> seen;
    auto job = std::make_shared<ImageJob>(JobInput::prompt(QStringLiteral("A quiet harbour")));
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
    QVERIFY(m_service->requests(QStringLiteral("/v1/files")).isEmpty());
    // The service answered within the create call: nothing was polled.
    QVERIFY(m_service->requests(QStringLiteral("/v1/predictions/")).isEmpty());
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
    const QJsonObject uri{{QStringLiteral("type"), QStringLiteral("string")},
                          {QStringLiteral("format"), QStringLiteral("uri")}};
    const QJsonObject text{{QStringLiteral("type"), QStringLiteral("string")}};
    const ModelSchema schema = schemaWith({{QStringLiteral("image"), uri},
                                           {QStringLiteral("mask"), uri},
                                           {QStringLiteral("prompt"), text}},
                                          {QStringLiteral("image"), QStringLiteral("mask")});
    const QUrl picture = QUrl::fromLocalFile(m_environment->path(QStringLiteral("in.png")));
    QImage(8, 8, QImage::Format_RGB32).save(picture.toLocalFile());
    auto job =
        std::make_shared<ImageJob>(promptJob ? JobInput::prompt(QStringLiteral("a door"), {picture})
                                             : JobInput::file(picture));
    auto variant = std::make_shared<ModelVariant>(flux().slug(), flux().title);
    job->setVariants({variant});
    const OutputPlan plan = OutputPlan::make(Mode::image, m_out, QString(), std::nullopt);
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{flux(), schema, {}, {}}, false, plan));

    QCOMPARE(variant->status(),
             RunStatus::failed("This model needs a second image (mask), which Moonforge can't "
                               "send yet."));
    QVERIFY(m_service->requests(QStringLiteral("/v1/files")).isEmpty());
    QVERIFY(m_service->requests(QStringLiteral("/v1/predictions")).isEmpty());
}

void VariantPipelineTest::fourOutputsAreFourFilesAndFourTimesThePrice()
{
    ModelPrice price;
    price.unit = PriceUnit::image;
    price.low = price.high = 0.003;
    const auto [job, variant] =
        runPrompt(QStringLiteral("Four lanterns"), {{QStringLiteral("num_outputs"), 4}}, price);
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    const QStringList files = filesIn(m_out);
    QCOMPARE(files.size(), 4);
    for (int i = 1; i <= 4; ++i)
        QVERIFY2(files.contains(QStringLiteral("Four-lanterns-%1.png").arg(i)),
                 qPrintable(files.join(u',')));
    QCOMPARE(variant->resultURL().fileName(), QStringLiteral("Four-lanterns-1.png"));
    QVERIFY(variant->cost().has_value());
    QVERIFY(qAbs(variant->cost()->low - 0.012) < 1e-12);
}

void VariantPipelineTest::missingSecondOutputKeepsTheFirstFile()
{
    QVERIFY(m_service->addFault(
        QJsonObject{{QStringLiteral("method"), QStringLiteral("GET")},
                    {QStringLiteral("path"), QStringLiteral("/delivery/*/out-1.*")},
                    {QStringLiteral("status"), 404}}));
    const auto [job, variant] =
        runPrompt(QStringLiteral("Two boats"), {{QStringLiteral("num_outputs"), 2}});
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QCOMPARE(variant->status().message(),
             AppError::api(404, QStringLiteral("Simulated error")).message());
    QCOMPARE(filesIn(m_out), QStringList{QStringLiteral("Two-boats-1.png")});
    QVERIFY(variant->resultURL().isEmpty());
}

void VariantPipelineTest::interruptedDownloadLeavesNoFile()
{
    QVERIFY(
        m_service->addFault(QJsonObject{{QStringLiteral("method"), QStringLiteral("GET")},
                                        {QStringLiteral("path"), QStringLiteral("/delivery/*")},
                                        {QStringLiteral("action"), QStringLiteral("drop-body")}}));
    const auto [job, variant] = runPrompt(QStringLiteral("Half a picture"), {});
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
        return QJsonObject{{QStringLiteral("method"), QStringLiteral("POST")},
                           // Either route of prediction creation.
                           {QStringLiteral("path"), QStringLiteral("/v1/*predictions")},
                           {QStringLiteral("action"), action}};
    };
    QJsonObject failing = creation(QStringLiteral("fail"));
    failing.insert(QStringLiteral("error"), QStringLiteral("  NSFW content detected\n"));
    QTest::newRow("failed, trimmed") << failing << QStringLiteral("NSFW content detected");
    QTest::newRow("canceled") << creation(QStringLiteral("cancel"))
                              << QStringLiteral("Prediction canceled.");
    QTest::newRow("null output") << creation(QStringLiteral("null-output"))
                                 << QStringLiteral("The model finished but returned no file.");
    QTest::newRow("aborted") << creation(QStringLiteral("abort"))
                             << QStringLiteral("Replicate aborted this prediction before it "
                                               "started. Nothing was charged.");
}

void VariantPipelineTest::predictionErrorsEndTheVariant()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, text);
    QVERIFY(m_service->addFault(fault));
    const auto [job, variant] = runPrompt(QStringLiteral("Anything"), {});
    QCOMPARE(variant->status().message(), text);
    QCOMPARE(variant->status().kind(), RunStatus::Kind::failed);
    QVERIFY(!variant->predictionCancelURL());
    QVERIFY(!variant->elapsed());
    QCOMPARE(filesIn(m_out), QStringList());
}

void VariantPipelineTest::inlineOutputsAreSaved_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QJsonObject>("extra");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("failure");
    const QJsonObject inlined{{QStringLiteral("method"), QStringLiteral("POST")},
                              {QStringLiteral("path"), QStringLiteral("/v1/*predictions")},
                              {QStringLiteral("action"), QStringLiteral("data-output")}};
    // Once "The model finished but returned no file.", and the paid result lost.
    QTest::newRow("two pngs") << inlined << QJsonObject{{QStringLiteral("num_outputs"), 2}}
                              << QStringList{QStringLiteral("Inline-1.png"),
                                             QStringLiteral("Inline-2.png")}
                              << QString();
    QTest::newRow("jpeg") << inlined
                          << QJsonObject{{QStringLiteral("output_format"), QStringLiteral("jpg")}}
                          << QStringList{QStringLiteral("Inline.jpg")} << QString();
    QJsonObject broken = inlined;
    broken.insert(QStringLiteral("action"), QStringLiteral("status"));
    broken.insert(QStringLiteral("status"), 201);
    broken.insert(QStringLiteral("body"),
                  QStringLiteral(
                      R"({"id":"p1","status":"succeeded","output":["data:image/png;base64,@@"]})"));
    QTest::newRow("malformed") << broken << QJsonObject() << QStringList()
                               << DataUri::malformedText();
}

void VariantPipelineTest::inlineOutputsAreSaved()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QJsonObject, extra);
    QFETCH(QStringList, files);
    QFETCH(QString, failure);
    QVERIFY(m_service->addFault(fault));
    const auto [job, variant] = runPrompt(QStringLiteral("Inline"), extra);
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
        << QStringLiteral("flux-schnell") << QStringLiteral("megapixels") << QStringLiteral("0.25")
        << QJsonValue(QStringLiteral("0.25"));
    QTest::newRow("referenced string enum")
        << QStringLiteral("numeric-enums") << QStringLiteral("megapixels") << QStringLiteral("2.5")
        << QJsonValue(QStringLiteral("2.5"));
    QTest::newRow("integer enum") << QStringLiteral("numeric-enums") << QStringLiteral("steps")
                                  << QStringLiteral("16") << QJsonValue(16);
}

void VariantPipelineTest::choicesGoOutInTheirDeclaredType()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(QString, choice);
    QFETCH(QJsonValue, sent);
    const CatalogModel model{name == QLatin1String("flux-schnell")
                                 ? QStringLiteral("black-forest-labs")
                                 : QStringLiteral("sim-parser"),
                             name, name, QString(), false};
    const ModelSchema schema = fetchSchema(model.owner, model.name);
    ParamOverrides overrides;
    overrides.insert(key, ParamValue::string(choice));
    const QJsonObject extra = schema.requestInputs(model.slug(), {{model.slug(), overrides}});
    auto job = std::make_shared<ImageJob>(JobInput::prompt(QStringLiteral("Choice")));
    auto variant = std::make_shared<ModelVariant>(model.slug(), model.title);
    job->setVariants({variant});
    runTask(AppStoreProbe::process(*m_store, job, variant, client(),
                                   ModelPlan{model, schema, extra, {}}, false,
                                   OutputPlan::make(Mode::image, m_out, QString(), std::nullopt)));
    QVERIFY2(variant->status() == RunStatus::done(), qPrintable(variant->status().message()));
    const QJsonArray requests = m_service->requests(QStringLiteral("/v1/"));
    const auto create = std::find_if(requests.begin(), requests.end(), [](const QJsonValue &r) {
        return r[QStringLiteral("method")] == QStringLiteral("POST");
    });
    QVERIFY(create != requests.end());
    const QJsonObject body =
        QJsonDocument::fromJson((*create)[QStringLiteral("body")].toString().toUtf8()).object();
    const QJsonValue value = body[QStringLiteral("input")][key];
    QCOMPARE(value, sent);
    QCOMPARE(value.toVariant().typeId(), sent.toVariant().typeId());
}

QTEST_MAIN(VariantPipelineTest)
#include "tst_pipeline.moc"
