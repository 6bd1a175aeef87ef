#pragma once

#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "StandInStore.h"
#include "Views/Shell/MainWindow.h"

#include <QObject>

#include <memory>

// What every test of the whole main window starts from: the stand-in service (by default at a
// fiftieth of its real pace), a private environment pointed at it, and the window over its own
// store, opened and closed as the application does. Failures are reported through QTest as usual.
class WindowTestCase : public QObject
{
    Q_OBJECT

protected:
    // Animations off, the stand-in service started: once per test program, or again with other
    // options (real time is timeScale 1).
    void startService(double timeScale = 0.02, double predictSeconds = 0.2);
    // Before each test: the service's state and a fresh environment pointed at it.
    void freshEnvironment();
    // The store over the environment as it stands, once the keyring has answered, and the
    // window shown over it.
    void openWindow();
    // As the application quits: the window closes, the store finishes its work, both go.
    void closeWindow();
    // After each test: a run still going is cancelled and waited for, then everything goes.
    void dropWindow();

    StandInService &service() const { return m_standIn->service(); }
    TestEnvironment &testEnvironment() const { return m_standIn->environment(); }

    std::unique_ptr<StandInStore> m_standIn;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<MainWindow> m_window;
    double m_timeScale = 0.02;
};
