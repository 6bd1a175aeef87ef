#pragma once

#include "Models/TaskHandle.h"
#include "Services/Clock.h"
#include "Services/Coroutine.h"
#include "Services/PendingCreate.h"
#include "Services/ReplicateClient.h"

#include <QNetworkAccessManager>

#include <memory>
#include <vector>

// Everything of ours that may leave a paid prediction running on the service: the pipelines in
// progress, create requests whose pipeline stopped waiting, and cancel requests on their way.
// It keeps the network manager they use alive until the last of them has ended, so a cancel
// asked for while the store goes away still reaches the service. The store and that work share
// it; it ends with the last of them.
class ServiceWork final : public std::enable_shared_from_this<ServiceWork>
{
public:
    // `network` may be null when the caller keeps its manager alive itself.
    explicit ServiceWork(std::shared_ptr<QNetworkAccessManager> network);
    Q_DISABLE_COPY_MOVE(ServiceWork)

    // Held by work that may still create or cancel a prediction; idle means none is held.
    class Lease
    {
    public:
        Lease() = default;
        explicit Lease(std::shared_ptr<ServiceWork> work);
        Lease(Lease &&other) noexcept = default;
        Lease &operator=(Lease &&other) noexcept;
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        ~Lease();

    private:
        std::shared_ptr<ServiceWork> m_work;
    };
    Lease hold();

    // Asks the service to cancel the prediction at `address`, and tracks the request to its end.
    void cancel(const ReplicateClient &client, const QString &address);
    // Lets `create` answer in the background, then cancels the prediction it names unless that
    // has already ended. Sends at most one cancel.
    void cancelWhenNamed(const ReplicateClient &client, std::shared_ptr<PendingCreate> create);

    bool isIdle() const { return m_busy == 0; }
    // Ends every request made here, at once: for a deadline that must be kept.
    TaskHandle abortHandle() const { return m_abort; }
    // Resumes once idle, or once `limitSeconds` have passed on `clock`; whatever is still going
    // then is aborted, so a stuck request cannot hold the caller for ever.
    QCoro::Task<void> drain(std::shared_ptr<Clock> clock, double limitSeconds);

private:
    static QCoro::Task<void> sendCancel(Lease lease, ReplicateClient client, QString address,
                                        TaskHandle abort);
    static QCoro::Task<void> awaitName(Lease lease, ReplicateClient client,
                                       std::shared_ptr<PendingCreate> create, TaskHandle abort);
    void release();

    std::shared_ptr<QNetworkAccessManager> m_network;
    int m_busy = 0;
    TaskHandle m_abort;
    // One per drain() waiting; cancelled to end its sleep once idle.
    std::vector<TaskHandle> m_drains;
};
