#include "StallMeter.h"

#include <algorithm>
#include <ctime>

namespace
{
qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
} // namespace

StallMeter::StallMeter(int intervalMs, QObject *parent)
    : QObject(parent), m_intervalNs(qint64(intervalMs) * 1000000)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
}

void StallMeter::start()
{
    m_worstNs = 0;
    m_worstCpuNs = 0;
    m_lastCpuNs = threadCpuNs();
    m_ticks = 0;
    m_clock.start();
    m_lastNs = 0;
    m_timer.start();
}

void StallMeter::stop()
{
    m_timer.stop();
    // A stall still going on at the end counts too.
    tick();
}

void StallMeter::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_worstNs = std::max(m_worstNs, now - m_lastNs - m_intervalNs);
    m_lastNs = now;
    const qint64 cpu = threadCpuNs();
    m_worstCpuNs = std::max(m_worstCpuNs, cpu - m_lastCpuNs);
    m_lastCpuNs = cpu;
    ++m_ticks;
}
