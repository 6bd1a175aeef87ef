#include "StandInService.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{

constexpr int kClientTimeoutMs = 60000;

QString packageDir()
{
    return QStringLiteral(MOONFORGE_SOURCE_DIR "/bench/js");
}

QString scriptPath()
{
    return QStringLiteral(MOONFORGE_SOURCE_DIR "/tests/Tools/js/official-client.mjs");
}

QString compact(const QJsonValue &value)
{
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    return value.toVariant().toString();
}

QStringList urlsOf(const QJsonValue &output)
{
    if (output.isString())
        return {output.toString()};
    QStringList urls;
    if (output.isArray()) {
        for (const QJsonValue &entry : output.toArray())
            urls += urlsOf(entry);
    } else if (output.isObject()) {
        for (const QJsonValue &entry : output.toObject())
            urls += urlsOf(entry);
    }
    return urls;
}

} // namespace

// The service's official JavaScript client, which none of us wrote, against the stand-in service.
class TestOfficialClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void upscalesAnUploadedFile();
    void generatesImages();
    void generatesVideoByPolling();
    void smallerCalls_data();
    void smallerCalls();

private:
    QJsonObject runClient(const QString &scenario, const QStringList &args = {});
    QByteArray download(const QString &url);
    // Requests in the log as "METHOD /path".
    QStringList loggedRequests();

    std::unique_ptr<StandInService> m_service;
    QString m_node;
    QTemporaryDir m_scratch;
};

void TestOfficialClient::initTestCase()
{
    // Both come from scripts/setup; without them this check fails rather than passing unseen.
    m_node = QStandardPaths::findExecutable(QStringLiteral("node"));
    QVERIFY2(!m_node.isEmpty(), "Node.js is not installed: run scripts/setup");
    QVERIFY2(QFile::exists(packageDir() + QStringLiteral("/node_modules/replicate/package.json")),
             "bench/js/node_modules lacks the replicate client: run scripts/setup "
             "(npm ci of the committed bench/js/package-lock.json)");
    QVERIFY(m_scratch.isValid());
    m_service = std::make_unique<StandInService>(StandInService::Options{0.6, 1});
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void TestOfficialClient::init()
{
    QVERIFY(m_service->reset());
}

QJsonObject TestOfficialClient::runClient(const QString &scenario, const QStringList &args)
{
    QProcess node;
    node.start(m_node,
               QStringList{scriptPath(), packageDir(), m_service->apiBase().toString(), scenario} +
                   args);
    if (!node.waitForFinished(kClientTimeoutMs)) {
        node.kill();
        node.waitForFinished();
        qWarning("the client did not finish");
        return {};
    }
    const QByteArray errors = node.readAllStandardError();
    if (node.exitCode() != 0) {
        qWarning("the client failed: %s", errors.constData());
        return {};
    }
    return QJsonDocument::fromJson(node.readAllStandardOutput()).object();
}

QByteArray TestOfficialClient::download(const QString &url)
{
    if (!url.startsWith(m_service->baseUrl().toString()))
        return {};
    const auto reply = m_service->call("GET", QUrl(url).path());
    return reply && reply->status == 200 ? reply->body : QByteArray();
}

QStringList TestOfficialClient::loggedRequests()
{
    QStringList lines;
    for (const QJsonValue &entry : m_service->requests()) {
        const QJsonObject request = entry.toObject();
        lines.append(request.value(QStringLiteral("method")).toString() + QLatin1Char(' ') +
                     request.value(QStringLiteral("path")).toString());
    }
    return lines;
}

void TestOfficialClient::upscalesAnUploadedFile()
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor(20, 140, 60));
    const QString input = m_scratch.filePath(QStringLiteral("green.png"));
    QVERIFY(image.save(input, "PNG"));

    const QJsonObject result = runClient(QStringLiteral("upscale"), {input});
    const QStringList urls = urlsOf(result.value(QStringLiteral("output")));
    QCOMPARE(urls.size(), 1);
    QImage upscaled;
    QVERIFY(upscaled.loadFromData(download(urls.first())));
    QCOMPARE(upscaled.size(), QSize(96, 64));
    QCOMPARE(QColor(upscaled.pixel(48, 32)), QColor(20, 140, 60));

    const QJsonArray uploads = m_service->requests(QStringLiteral("/v1/files"));
    QCOMPARE(uploads.size(), 1);
    const QJsonObject upload = uploads.first().toObject();
    QVERIFY(upload.value(QStringLiteral("bodySize")).toInt() > QFileInfo(input).size());
    QVERIFY(upload.value(QStringLiteral("headers"))
                .toObject()
                .value(QStringLiteral("content-type"))
                .toString()
                .startsWith(QLatin1String("multipart/form-data; boundary=")));
    // Run by its version: a community model has no route by name.
    const QJsonArray creates = m_service->requests(QStringLiteral("/v1/predictions"));
    QVERIFY(!creates.isEmpty());
    const QJsonObject create = creates.first().toObject();
    QCOMPARE(create.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    QCOMPARE(create.value(QStringLiteral("headers")).toObject().value(QStringLiteral("prefer")),
             QStringLiteral("wait"));
}

void TestOfficialClient::generatesImages()
{
    const QJsonObject result = runClient(QStringLiteral("image"));
    const QStringList urls = urlsOf(result.value(QStringLiteral("output")));
    QCOMPARE(urls.size(), 2);
    for (const QString &url : urls) {
        QImage picture;
        QVERIFY(picture.loadFromData(download(url)));
        QCOMPARE(qRound(100.0 * picture.width() / picture.height()), qRound(100.0 * 16 / 9));
    }
    // Prefer: wait held the answer until the end, so the client never polled.
    QCOMPARE(m_service->requests(QStringLiteral("/v1/predictions/")).size(), 0);
}

void TestOfficialClient::generatesVideoByPolling()
{
    const QJsonObject result = runClient(QStringLiteral("video"));
    const QStringList statuses =
        result.value(QStringLiteral("statuses")).toVariant().toStringList();
    QVERIFY2(statuses.contains(QStringLiteral("processing")), qPrintable(statuses.join(u',')));
    QCOMPARE(statuses.first(), QStringLiteral("starting"));
    QCOMPARE(statuses.last(), QStringLiteral("succeeded"));
    const QStringList urls = urlsOf(result.value(QStringLiteral("output")));
    QCOMPARE(urls.size(), 1);
    const QByteArray clip = download(urls.first());
    QCOMPARE(clip.mid(4, 4), QByteArray("ftyp"));
    const QJsonArray polls = m_service->requests(QStringLiteral("/v1/predictions/"));
    QVERIFY(polls.size() >= 2);
    for (const QJsonValue &poll : polls)
        QCOMPARE(poll.toObject().value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
}

void TestOfficialClient::smallerCalls_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("request");
    QTest::newRow("run by version")
        << QStringLiteral("version") << QStringLiteral("output") << QStringLiteral("/delivery/")
        << QStringLiteral("POST /v1/predictions");
    QTest::newRow("create is starting")
        << QStringLiteral("cancel") << QStringLiteral("created") << QStringLiteral("starting")
        << QStringLiteral("POST /v1/models/google/veo-3/predictions");
    QTest::newRow("cancel") << QStringLiteral("cancel") << QStringLiteral("polled")
                            << QStringLiteral("canceled")
                            << QStringLiteral("POST /v1/predictions/[a-z2-7]+/cancel");
    QTest::newRow("search") << QStringLiteral("search") << QStringLiteral("names")
                            << QStringLiteral("\"nightmareai/real-esrgan\"")
                            << QStringLiteral("QUERY /v1/models");
    // The service answers a collection whole.
    QTest::newRow("collection") << QStringLiteral("collection") << QStringLiteral("count")
                                << QStringLiteral("9")
                                << QStringLiteral("GET /v1/collections/text-to-image");
    QTest::newRow("failed prediction")
        << QStringLiteral("failed") << QStringLiteral("error")
        << QStringLiteral("Simulated model error")
        << QStringLiteral("POST /v1/models/google/imagen-4/predictions");
    QTest::newRow("invalid input")
        << QStringLiteral("invalid") << QStringLiteral("status") << QStringLiteral("422")
        << QStringLiteral("POST /v1/predictions");
}

void TestOfficialClient::smallerCalls()
{
    QFETCH(QString, scenario);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(QString, request);
    const QJsonObject result = runClient(scenario);
    QVERIFY2(result.contains(key), QJsonDocument(result).toJson().constData());
    const QString value = compact(result.value(key));
    QVERIFY2(value.contains(expected), qPrintable(value));
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(request));
    const QStringList logged = loggedRequests();
    QVERIFY2(logged.indexOf(pattern) >= 0, qPrintable(logged.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestOfficialClient)
#include "tst_officialclient.moc"
