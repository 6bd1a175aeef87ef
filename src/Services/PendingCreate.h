#pragma once

#include "Models/CatalogModel.h"
#include "Models/ModelSchema.h"
#include "Models/TaskHandle.h"
#include "Services/Coroutine.h"
#include "Services/ReplicateClient.h"

#include <QJsonObject>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// One prediction's create request, carried on to its answer even when whoever asked stops
// waiting for it. The service may hold the request for up to a minute ("Prefer: wait") and
// only its answer names the prediction: aborting it would leave a paid prediction running that
// nobody can cancel. The request's own hold and timeout bound it.
class PendingCreate : public std::enable_shared_from_this<PendingCreate>
{
public:
    using Prediction = ReplicateClient::Prediction;

    // Sends the request at once. `abort` ends it in flight (only for a deadline that must be
    // kept); `stopRetrying` only keeps a rate-limited or failed attempt from being repeated.
    static std::shared_ptr<PendingCreate> send(const ReplicateClient &client,
                                               const CatalogModel &model, const ModelSchema &schema,
                                               const QJsonObject &input, int waitSeconds,
                                               const TaskHandle &abort,
                                               const TaskHandle &stopRetrying);

    // The service has answered, or the request has failed.
    bool isSettled() const { return m_settled; }
    // The answer, or what the request threw; AppError::cancelled() as soon as `handle` is
    // cancelled, while the request itself goes on.
    QCoro::Task<Prediction> answer(TaskHandle handle);
    // Resumes once the request has ended: the prediction it named, none when it failed.
    QCoro::Task<std::optional<Prediction>> settled();

    PendingCreate() = default;
    Q_DISABLE_COPY_MOVE(PendingCreate)

private:
    // One suspended waiter; resumed once, by the answer or by its handle's cancel.
    struct Waiter {
        std::coroutine_handle<> handle;
        bool resumed = false;
        TaskHandle::Registration registration;
        void resume();
    };
    // Copyable, its state shared: the awaiter may be copied on its way into the co_await.
    struct Wait {
        PendingCreate *create;
        TaskHandle cancel;
        std::shared_ptr<Waiter> waiter = std::make_shared<Waiter>();
        bool await_ready() const noexcept { return create->m_settled || cancel.isCancelled(); }
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() noexcept { waiter->registration = TaskHandle::Registration(); }
    };

    static QCoro::Task<void> drive(std::shared_ptr<PendingCreate> self, ReplicateClient client,
                                   CatalogModel model, ModelSchema schema, QJsonObject input,
                                   int waitSeconds, TaskHandle abort, TaskHandle stopRetrying);
    void settle();

    bool m_settled = false;
    std::optional<Prediction> m_prediction;
    std::exception_ptr m_error;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};
