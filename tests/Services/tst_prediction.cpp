#include "Models/AppError.h"
#include "Services/DataUri.h"
#include "Services/OutputPlacement.h"
#include "Services/ReplicateClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QtTest>

using Prediction = ReplicateClient::Prediction;

namespace
{

QJsonObject json(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

QJsonObject fixture(const char *name)
{
    QFile file(QStringLiteral(MOONFORGE_FIXTURES_DIR "/predictions/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

class PredictionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordedObjects();
    void fields_data();
    void fields();
    void outputURLs_data();
    void outputURLs();
    void inlineFiles_data();
    void inlineFiles();
};

void PredictionTest::recordedObjects()
{
    const Prediction starting = Prediction::fromJson(fixture("prediction_starting.json"));
    QCOMPARE(starting.id, QStringLiteral("vgcm4plb7tgzlyznry5d5jkgvu"));
    QCOMPARE(starting.status, QStringLiteral("starting"));
    QVERIFY(!starting.error);
    QVERIFY(!starting.predictTime);
    QVERIFY(starting.outputURLs().isEmpty());
    QCOMPARE(starting.cancelURL,
             std::optional(QStringLiteral(
                 "https://api.replicate.com/v1/predictions/vgcm4plb7tgzlyznry5d5jkgvu/cancel")));

    const Prediction done =
        Prediction::fromJson(fixture("prediction_succeeded_array-of-urls.json"));
    QCOMPARE(done.status, QStringLiteral("succeeded"));
    QCOMPARE(done.predictTime, std::optional(5.524512));
    QCOMPARE(done.outputURLs().size(), 1);
    QVERIFY(done.outputURLs().first().path().endsWith(QLatin1String("out-0.png")));
}

void PredictionTest::fields_data()
{
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("status");
    QTest::addColumn<std::optional<QString>>("error");
    QTest::addColumn<std::optional<double>>("predictTime");
    QTest::addColumn<bool>("hasOutput");

    using E = std::optional<QString>;
    using T = std::optional<double>;
    QTest::newRow("empty") << QByteArray("{}") << QString() << QStringLiteral("starting") << E()
                           << T() << false;
    QTest::newRow("wrong types")
        << QByteArray(R"({"id":5,"status":true,"error":{"m":1},"urls":[],"metrics":3})")
        << QString() << QStringLiteral("starting") << E() << T() << false;
    QTest::newRow("null error and null output")
        << QByteArray(R"({"id":"p","status":"processing","error":null,"output":null})")
        << QStringLiteral("p") << QStringLiteral("processing") << E() << T() << true;
    QTest::newRow("failed")
        << QByteArray(R"({"status":"failed","error":"CUDA out of memory","metrics":{}})")
        << QString() << QStringLiteral("failed") << E(QStringLiteral("CUDA out of memory")) << T()
        << false;
    QTest::newRow("metrics with total time only")
        << QByteArray(R"({"status":"succeeded","metrics":{"total_time":3.5}})") << QString()
        << QStringLiteral("succeeded") << E() << T() << false;
    QTest::newRow("predict time") << QByteArray(R"({"metrics":{"predict_time":2}})") << QString()
                                  << QStringLiteral("starting") << E() << T(2.0) << false;
}

void PredictionTest::fields()
{
    QFETCH(QByteArray, object);
    QFETCH(QString, id);
    QFETCH(QString, status);
    QFETCH(std::optional<QString>, error);
    QFETCH(std::optional<double>, predictTime);
    QFETCH(bool, hasOutput);
    const Prediction prediction = Prediction::fromJson(json(object));
    QCOMPARE(prediction.id, id);
    QCOMPARE(prediction.status, status);
    QCOMPARE(prediction.error, error);
    QCOMPARE(prediction.predictTime, predictTime);
    QCOMPARE(prediction.output.has_value(), hasOutput);
    QVERIFY(!prediction.getURL);
}

void PredictionTest::outputURLs_data()
{
    QTest::addColumn<QByteArray>("output"); // the object {"output": …}
    QTest::addColumn<QStringList>("urls");

    const QString a = QStringLiteral("https://cdn.example/a.png");
    const QString b = QStringLiteral("https://cdn.example/b.png");
    const QString c = QStringLiteral("http://cdn.example/c.mp4");
    QTest::newRow("single address")
        << QByteArray(R"({"output":"https://cdn.example/a.png"})") << QStringList{a};
    QTest::newRow("three in order")
        << QByteArray(R"({"output":["https://cdn.example/a.png","https://cdn.example/b.png",
                                    "http://cdn.example/c.mp4"]})")
        << QStringList{a, b, c};
    QTest::newRow("image array in object")
        << QByteArray(R"({"output":{"image":["https://cdn.example/a.png",
                                             "https://cdn.example/b.png"]}})")
        << QStringList{a, b};
    QTest::newRow("url with text, image with address")
        << QByteArray(R"({"output":{"url":"see below","image":"https://cdn.example/a.png"}})")
        << QStringList{a};
    // What the service answers a held create with; once dropped, and the paid result lost.
    QTest::newRow("inline data") << QByteArray(R"({"output":["data:image/png;base64,iVBOR"]})")
                                 << QStringList{QStringLiteral("data:image/png;base64,iVBOR")};
    QTest::newRow("file object then address")
        << QByteArray(R"({"output":[{"file":"https://cdn.example/a.png"},
                                    "https://cdn.example/b.png"]})")
        << QStringList{a, b};
    QTest::newRow("nested arrays flatten")
        << QByteArray(
               R"({"output":[["https://cdn.example/a.png"],[["http://cdn.example/c.mp4"]]]})")
        << QStringList{a, c};
    QTest::newRow("other keys ignored")
        << QByteArray(R"({"output":{"video":"https://cdn.example/a.png"}})") << QStringList{};
    QTest::newRow("prefix is case-sensitive")
        << QByteArray(R"({"output":"HTTPS://cdn.example/a.png"})") << QStringList{};
    QTest::newRow("unparsable address")
        << QByteArray(R"({"output":"https://cdn example/a b.png"})") << QStringList{};
    QTest::newRow("scalars") << QByteArray(R"({"output":[1,true,null]})") << QStringList{};
    QTest::newRow("absent") << QByteArray("{}") << QStringList{};
}

void PredictionTest::outputURLs()
{
    QFETCH(QByteArray, output);
    QFETCH(QStringList, urls);
    QStringList found;
    for (const QUrl &url : Prediction::fromJson(json(output)).outputURLs())
        found.append(url.toString());
    QCOMPARE(found, urls);
}

void PredictionTest::inlineFiles_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused as malformed
    QTest::addColumn<QString>("extension");

    const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QTest::newRow("base64 png") << QStringLiteral("data:image/png;base64,") + png.toBase64() << png
                                << QStringLiteral("png");
    QTest::newRow("jpeg is jpg") << QStringLiteral("data:image/jpeg;base64,/9j/")
                                 << QByteArray("\xff\xd8\xff", 3) << QStringLiteral("jpg");
    QTest::newRow("percent-encoded video") << QStringLiteral("data:video/mp4,%00%01ftyp")
                                           << QByteArray("\x00\x01"
                                                         "ftyp",
                                                         6)
                                           << QStringLiteral("mp4");
    QTest::newRow("parameters before base64")
        << QStringLiteral("data:image/webp;name=x.webp;base64,UklGRg==") << QByteArray("RIFF")
        << QStringLiteral("webp");
    QTest::newRow("type that is no extension") << QStringLiteral("data:image/svg+xml,%3Csvg%2F%3E")
                                               << QByteArray("<svg/>") << QStringLiteral("bin");
    QTest::newRow("no type") << QStringLiteral("data:;base64,QUJD") << QByteArray("ABC")
                             << QStringLiteral("bin");
    QTest::newRow("bad base64") << QStringLiteral("data:image/png;base64,iV@BOR") << QByteArray()
                                << QStringLiteral("png");
    QTest::newRow("stray percent") << QStringLiteral("data:image/png;base64,iV%zzBOR")
                                   << QByteArray() << QStringLiteral("png");
    QTest::newRow("no comma") << QStringLiteral("data:image/png;base64") << QByteArray()
                              << QStringLiteral("bin");
    QTest::newRow("empty") << QStringLiteral("data:image/png;base64,") << QByteArray()
                           << QStringLiteral("png");
}

void PredictionTest::inlineFiles()
{
    QFETCH(QString, uri);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    const QList<QUrl> found =
        Prediction::fromJson(QJsonObject{{QStringLiteral("output"), uri}}).outputURLs();
    QCOMPARE(found.size(), 1);
    QVERIFY(DataUri::isDataUri(found.first()));
    QCOMPARE(OutputPlacement::extension(found.first(), QStringLiteral("bin")), extension);
    if (!bytes.isEmpty()) {
        QCOMPARE(DataUri::decode(found.first()), bytes);
        return;
    }
    try {
        DataUri::decode(found.first());
        QFAIL("malformed data was decoded");
    } catch (const AppError &error) {
        QCOMPARE(error.message(), DataUri::malformedText());
    }
}

QTEST_GUILESS_MAIN(PredictionTest)
#include "tst_prediction.moc"
