#include "Services/ServiceWork.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"

#include <algorithm>

ServiceWork::ServiceWork(std::shared_ptr<QNetworkAccessManager> network)
    : m_network(std::move(network))
{
}

ServiceWork::Lease::Lease(std::shared_ptr<ServiceWork> work) : m_work(std::move(work))
{
    if (m_work)
        ++m_work->m_busy;
}

ServiceWork::Lease &ServiceWork::Lease::operator=(Lease &&other) noexcept
{
    if (this != &other) {
        if (m_work)
            m_work->release();
        m_work = std::move(other.m_work);
    }
    return *this;
}

ServiceWork::Lease::~Lease()
{
    if (m_work)
        m_work->release();
}

ServiceWork::Lease ServiceWork::hold()
{
    return Lease(shared_from_this());
}

void ServiceWork::release()
{
    --m_busy;
    // Each drain looks again, from the event loop, never inside the work that just ended.
    for (const TaskHandle &drain : std::exchange(m_drains, {}))
        drain.cancel();
}

void ServiceWork::cancel(const ReplicateClient &client, const QString &address)
{
    sendCancel(hold(), client, address, m_abort);
}

void ServiceWork::cancelWhenNamed(const ReplicateClient &client,
                                  std::shared_ptr<PendingCreate> create)
{
    awaitName(hold(), client, std::move(create), m_abort);
}

QCoro::Task<void> ServiceWork::sendCancel(Lease lease, ReplicateClient client, QString address,
                                          TaskHandle abort)
{
    // The lease keeps the network manager alive until the service has answered.
    const Lease held = std::move(lease);
    auto cancelling = client.cancelPrediction(address, abort);
    co_await cancelling;
}

QCoro::Task<void> ServiceWork::awaitName(Lease lease, ReplicateClient client,
                                         std::shared_ptr<PendingCreate> create, TaskHandle abort)
{
    const Lease held = std::move(lease);
    auto settling = create->settled();
    const std::optional<ReplicateClient::Prediction> prediction = co_await settling;
    // A prediction that ended by itself needs nothing; one still going is ours to stop.
    if (!prediction || !prediction->cancelURL || prediction->isTerminal() || abort.isCancelled())
        co_return;
    auto cancelling = client.cancelPrediction(*prediction->cancelURL, abort);
    co_await cancelling;
}

QCoro::Task<void> ServiceWork::drain(std::shared_ptr<Clock> clock, double limitSeconds)
{
    const auto self = shared_from_this();
    // now() runs in real seconds, sleeps in the clock's scaled ones.
    const double scale = std::max(clock->timeScale(), 1e-9);
    const double start = clock->now();
    while (!isIdle()) {
        const double remaining = limitSeconds - (clock->now() - start) / scale;
        if (remaining <= 0) {
            // Out of time: abort what is left, and start afresh so the store stays usable.
            const TaskHandle expired = std::exchange(m_abort, TaskHandle());
            expired.cancel();
            co_return;
        }
        const TaskHandle idle;
        m_drains.push_back(idle);
        try {
            auto sleeping = clock->sleep(remaining, idle);
            co_await sleeping;
        } catch (const AppError &) {
            // Woken: the work may be done; the loop looks again.
        }
    }
}
