#include "Views/Theme/Animation.h"

#include <QWidget>

#include <cmath>

namespace Animation
{

namespace
{
bool startsEnabled()
{
    return qEnvironmentVariableIntValue("MOONFORGE_REDUCE_MOTION") != 1;
}
bool g_enabled = startsEnabled();
} // namespace

bool enabled()
{
    return g_enabled;
}

void setEnabled(bool on)
{
    if (g_enabled == on)
        return;
    g_enabled = on;
    Q_EMIT notifier().toggled(on);
}

Switch &notifier()
{
    // Never destroyed: animated values may outlive the application object at exit.
    static auto *const instance = new Switch;
    return *instance;
}

int springDuration(qreal response)
{
    return static_cast<int>(std::lround(response * 1000));
}

} // namespace Animation

AnimatedValue::AnimatedValue(QWidget *repaint, qreal initial)
    : QObject(repaint), m_repaint(repaint), m_value(initial), m_target(initial)
{
    connect(&m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { apply(value.toReal()); });
    connect(&Animation::notifier(), &Animation::Switch::toggled, this, [this](bool on) {
        if (!on && isRunning())
            setValue(m_target);
    });
}

bool AnimatedValue::isRunning() const
{
    return m_animation.state() == QAbstractAnimation::Running;
}

void AnimatedValue::animateTo(qreal target, int milliseconds, QEasingCurve curve)
{
    if (qFuzzyCompare(target + 1, m_target + 1) && (isRunning() || m_value == target))
        return;
    m_target = target;
    m_animation.stop();
    if (!Animation::enabled() || milliseconds <= 0) {
        apply(target);
        return;
    }
    m_animation.setStartValue(m_value);
    m_animation.setEndValue(target);
    m_animation.setDuration(milliseconds);
    m_animation.setEasingCurve(curve);
    m_animation.start();
}

void AnimatedValue::springTo(qreal target, qreal response)
{
    animateTo(target, Animation::springDuration(response), QEasingCurve::OutCubic);
}

void AnimatedValue::easeOutTo(qreal target, qreal seconds)
{
    animateTo(target, Animation::springDuration(seconds), QEasingCurve::OutQuad);
}

void AnimatedValue::setValue(qreal value)
{
    m_animation.stop();
    m_target = value;
    apply(value);
}

void AnimatedValue::apply(qreal value)
{
    if (value == m_value)
        return;
    m_value = value;
    if (m_repaint)
        m_repaint->update();
    Q_EMIT changed();
}

RepeatingValue::RepeatingValue(QWidget *repaint, int periodMilliseconds, bool reversing,
                               QEasingCurve curve, qreal resting)
    : QObject(repaint), m_repaint(repaint), m_curve(std::move(curve)), m_reversing(reversing),
      m_resting(resting)
{
    // One loop runs linearly; value() shapes it, so a reversing motion runs the curve forward in
    // the first half of the loop and backward in the second.
    m_animation.setStartValue(0.0);
    m_animation.setEndValue(1.0);
    m_animation.setDuration(reversing ? periodMilliseconds * 2 : periodMilliseconds);
    m_animation.setLoopCount(-1);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this] {
        if (!Animation::enabled()) {
            halt();
            return;
        }
        if (m_repaint)
            m_repaint->update();
    });
    connect(&Animation::notifier(), &Animation::Switch::toggled, this, [this](bool on) {
        if (!on)
            halt();
        else if (m_wanted && !isRunning())
            m_animation.start();
    });
}

qreal RepeatingValue::value() const
{
    if (!isRunning())
        return m_resting;
    qreal phase = m_animation.currentValue().toReal();
    if (m_reversing) {
        phase *= 2;
        if (phase > 1)
            phase = 2 - phase;
    }
    return m_curve.valueForProgress(phase);
}

bool RepeatingValue::isRunning() const
{
    return m_animation.state() == QAbstractAnimation::Running;
}

void RepeatingValue::start()
{
    m_wanted = true;
    if (Animation::enabled() && !isRunning())
        m_animation.start();
}

void RepeatingValue::stop()
{
    m_wanted = false;
    halt();
}

void RepeatingValue::halt()
{
    m_animation.stop();
    if (m_repaint)
        m_repaint->update();
}
