#include "Services/PendingCreate.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"

void PendingCreate::Waiter::resume()
{
    if (resumed || !handle)
        return;
    resumed = true;
    handle.resume();
}

void PendingCreate::Wait::await_suspend(std::coroutine_handle<> handle)
{
    waiter->handle = handle;
    create->m_waiters.push_back(waiter);
    // The hook holds the waiter, not this frame: it may run after the frame has moved on.
    waiter->registration = cancel.onCancel([waiter = waiter] { waiter->resume(); });
}

std::shared_ptr<PendingCreate>
PendingCreate::send(const ReplicateClient &client, const CatalogModel &model,
                    const ModelSchema &schema, const QJsonObject &input, int waitSeconds,
                    const TaskHandle &abort, const TaskHandle &stopRetrying)
{
    auto create = std::make_shared<PendingCreate>();
    // Runs by itself and keeps the record alive until the answer is in.
    drive(create, client, model, schema, input, waitSeconds, abort, stopRetrying);
    return create;
}

QCoro::Task<void> PendingCreate::drive(std::shared_ptr<PendingCreate> self, ReplicateClient client,
                                       CatalogModel model, ModelSchema schema, QJsonObject input,
                                       int waitSeconds, TaskHandle abort, TaskHandle stopRetrying)
{
    try {
        auto request = client.createPrediction(model, schema, input, waitSeconds, abort,
                                               std::optional<TaskHandle>(stopRetrying));
        self->m_prediction = co_await request;
    } catch (...) {
        self->m_error = std::current_exception();
    }
    self->settle();
}

void PendingCreate::settle()
{
    m_settled = true;
    // A resumed waiter may drop the last other reference: hold on until every one has run.
    const auto self = shared_from_this();
    const auto waiters = std::exchange(m_waiters, {});
    for (const auto &waiter : waiters)
        waiter->resume();
}

QCoro::Task<PendingCreate::Prediction> PendingCreate::answer(TaskHandle handle)
{
    const auto self = shared_from_this();
    Wait wait{this, handle};
    co_await wait;
    handle.throwIfCancelled();
    if (m_error)
        std::rethrow_exception(m_error);
    co_return *m_prediction;
}

QCoro::Task<std::optional<PendingCreate::Prediction>> PendingCreate::settled()
{
    const auto self = shared_from_this();
    Wait wait{this, TaskHandle()};
    co_await wait;
    co_return m_prediction;
}
