#include "LoadRunner.h"

#include "SimProcess.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

LoadRunner::LoadRunner(const SimProcess &sim, QObject *parent) : QObject(parent), m_sim(sim)
{
    // No proxy lookups or redirects: only the request itself is timed.
    m_network.setProxy(QNetworkProxy::NoProxy);
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

PhaseStats LoadRunner::run(const QString &name, int concurrency, const Next &next,
                           const Check &check)
{
    PhaseStats stats;
    stats.name = name;
    QEventLoop loop;
    QElapsedTimer wall;
    const double cpuBefore = m_sim.cpuMs();
    wall.start();
    const auto fill = [&] {
        while (m_inFlight < concurrency && startOne(next, check, stats)) {
        }
        if (m_inFlight == 0)
            loop.quit();
    };
    const QMetaObject::Connection refill =
        connect(this, &LoadRunner::slotFreed, &loop, fill, Qt::QueuedConnection);
    fill();
    if (m_inFlight > 0)
        loop.exec();
    disconnect(refill);
    stats.wallMs = double(wall.nsecsElapsed()) / 1e6;
    stats.serverCpuMs = m_sim.cpuMs() - cpuBefore;
    return stats;
}

bool LoadRunner::startOne(const Next &next, const Check &check, PhaseStats &stats)
{
    std::optional<BenchCall> call = next();
    if (!call)
        return false;
    QNetworkRequest request(call->url);
    for (const auto &[header, value] : std::as_const(call->headers))
        request.setRawHeader(header, value);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    QNetworkReply *reply = m_network.sendCustomRequest(request, call->method, call->body);
    ++m_inFlight;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, timer, call = *call, check, &stats] {
                BenchResult result;
                result.ms = double(timer->nsecsElapsed()) / 1e6;
                result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                result.body = reply->readAll();
                if (reply->error() != QNetworkReply::NoError && result.status == 0)
                    result.transportError = reply->errorString();
                reply->deleteLater();
                --m_inFlight;
                stats.latenciesMs.append(result.ms);
                QString problem;
                if (!result.transportError.isEmpty())
                    problem = result.transportError;
                else if (!check(call, result, &problem) && problem.isEmpty())
                    problem = QStringLiteral("HTTP %1").arg(result.status);
                if (!problem.isEmpty()) {
                    if (stats.errors++ == 0)
                        stats.firstError = QString::fromLatin1(call.method) + QLatin1Char(' ') +
                                           call.url.path() + QStringLiteral(": ") + problem;
                }
                Q_EMIT slotFreed();
            });
    return true;
}
