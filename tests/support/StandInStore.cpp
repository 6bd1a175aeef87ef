#include "StandInStore.h"

#include <QTest>

StandInStore::StandInStore(StandInService::Options options) : m_service(options)
{
    freshEnvironment(0.001);
}

bool StandInStore::reset(double timeScale)
{
    freshEnvironment(timeScale);
    return m_service.reset();
}

void StandInStore::freshEnvironment(double timeScale)
{
    m_environment = std::make_unique<TestEnvironment>(timeScale);
    surroundings().apiBase = m_service.apiBase();
    surroundings().webBase = m_service.webBase();
}

std::unique_ptr<AppStore> StandInStore::makeStore(const QString &token)
{
    AppEnvironment environment = m_environment->environment();
    environment.environmentToken = token;
    auto store = std::make_unique<AppStore>(environment);
    if (!QTest::qWaitFor([&] { return store->tokenKnown(); }, 5000))
        return nullptr;
    return store;
}
