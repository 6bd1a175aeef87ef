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

using namespace Qt::StringLiterals;

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
    m_node = QStandardPaths::findExecutable(u"node"_s);
    QVERIFY2(!m_node.isEmpty(), "Node.js is not installed: run scripts/setup");
    QVERIFY2(QFile::exists(packageDir() + u"/node_modules/replicate/package.json"_s),
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
        lines.append(request.value(u"method"_s).toString() + u' ' +
                     request.value(u"path"_s).toString());
    }
    return lines;
}

void TestOfficialClient::upscalesAnUploadedFile()
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor(20, 140, 60));
    const QString input = m_scratch.filePath(u"green.png"_s);
    QVERIFY(image.save(input, "PNG"));

    const QJsonObject result = runClient(u"upscale"_s, {input});
    const QStringList urls = urlsOf(result.value(u"output"_s));
    QCOMPARE(urls.size(), 1);
    QImage upscaled;
    QVERIFY(upscaled.loadFromData(download(urls.first())));
    QCOMPARE(upscaled.size(), QSize(96, 64));
    QCOMPARE(QColor(upscaled.pixel(48, 32)), QColor(20, 140, 60));

    const QJsonArray uploads = m_service->requests(u"/v1/files"_s);
    QCOMPARE(uploads.size(), 1);
    const QJsonObject upload = uploads.first().toObject();
    QVERIFY(upload.value(u"bodySize"_s).toInt() > QFileInfo(input).size());
    QVERIFY(upload.value(u"headers"_s)
                .toObject()
                .value(u"content-type"_s)
                .toString()
                .startsWith(u"multipart/form-data; boundary="_s));
    // Run by its version: a community model has no route by name.
    const QJsonArray creates = m_service->requests(u"/v1/predictions"_s);
    QVERIFY(!creates.isEmpty());
    const QJsonObject create = creates.first().toObject();
    QCOMPARE(create.value(u"method"_s).toString(), u"POST"_s);
    QCOMPARE(create.value(u"headers"_s).toObject().value(u"prefer"_s), u"wait"_s);
}

void TestOfficialClient::generatesImages()
{
    const QJsonObject result = runClient(u"image"_s);
    const QStringList urls = urlsOf(result.value(u"output"_s));
    QCOMPARE(urls.size(), 2);
    for (const QString &url : urls) {
        QImage picture;
        QVERIFY(picture.loadFromData(download(url)));
        QCOMPARE(qRound(100.0 * picture.width() / picture.height()), qRound(100.0 * 16 / 9));
    }
    // Prefer: wait held the answer until the end, so the client never polled.
    QCOMPARE(m_service->requests(u"/v1/predictions/"_s).size(), 0);
}

void TestOfficialClient::generatesVideoByPolling()
{
    const QJsonObject result = runClient(u"video"_s);
    const QStringList statuses = result.value(u"statuses"_s).toVariant().toStringList();
    QVERIFY2(statuses.contains(u"processing"_s), qPrintable(statuses.join(u',')));
    QCOMPARE(statuses.first(), u"starting"_s);
    QCOMPARE(statuses.last(), u"succeeded"_s);
    const QStringList urls = urlsOf(result.value(u"output"_s));
    QCOMPARE(urls.size(), 1);
    const QByteArray clip = download(urls.first());
    QCOMPARE(clip.mid(4, 4), QByteArray("ftyp"));
    const QJsonArray polls = m_service->requests(u"/v1/predictions/"_s);
    QVERIFY(polls.size() >= 2);
    for (const QJsonValue &poll : polls)
        QCOMPARE(poll.toObject().value(u"method"_s).toString(), u"GET"_s);
}

void TestOfficialClient::smallerCalls_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("request");
    QTest::newRow("run by version")
        << u"version"_s << u"output"_s << u"/delivery/"_s << u"POST /v1/predictions"_s;
    QTest::newRow("create is starting") << u"cancel"_s << u"created"_s << u"starting"_s
                                        << u"POST /v1/models/google/veo-3/predictions"_s;
    QTest::newRow("cancel") << u"cancel"_s << u"polled"_s << u"canceled"_s
                            << u"POST /v1/predictions/[a-z2-7]+/cancel"_s;
    QTest::newRow("search") << u"search"_s << u"names"_s << u"\"nightmareai/real-esrgan\""_s
                            << u"QUERY /v1/models"_s;
    // The service answers a collection whole.
    QTest::newRow("collection") << u"collection"_s << u"count"_s << u"9"_s
                                << u"GET /v1/collections/text-to-image"_s;
    QTest::newRow("failed prediction") << u"failed"_s << u"error"_s << u"Simulated model error"_s
                                       << u"POST /v1/models/google/imagen-4/predictions"_s;
    QTest::newRow("invalid input")
        << u"invalid"_s << u"status"_s << u"422"_s << u"POST /v1/predictions"_s;
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
