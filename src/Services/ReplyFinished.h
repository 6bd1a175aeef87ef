#pragma once

#include <QPointer>

#include <coroutine>
#include <memory>

class QNetworkReply;

// Awaits the end of a network reply: resumes from the event loop once the reply has finished, or
// at once should it be deleted first. QCoro's own wait resumes only through a call queued on the
// reply itself, so a reply deleted with its manager before that call ran (deferred deletes may
// run ahead of queued calls) left the waiting coroutine, and every frame awaiting it, suspended
// for ever. Resumes with false when the reply is gone.
class ReplyFinished final
{
public:
    explicit ReplyFinished(QNetworkReply *reply);
    // GCC moves the awaiter into the coroutine frame; the wait itself stays put on the heap.
    ReplyFinished(ReplyFinished &&other) noexcept;
    ReplyFinished &operator=(ReplyFinished &&) = delete;
    ReplyFinished(const ReplyFinished &) = delete;
    ReplyFinished &operator=(const ReplyFinished &) = delete;
    ~ReplyFinished();

    bool await_ready() const;
    void await_suspend(std::coroutine_handle<> waiter);
    bool await_resume() const { return !m_reply.isNull(); }

private:
    struct Wait;

    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<Wait> m_wait;
};
