#include "Services/Clock.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"
#include "Services/SleepTimer.h"

#include <QCoroSignal>

#include <algorithm>
#include <cmath>

Clock::Clock(double timeScale) : m_timeScale(timeScale)
{
    m_elapsed.start();
}

QCoro::Task<void> Clock::sleep(double seconds, TaskHandle handle)
{
    m_requested.append(seconds);
    handle.throwIfCancelled();
    const double scaled = std::max(0.0, seconds * m_timeScale * 1000.0);
    SleepTimer timer(static_cast<int>(std::min(scaled, 2.0e9)));
    auto registration = handle.onCancel([&timer] { timer.wake(); });
    timer.start();
    auto woken = qCoro(&timer, &SleepTimer::woken);
    co_await woken;
    handle.throwIfCancelled();
}

double Clock::now() const
{
    return static_cast<double>(m_elapsed.nsecsElapsed()) / 1.0e9;
}
