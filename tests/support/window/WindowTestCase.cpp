#include "WindowTestCase.h"

#include "Views/Theme/Animation.h"

#include <QSignalSpy>
#include <QTest>

void WindowTestCase::startService(double timeScale, double predictSeconds)
{
    Animation::setEnabled(false);
    m_timeScale = timeScale;
    StandInService::Options options;
    options.timeScale = timeScale;
    options.predictSeconds = predictSeconds;
    m_service.reset();
    m_service = std::make_unique<StandInService>(options);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void WindowTestCase::freshEnvironment()
{
    QVERIFY(m_service->reset());
    m_environment = std::make_unique<TestEnvironment>(m_timeScale);
    AppEnvironment &environment = m_environment->mutableEnvironment();
    environment.apiBase = m_service->apiBase();
    environment.webBase = m_service->webBase();
}

void WindowTestCase::openWindow()
{
    m_store = std::make_unique<AppStore>(m_environment->environment());
    QTRY_VERIFY(m_store->tokens().known());
    m_updater = std::make_unique<Updater>(m_environment->environment().settingsPath);
    m_window = std::make_unique<MainWindow>(*m_store, *m_updater);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void WindowTestCase::closeWindow()
{
    QSignalSpy finished(m_window.get(), &MainWindow::finished);
    QVERIFY(m_window->close());
    QTRY_COMPARE(finished.count(), 1);
    m_window.reset();
    m_updater.reset();
    m_store.reset();
}

void WindowTestCase::dropWindow()
{
    if (m_store && m_store->isRunning()) {
        m_store->cancelRun();
        QTRY_VERIFY(!m_store->isRunning());
    }
    m_window.reset();
    m_updater.reset();
    m_store.reset();
}
