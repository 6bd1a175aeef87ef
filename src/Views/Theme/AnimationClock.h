#pragma once

#include <QObject>
#include <QSet>
#include <QTimer>

// The one clock painted motion reads. Animated values, the job rows' pill fades and every
// progress ring measure how far they are by it while painting, so they move in step and all see
// the animations-off switch the moment it turns: a motion in flight then reads as finished.
// Motions that move hold the clock; it ticks about 60 times a second while any does.
class AnimationClock final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimationClock)
public:
    static AnimationClock &instance();

    // Milliseconds since the clock started; never goes back.
    qint64 now() const;
    // How far a motion of `durationMs` started at `startedMs` has got, 0 … 1: 1 once it is over
    // and at once while animations are off.
    qreal progress(qint64 startedMs, int durationMs) const;
    // Where a motion repeating every `periodMs` since `startedMs` is in its cycle, 0 … 1.
    qreal phase(qint64 startedMs, int periodMs) const;

    // Ticks are wanted by `mover` until released; releasing twice is harmless.
    void hold(const QObject *mover);
    void release(const QObject *mover);

Q_SIGNALS:
    // Time to repaint what moves.
    void tick();

private:
    AnimationClock();

    QTimer m_ticks;
    QSet<const QObject *> m_movers;
};
