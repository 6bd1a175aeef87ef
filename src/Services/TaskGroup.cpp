#include "Services/TaskGroup.h"

#include <QCoroSignal>

void TaskGroup::start(Child child)
{
    ++m_started;
    runChild(std::move(child));
}

QCoro::Task<void> TaskGroup::runChild(Child child)
{
    try {
        co_await child();
    } catch (...) {
        // A child reports its outcome through what it writes, never by throwing at the group.
    }
    ++m_finished;
    Q_EMIT childFinished();
}

QCoro::Task<void> TaskGroup::nextCompletion()
{
    while (m_seen >= m_finished)
        co_await qCoro(this, &TaskGroup::childFinished);
    ++m_seen;
}

QCoro::Task<void> TaskGroup::waitForAll()
{
    while (m_finished < m_started)
        co_await qCoro(this, &TaskGroup::childFinished);
    m_seen = m_finished;
}
