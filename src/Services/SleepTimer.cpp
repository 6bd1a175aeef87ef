#include "Services/SleepTimer.h"

SleepTimer::SleepTimer(int milliseconds, QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(milliseconds);
    connect(&m_timer, &QTimer::timeout, this, &SleepTimer::wake);
}

void SleepTimer::start()
{
    m_timer.start();
}

void SleepTimer::wake()
{
    if (m_woken)
        return;
    m_woken = true;
    m_timer.stop();
    // Queued, so a wake from inside cancel() never resumes the sleeper in the canceller's frame
    // before the sleeper has suspended.
    QMetaObject::invokeMethod(this, &SleepTimer::woken, Qt::QueuedConnection);
}
