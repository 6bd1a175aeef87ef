#pragma once

#include "Services/AppStore.h"
#include "StandInService.h"
#include "TestEnvironment.h"

#include <memory>

// The stand-in service for a whole test program, a fresh environment pointed at it for each test,
// and stores over that environment.
class StandInStore
{
public:
    explicit StandInStore(StandInService::Options options = {});

    // False (with the reason in errorString()) when the service could not be started.
    bool isRunning() const { return m_service.isRunning(); }
    QString errorString() const { return m_service.errorString(); }
    StandInService &service() { return m_service; }

    // Before each test: the service's faults and request log cleared, and a new environment
    // (sleeps shrunk by `timeScale`) whose API and pages are the service's. False when the
    // service refused the reset.
    bool reset(double timeScale = 0.001);
    TestEnvironment &environment() { return *m_environment; }
    const TestEnvironment &environment() const { return *m_environment; }
    AppEnvironment &surroundings() { return m_environment->mutableEnvironment(); }

    // A store over the environment as it stands, with `token` as the environment's token (empty:
    // only the keyring's), once it knows whether it has a token; null when it never learned.
    std::unique_ptr<AppStore> makeStore(const QString &token = QStringLiteral("r8_sim"));

private:
    void freshEnvironment(double timeScale);

    StandInService m_service;
    std::unique_ptr<TestEnvironment> m_environment;
};
