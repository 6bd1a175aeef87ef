#pragma once

#include "Services/Coroutine.h"

#include <QObject>

#include <coroutine>
#include <functional>

// Runs child coroutines side by side and lets one waiter take their completions one at a time.
// A completion that happens before anybody waits is counted, never lost.
class TaskGroup : public QObject
{
    Q_OBJECT
public:
    using Child = std::function<QCoro::Task<void>()>;

    // Starts `child` at once. Its exceptions are the child's own business: they are swallowed.
    void start(Child child);

    int running() const { return m_started - m_finished; }
    // Resumes once another child has finished (at once if one finished unseen).
    QCoro::Task<void> nextCompletion();
    // Resumes once every started child has finished.
    QCoro::Task<void> waitForAll();

private:
    // Suspends the one waiter until the next child's end.
    struct NextEnd {
        TaskGroup *group;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) noexcept { group->m_waiter = waiter; }
        void await_resume() const noexcept {}
    };
    QCoro::Task<void> runChild(Child child);
    void wakeWaiter();

    int m_started = 0;
    int m_finished = 0;
    int m_seen = 0;
    std::coroutine_handle<> m_waiter;
};
