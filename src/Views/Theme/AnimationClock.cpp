#include "Views/Theme/AnimationClock.h"

#include "Views/Theme/Animation.h"

#include <QElapsedTimer>

#include <algorithm>

namespace
{
constexpr int tickMs = 16;

const QElapsedTimer &started()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}
} // namespace

AnimationClock::AnimationClock()
{
    started();
    m_ticks.setInterval(tickMs);
    connect(&m_ticks, &QTimer::timeout, this, &AnimationClock::tick);
}

AnimationClock &AnimationClock::instance()
{
    // Never destroyed: animated values may outlive the application object at exit.
    static auto *const clock = new AnimationClock;
    return *clock;
}

qint64 AnimationClock::now() const
{
    return started().elapsed();
}

qreal AnimationClock::progress(qint64 startedMs, int durationMs) const
{
    if (!Animation::enabled() || durationMs <= 0)
        return 1;
    return std::clamp(qreal(now() - startedMs) / durationMs, 0.0, 1.0);
}

qreal AnimationClock::phase(qint64 startedMs, int periodMs) const
{
    if (periodMs <= 0)
        return 0;
    return qreal((now() - startedMs) % periodMs) / periodMs;
}

void AnimationClock::hold(const QObject *mover)
{
    m_movers.insert(mover);
    if (!m_ticks.isActive())
        m_ticks.start();
}

void AnimationClock::release(const QObject *mover)
{
    m_movers.remove(mover);
    if (m_movers.isEmpty())
        m_ticks.stop();
}
