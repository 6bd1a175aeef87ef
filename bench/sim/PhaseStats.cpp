#include "PhaseStats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double PhaseStats::percentile(double p) const
{
    if (latenciesMs.isEmpty())
        return 0;
    QList<double> sorted = latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype rank = qsizetype(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted.at(qBound<qsizetype>(0, rank - 1, sorted.size() - 1));
}

double PhaseStats::mean() const
{
    if (latenciesMs.isEmpty())
        return 0;
    return std::accumulate(latenciesMs.begin(), latenciesMs.end(), 0.0) /
           double(latenciesMs.size());
}

double PhaseStats::requestsPerSecond() const
{
    return wallMs > 0 ? double(count()) * 1000.0 / wallMs : 0;
}

double PhaseStats::serverCpuPerRequestMs() const
{
    return count() > 0 ? serverCpuMs / double(count()) : 0;
}

QString PhaseStats::header()
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
        .arg(QStringLiteral("phase"), -22)
        .arg(QStringLiteral("n"), 6)
        .arg(QStringLiteral("errors"), 6)
        .arg(QStringLiteral("mean_ms"), 8)
        .arg(QStringLiteral("p50_ms"), 8)
        .arg(QStringLiteral("p95_ms"), 8)
        .arg(QStringLiteral("p99_ms"), 8)
        .arg(QStringLiteral("req/s"), 8)
        .arg(QStringLiteral("sim_cpu_ms/req"), 14);
}

QString PhaseStats::row(double offsetMs) const
{
    const auto number = [](double value, int width) {
        return QStringLiteral("%1").arg(value, width, 'f', 3);
    };
    return QStringLiteral("%1 %2 %3 ").arg(name, -22).arg(count(), 6).arg(errors, 6) +
           number(mean() - offsetMs, 8) + QLatin1Char(' ') + number(percentile(50) - offsetMs, 8) +
           QLatin1Char(' ') + number(percentile(95) - offsetMs, 8) + QLatin1Char(' ') +
           number(percentile(99) - offsetMs, 8) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(requestsPerSecond(), 8, 'f', 0) + QLatin1Char(' ') +
           number(serverCpuPerRequestMs(), 14);
}
