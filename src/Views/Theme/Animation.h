#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointer>
#include <QVariantAnimation>

class QWidget;

// Timed changes of the screens. A widget keeps a few animated numbers and reads them while
// painting; the number is always the resting value when nothing runs, so painting code never asks
// whether an animation is going.
namespace Animation
{

// The one switch: off makes every change instant and every repeating motion still. Starts off when
// MOONFORGE_REDUCE_MOTION=1 or the desktop asks for reduced motion; tests turn it off too.
bool enabled();
void setEnabled(bool enabled);

// A spring of response r seconds (critically damped) is drawn as an out-cubic curve of r seconds.
int springDuration(qreal response);

} // namespace Animation

// One animated number. Every step repaints `target` (when given) and emits changed().
class AnimatedValue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimatedValue)
public:
    explicit AnimatedValue(QWidget *repaint, qreal initial = 0);

    qreal value() const { return m_value; }
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
    void apply(qreal value);

    QPointer<QWidget> m_repaint;
    QVariantAnimation m_animation;
    qreal m_value;
    qreal m_target;
};

// A motion that repeats for ever while started: value() runs 0 → 1 over `period` (and back again
// when `reversing`), along `curve`. With animations off it stays at its resting value.
class RepeatingValue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RepeatingValue)
public:
    RepeatingValue(QWidget *repaint, int periodMilliseconds, bool reversing,
                   QEasingCurve curve = QEasingCurve::Linear, qreal resting = 0);

    qreal value() const;
    bool isRunning() const;
    void start();
    void stop();

private:
    QPointer<QWidget> m_repaint;
    QVariantAnimation m_animation;
    QEasingCurve m_curve;
    bool m_reversing;
    qreal m_resting;
};
