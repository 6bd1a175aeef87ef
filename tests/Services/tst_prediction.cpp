#include "Models/AppError.h"
#include "Services/DataUri.h"
#include "Services/OutputPlacement.h"
#include "Services/ReplicateClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QtTest>

using namespace Qt::StringLiterals;

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
    QCOMPARE(starting.id, u"vgcm4plb7tgzlyznry5d5jkgvu"_s);
    QCOMPARE(starting.status, u"starting"_s);
    QVERIFY(!starting.error);
    QVERIFY(!starting.predictTime);
    QVERIFY(starting.outputURLs().isEmpty());
    QCOMPARE(starting.cancelURL,
             std::optional(
                 u"https://api.replicate.com/v1/predictions/vgcm4plb7tgzlyznry5d5jkgvu/cancel"_s));

    const Prediction done =
        Prediction::fromJson(fixture("prediction_succeeded_array-of-urls.json"));
    QCOMPARE(done.status, u"succeeded"_s);
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
    QTest::addColumn<bool>("terminal");

    using E = std::optional<QString>;
    using T = std::optional<double>;
    QTest::newRow("empty") << QByteArray("{}") << QString() << u"starting"_s << E() << T() << false
                           << false;
    QTest::newRow("wrong types")
        << QByteArray(R"({"id":5,"status":true,"error":{"m":1},"urls":[],"metrics":3})")
        << QString() << u"starting"_s << E() << T() << false << false;
    QTest::newRow("null error and null output")
        << QByteArray(R"({"id":"p","status":"processing","error":null,"output":null})") << u"p"_s
        << u"processing"_s << E() << T() << true << false;
    QTest::newRow("failed")
        << QByteArray(R"({"status":"failed","error":"CUDA out of memory","metrics":{}})")
        << QString() << u"failed"_s << E(u"CUDA out of memory"_s) << T() << false << true;
    QTest::newRow("metrics with total time only")
        << QByteArray(R"({"status":"succeeded","metrics":{"total_time":3.5}})") << QString()
        << u"succeeded"_s << E() << T() << false << true;
    QTest::newRow("predict time") << QByteArray(R"({"metrics":{"predict_time":2}})") << QString()
                                  << u"starting"_s << E() << T(2.0) << false << false;
    QTest::newRow("canceled") << QByteArray(R"({"status":"canceled"})") << QString()
                              << u"canceled"_s << E() << T() << false << true;
    QTest::newRow("aborted") << QByteArray(R"({"status":"aborted"})") << QString() << u"aborted"_s
                             << E() << T() << false << true;
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
    QTEST(prediction.isTerminal(), "terminal");
}

void PredictionTest::outputURLs_data()
{
    QTest::addColumn<QByteArray>("output"); // the object {"output": …}
    QTest::addColumn<QStringList>("urls");

    const QString a = u"https://cdn.example/a.png"_s;
    const QString b = u"https://cdn.example/b.png"_s;
    const QString c = u"http://cdn.example/c.mp4"_s;
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
                                 << QStringList{u"data:image/png;base64,iVBOR"_s};
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
    QTest::newRow("base64 png") << u"data:image/png;base64,"_s + png.toBase64() << png << u"png"_s;
    QTest::newRow("jpeg is jpg") << u"data:image/jpeg;base64,/9j/"_s
                                 << QByteArray("\xff\xd8\xff", 3) << u"jpg"_s;
    QTest::newRow("percent-encoded video") << u"data:video/mp4,%00%01ftyp"_s
                                           << QByteArray("\x00\x01"
                                                         "ftyp",
                                                         6)
                                           << u"mp4"_s;
    QTest::newRow("parameters before base64")
        << u"data:image/webp;name=x.webp;base64,UklGRg=="_s << QByteArray("RIFF") << u"webp"_s;
    QTest::newRow("type that is no extension")
        << u"data:image/svg+xml,%3Csvg%2F%3E"_s << QByteArray("<svg/>") << u"bin"_s;
    QTest::newRow("no type") << u"data:;base64,QUJD"_s << QByteArray("ABC") << u"bin"_s;
    QTest::newRow("bad base64") << u"data:image/png;base64,iV@BOR"_s << QByteArray() << u"png"_s;
    QTest::newRow("stray percent")
        << u"data:image/png;base64,iV%zzBOR"_s << QByteArray() << u"png"_s;
    QTest::newRow("no comma") << u"data:image/png;base64"_s << QByteArray() << u"bin"_s;
    QTest::newRow("empty") << u"data:image/png;base64,"_s << QByteArray() << u"png"_s;
}

void PredictionTest::inlineFiles()
{
    QFETCH(QString, uri);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    const QList<QUrl> found = Prediction::fromJson(QJsonObject{{u"output"_s, uri}}).outputURLs();
    QCOMPARE(found.size(), 1);
    QVERIFY(DataUri::isDataUri(found.first()));
    QCOMPARE(OutputPlacement::extension(found.first(), u"bin"_s), extension);
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
