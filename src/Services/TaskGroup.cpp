#include "Services/TaskGroup.h"
#include "Services/Coroutine.h"

#include <utility>

void TaskGroup::start(Child child)
{
    ++m_started;
    runChild(std::move(child));
}

QCoro::Task<void> TaskGroup::runChild(Child child)
{
    try {
        auto running = child();
        co_await running;
    } catch (...) {
        // A child reports its outcome through what it writes, never by throwing at the group.
    }
    ++m_finished;
    // The waiter is resumed from the event loop, never inside a child's end: it may finish and
    // take the group with it, and several children may end before it runs again. Dropped
    // unsent when the group is gone.
    QMetaObject::invokeMethod(this, &TaskGroup::wakeWaiter, Qt::QueuedConnection);
}

void TaskGroup::wakeWaiter()
{
    if (const std::coroutine_handle<> waiter = std::exchange(m_waiter, {}))
        waiter.resume();
}

QCoro::Task<void> TaskGroup::nextCompletion()
{
    while (m_seen >= m_finished) {
        NextEnd next{this};
        co_await next;
    }
    ++m_seen;
}

QCoro::Task<void> TaskGroup::waitForAll()
{
    while (m_finished < m_started) {
        NextEnd next{this};
        co_await next;
    }
    m_seen = m_finished;
}
