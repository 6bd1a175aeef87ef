#include "StallCause.h"

StallCause::StallCause(int intervalMs, QObject *parent)
    : QObject(parent), m_schedstat(QStringLiteral("/proc/thread-self/schedstat"))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StallCause::tick);
}

void StallCause::start()
{
    m_worst = {};
    m_busiest = {};
    if (!m_schedstat.isOpen())
        m_schedstat.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    m_clock.start();
    m_last = sample();
    m_timer.start();
}

void StallCause::stop()
{
    m_timer.stop();
    tick();
}

StallCause::Sample StallCause::sample()
{
    Sample now;
    now.wallNs = m_clock.nsecsElapsed();
    // "<ns on cpu> <ns waiting on a run queue> <timeslices>"
    if (m_schedstat.isOpen() && m_schedstat.seek(0)) {
        const QList<QByteArray> fields = m_schedstat.read(128).simplified().split(' ');
        if (fields.size() >= 2) {
            now.runNs = fields.at(0).toLongLong();
            now.waitNs = fields.at(1).toLongLong();
        }
    }
    return now;
}

void StallCause::tick()
{
    const Sample now = sample();
    const Gap gap{double(now.wallNs - m_last.wallNs) / 1e6, double(now.runNs - m_last.runNs) / 1e6,
                  double(now.waitNs - m_last.waitNs) / 1e6};
    if (gap.wallMs > m_worst.wallMs)
        m_worst = gap;
    if (gap.runningMs > m_busiest.runningMs)
        m_busiest = gap;
    m_last = now;
}
