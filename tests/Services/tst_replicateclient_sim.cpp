#include "Models/AppError.h"
#include "Models/ModelSchema.h"
#include "RunTask.h"
#include "Services/NetworkError.h"
#include "Services/ReplicateClient.h"
#include "StandInStore.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QtTest>

using namespace Qt::StringLiterals;

// The client end to end against the stand-in service on loopback.
class ReplicateClientSimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void fetchModelFeedsTheSchema();
    void droppedConnectionIsANetworkError();
    void uploadThenPredictThenPoll();

private:
    ReplicateClient client() const
    {
        return ReplicateClient(m_network.get(), m_service.apiBase(),
                               m_standIn.environment().clock(), u"r8_sim"_s);
    }
    QJsonArray requestsTo(const QString &prefix) { return m_service.requests(prefix); }
    QCoro::Task<QJsonObject> fetch(const QString &name = u"real-esrgan"_s,
                                   const TaskHandle &handle = {}) const
    {
        return client().fetchModel(u"nightmareai"_s, name, handle);
    }

    StandInStore m_standIn{{.predictSeconds = 0.3}};
    StandInService &m_service = m_standIn.service();
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void ReplicateClientSimTest::initTestCase()
{
    QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    m_network = std::make_unique<QNetworkAccessManager>();
    ReplicateClient::configure(*m_network);
}

void ReplicateClientSimTest::init()
{
    QVERIFY(m_standIn.reset(0.001));
}

void ReplicateClientSimTest::fetchModelFeedsTheSchema()
{
    const auto outcome = runTask(fetch());
    QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.message()));
    const ModelSchema schema = ModelSchema::parse(*outcome.value);
    QCOMPARE(schema.imageKey, std::optional(u"image"_s));
    QVERIFY(schema.scaleParam());
    const QJsonArray log = requestsTo(u"/v1/models"_s);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first()[QLatin1String("authorization")].toString(), u"Bearer r8_sim"_s);
}

void ReplicateClientSimTest::droppedConnectionIsANetworkError()
{
    QVERIFY(m_service.addFault({{"path", "/v1/models/*"}, {"action", "drop"}}));
    const auto outcome = runTask(fetch());
    QVERIFY(outcome.threw<NetworkError>());
    // Transport failures are never retried.
    QVERIFY(m_standIn.environment().clock()->requestedDelays().isEmpty());
}

void ReplicateClientSimTest::uploadThenPredictThenPoll()
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "PNG"));

    const auto upload = runTask(client().uploadFile(png, u"tiny \"test\".png"_s, u"image/png"_s));
    QVERIFY2(upload.finished && !upload.error, qPrintable(upload.message()));
    QVERIFY(upload.value->startsWith(QLatin1String("http")));

    const auto record = runTask(fetch());
    QVERIFY(record.finished && !record.error);
    const CatalogModel model{u"nightmareai"_s, u"real-esrgan"_s, {}, {}, false};
    const QJsonObject input{{u"image"_s, *upload.value}, {u"scale"_s, 2}};
    // Not held: the answer comes at once, before the prediction has ended.
    const auto created =
        runTask(client().createPrediction(model, ModelSchema::parse(*record.value), input, 0));
    QVERIFY2(created.finished && !created.error, qPrintable(created.message()));
    QCOMPARE(created.value->status, u"starting"_s);
    QVERIFY(created.value->getURL);
    QVERIFY(created.value->outputURLs().isEmpty());

    // Once the service has finished it, one poll brings the result.
    const QString id = created.value->id;
    const auto serviceStatus = [this, &id] {
        for (const QJsonValue &entry : m_service.predictions()) {
            if (entry[QLatin1String("id")].toString() == id)
                return entry[QLatin1String("status")].toString();
        }
        return QString();
    };
    QTRY_COMPARE(serviceStatus(), u"succeeded"_s);
    const auto polled = runTask(client().getPrediction(*created.value->getURL));
    QVERIFY2(polled.finished && !polled.error, qPrintable(polled.message()));
    QCOMPARE(polled.value->status, u"succeeded"_s);
    QCOMPARE(polled.value->outputURLs().size(), 1);
    // The version route, since the record names a version and is not official.
    QCOMPARE(requestsTo(u"/v1/predictions"_s).first()[QLatin1String("method")], u"POST"_s);
}

QTEST_GUILESS_MAIN(ReplicateClientSimTest)
#include "tst_replicateclient_sim.moc"
