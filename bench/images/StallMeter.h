#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how late the event loop of the thread it lives on serves a fast timer: the worst
// gap between two ticks beyond the interval is the longest time that thread was busy.
class StallMeter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StallMeter)
public:
    explicit StallMeter(int intervalMs = 1, QObject *parent = nullptr);

    void start();
    void stop();
    // Worst lateness seen since start(), in milliseconds.
    double worstMs() const { return m_worstNs / 1e6; }
    // The processor time the thread itself spent in its longest stall: on a machine busy with
    // other work, lateness also counts the time other processes held the processor.
    double worstCpuMs() const { return m_worstCpuNs / 1e6; }
    int ticks() const { return m_ticks; }

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_worstNs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_worstCpuNs = 0;
    qint64 m_intervalNs;
    int m_ticks = 0;
};
