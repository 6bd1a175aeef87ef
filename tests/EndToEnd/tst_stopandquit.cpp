// Stop and "Stop and Quit" against predictions that take as long as slow real models, in real
// time: what the user pays for after saying stop is what the service is told within seconds.
#include "Models/ModelCatalog.h"
#include "Services/AppStore.h"
#include "WindowTestCase.h"

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
constexpr int pairs = 4;
// Stop reaches every prediction within this long, and the quitting process is gone within that.
constexpr int cancelWithinMs = 10000;
constexpr int exitWithinMs = 15000;
} // namespace

class StopAndQuitTest : public WindowTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { dropWindow(); }

    void stopEndsPaidWorkWithinSeconds_data();
    void stopEndsPaidWorkWithinSeconds();

private:
    // Statuses of the service's predictions, by status.
    QMap<QString, int> serviceStatuses();
};

void StopAndQuitTest::init()
{
    // Each row starts its own service at its own pace.
    m_standIn.reset();
}

QMap<QString, int> StopAndQuitTest::serviceStatuses()
{
    QMap<QString, int> counts;
    for (const QJsonValue &prediction : service().predictions())
        ++counts[prediction[u"status"_s].toString()];
    return counts;
}

void StopAndQuitTest::stopEndsPaidWorkWithinSeconds_data()
{
    QTest::addColumn<double>("predictSeconds");
    QTest::addColumn<bool>("quit"); // File ▸ Quit ▸ "Stop and Quit", else the Stop button
    QTest::newRow("30-s predictions, Stop") << 30.0 << false;
    QTest::newRow("60-s predictions, Stop") << 60.0 << false;
    QTest::newRow("30-s predictions, Stop and Quit") << 30.0 << true;
    QTest::newRow("60-s predictions, Stop and Quit") << 60.0 << true;
}

void StopAndQuitTest::stopEndsPaidWorkWithinSeconds()
{
    QFETCH(double, predictSeconds);
    QFETCH(bool, quit);
    startService(1, predictSeconds);
    freshEnvironment();
    testEnvironment().mutableEnvironment().environmentToken = u"r8_sim"_s;
    openWindow();
    m_store->setMode(Mode::image);
    const std::optional<CatalogModel> schnell =
        ModelCatalog::find(ModelCatalog::builtIn(Mode::image), u"black-forest-labs/flux-schnell"_s);
    QVERIFY(schnell);
    m_store->selectOnly(*schnell);
    for (int i = 0; i < pairs; ++i)
        m_store->addPromptJob(u"A slow harbour at dawn %1"_s.arg(i), {});

    auto *run = m_window->findChild<QAbstractButton *>(u"runButton"_s);
    QTRY_VERIFY(run->isEnabled());
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(service().predictions().size(), pairs, 10000);
    QTest::qWait(1000);

    QSignalSpy finished(m_window.get(), &MainWindow::finished);
    QElapsedTimer sinceStop;
    if (quit) {
        m_window->quitAction()->trigger();
        QTRY_VERIFY(m_window->quitQuestion() && m_window->quitQuestion()->isVisible());
        sinceStop.start();
        QTest::mouseClick(m_window->quitQuestion()->findChild<QPushButton *>(u"stopAndQuit"_s),
                          Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
    } else {
        QCOMPARE(run->text(), u"Stop"_s);
        sinceStop.start();
        QTest::mouseClick(run, Qt::LeftButton);
    }

    QTRY_COMPARE_WITH_TIMEOUT(serviceStatuses().value(u"canceled"_s), pairs, cancelWithinMs);
    qInfo("every prediction cancelled at the service %lld ms after the click",
          qint64(sinceStop.elapsed()));
    QCOMPARE(serviceStatuses().value(u"succeeded"_s), 0);
    if (quit) {
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, exitWithinMs);
        qInfo("quit finished %lld ms after the click", qint64(sinceStop.elapsed()));
    }
    // One create and one cancel per pair, nothing more.
    int creates = 0, cancels = 0;
    for (const QJsonValue &request : service().requests(u"/v1/"_s)) {
        const QString path = request[u"path"_s].toString();
        creates += request[u"method"_s] == u"POST"_s && path.endsWith(u"/predictions"_s);
        cancels += path.endsWith(u"/cancel"_s);
    }
    QCOMPARE(creates, pairs);
    QCOMPARE(cancels, pairs);
}

QTEST_MAIN(StopAndQuitTest)
#include "tst_stopandquit.moc"
