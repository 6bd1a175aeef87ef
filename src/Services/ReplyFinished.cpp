#include "Services/ReplyFinished.h"

#include <QNetworkReply>

#include <utility>

// Receives the reply's signals; a queued call still pending goes with it.
struct ReplyFinished::Wait {
    QObject context;
    std::coroutine_handle<> waiter;

    void resume()
    {
        // Whichever signal comes first resumes; the waiter may end this wait, so nothing of it
        // is touched afterwards.
        if (const std::coroutine_handle<> next = std::exchange(waiter, {}))
            next.resume();
    }
};

ReplyFinished::ReplyFinished(QNetworkReply *reply)
    : m_reply(reply), m_wait(std::make_unique<Wait>())
{
}

ReplyFinished::ReplyFinished(ReplyFinished &&other) noexcept = default;

ReplyFinished::~ReplyFinished() = default;

bool ReplyFinished::await_ready() const
{
    return !m_reply || m_reply->isFinished();
}

void ReplyFinished::await_suspend(std::coroutine_handle<> waiter)
{
    Wait *wait = m_wait.get();
    wait->waiter = waiter;
    // Queued: the waiter never runs inside the reply's own signal.
    QObject::connect(
        m_reply, &QNetworkReply::finished, &wait->context, [wait] { wait->resume(); },
        Qt::QueuedConnection);
    QObject::connect(m_reply, &QObject::destroyed, &wait->context, [wait] { wait->resume(); });
}
