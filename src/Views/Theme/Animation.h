#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointer>

class QWidget;

// Timed changes of the screens. A widget keeps a few animated numbers and reads them while
// painting; the number is always the resting value when nothing runs, so painting code never asks
// whether an animation is going.
namespace Animation
{

// The one switch: off makes every change instant and every repeating motion still. Starts off when
// MOONFORGE_REDUCE_MOTION=1; the desktop's reduce-motion setting turns it while the application
// runs (MotionSetting); tests turn it off too.
bool enabled();
void setEnabled(bool enabled);

// Tells the animated values that the switch turned: motions in flight jump to their end when it
// goes off, and repeating ones that were wanted start again when it comes back on.
class Switch final : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
Q_SIGNALS:
    void toggled(bool enabled);
};
Switch &notifier();

// A spring of response r seconds (critically damped) is drawn as an out-cubic curve of r seconds.
int springDuration(qreal response);

} // namespace Animation

// One animated number, measured by the animation clock whenever it is read. While it moves, every
// tick repaints `repaint` (when given) and emits changed().
class AnimatedValue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimatedValue)
public:
    explicit AnimatedValue(QWidget *repaint, qreal initial = 0);
    ~AnimatedValue() override;

    qreal value() const;
    qreal target() const { return m_target; }
    bool isRunning() const;

    // Moves to `target` over `milliseconds` along `curve`; instant with animations off.
    void animateTo(qreal target, int milliseconds, QEasingCurve curve = QEasingCurve::OutCubic);
    void springTo(qreal target, qreal response);
    void easeOutTo(qreal target, qreal seconds);
    // Jumps to `value` and stops any motion.
    void setValue(qreal value);

Q_SIGNALS:
    void changed();

private:
    void step();
    void halt();
    // Repaints and tells when the value differs from the one last shown.
    void show(qreal value);

    QPointer<QWidget> m_repaint;
    qreal m_from;
    qreal m_target;
    qreal m_shown;
    qint64 m_startedMs = 0;
    int m_durationMs = 0;
    QEasingCurve m_curve;
    QMetaObject::Connection m_ticking;
};

// A motion that repeats for ever while started: value() runs 0 → 1 over `period` (and back again
// when `reversing`), along `curve`, by the animation clock. With animations off it stays at its
// resting value.
class RepeatingValue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RepeatingValue)
public:
    RepeatingValue(QWidget *repaint, int periodMilliseconds, bool reversing,
                   QEasingCurve curve = QEasingCurve::Linear, qreal resting = 0);
    ~RepeatingValue() override;

    qreal value() const;
    bool isRunning() const { return bool(m_ticking); }
    void start();
    void stop();

private:
    void begin();
    void halt();

    QPointer<QWidget> m_repaint;
    int m_loopMs;
    QEasingCurve m_curve;
    bool m_reversing;
    qreal m_resting;
    qint64 m_startedMs = 0;
    QMetaObject::Connection m_ticking;
    // Started and not stopped: it runs whenever animations are on.
    bool m_wanted = false;
};
