#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

// Splits the worst gap between two ticks of a fast timer on this thread into the time the thread
// ran, the time it was ready but waited for a processor (other programs had the cores), and the
// rest, when it was blocked in a system call. Linux only: reads /proc/thread-self/schedstat.
class StallCause final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StallCause)
public:
    explicit StallCause(int intervalMs = 1, QObject *parent = nullptr);

    void start();
    void stop();
    struct Gap {
        double wallMs = 0;
        double runningMs = 0;
        double waitingForCpuMs = 0;
        double blockedMs() const { return std::max(0.0, wallMs - runningMs - waitingForCpuMs); }
    };
    // The longest gap, and the gap in which the thread itself ran longest.
    Gap worst() const { return m_worst; }
    Gap busiest() const { return m_busiest; }

private:
    struct Sample {
        qint64 wallNs = 0;
        qint64 runNs = 0;
        qint64 waitNs = 0;
    };
    Sample sample();
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    QFile m_schedstat;
    Sample m_last;
    Gap m_worst;
    Gap m_busiest;
};
