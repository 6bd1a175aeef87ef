#include "WindowTestCase.h"

#include "Views/Theme/Animation.h"

#include <QSignalSpy>
#include <QTest>

void WindowTestCase::startService(double timeScale, double predictSeconds)
{
    Animation::setEnabled(false);
    m_timeScale = timeScale;
    // Only one service runs at a time.
    m_standIn.reset();
    m_standIn = std::make_unique<StandInStore>(StandInService::Options{predictSeconds, timeScale});
    QVERIFY2(m_standIn->isRunning(), qPrintable(m_standIn->errorString()));
}

void WindowTestCase::freshEnvironment()
{
    QVERIFY(m_standIn->reset(m_timeScale));
}

void WindowTestCase::openWindow()
{
    m_store = std::make_unique<AppStore>(testEnvironment().environment());
    QTRY_VERIFY(m_store->tokens().known());
    QTRY_VERIFY(!m_store->isRestoring());
    m_updater = std::make_unique<Updater>(testEnvironment().environment().settingsPath);
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
