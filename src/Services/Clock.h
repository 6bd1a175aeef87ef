#pragma once

#include "Models/TaskHandle.h"
#include "Services/Coroutine.h"

#include <QElapsedTimer>
#include <QList>

// Time as the store's work sees it: cancellable sleeps and a monotonic "now". Tests scale real
// time down and read back the delays that were asked for, so schedules are checked without
// waiting for them.
class Clock
{
public:
    // `timeScale` multiplies every real wait (1 in the application, small in tests).
    explicit Clock(double timeScale = 1.0);

    // Waits `seconds` (scaled); throws AppError::cancelled() if `handle` is or becomes cancelled.
    QCoro::Task<void> sleep(double seconds, TaskHandle handle);

    // Seconds since the clock was made, unscaled.
    double now() const;

    double timeScale() const { return m_timeScale; }
    // Every delay passed to sleep(), in call order.
    const QList<double> &requestedDelays() const { return m_requested; }
    void clearRequestedDelays() { m_requested.clear(); }

private:
    double m_timeScale;
    QElapsedTimer m_elapsed;
    QList<double> m_requested;
};
