#include "Views/Theme/Animation.h"

#include "Views/Theme/AnimationClock.h"

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
    : QObject(repaint), m_repaint(repaint), m_from(initial), m_target(initial), m_shown(initial)
{
    connect(&Animation::notifier(), &Animation::Switch::toggled, this, [this](bool on) {
        // The switch already reads off: anything still ticking lands at once.
        if (!on && m_ticking)
            setValue(m_target);
    });
}

AnimatedValue::~AnimatedValue()
{
    if (m_ticking)
        AnimationClock::instance().release(this);
}

qreal AnimatedValue::value() const
{
    if (!m_ticking)
        return m_target;
    const qreal progress = AnimationClock::instance().progress(m_startedMs, m_durationMs);
    if (progress >= 1)
        return m_target;
    return m_from + (m_target - m_from) * m_curve.valueForProgress(progress);
}

bool AnimatedValue::isRunning() const
{
    return m_ticking && AnimationClock::instance().progress(m_startedMs, m_durationMs) < 1;
}

void AnimatedValue::animateTo(qreal target, int milliseconds, QEasingCurve curve)
{
    if (qFuzzyCompare(target + 1, m_target + 1) && (isRunning() || value() == target))
        return;
    m_from = value();
    m_target = target;
    if (!Animation::enabled() || milliseconds <= 0) {
        halt();
        show(target);
        return;
    }
    AnimationClock &clock = AnimationClock::instance();
    m_startedMs = clock.now();
    m_durationMs = milliseconds;
    m_curve = std::move(curve);
    if (!m_ticking) {
        m_ticking = connect(&clock, &AnimationClock::tick, this, &AnimatedValue::step);
        clock.hold(this);
    }
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
    halt();
    m_from = m_target = value;
    show(value);
}

void AnimatedValue::step()
{
    const bool arrived = !isRunning();
    show(value());
    if (arrived)
        halt();
}

void AnimatedValue::halt()
{
    if (!m_ticking)
        return;
    disconnect(m_ticking);
    m_ticking = {};
    AnimationClock::instance().release(this);
}

void AnimatedValue::show(qreal value)
{
    if (value == m_shown)
        return;
    m_shown = value;
    if (m_repaint)
        m_repaint->update();
    Q_EMIT changed();
}

RepeatingValue::RepeatingValue(QWidget *repaint, int periodMilliseconds, bool reversing,
                               QEasingCurve curve, qreal resting)
    : QObject(repaint), m_repaint(repaint),
      // One loop runs linearly; value() shapes it, so a reversing motion runs the curve forward
      // in the first half of the loop and backward in the second.
      m_loopMs(reversing ? periodMilliseconds * 2 : periodMilliseconds), m_curve(std::move(curve)),
      m_reversing(reversing), m_resting(resting)
{
    connect(&Animation::notifier(), &Animation::Switch::toggled, this, [this](bool on) {
        if (!on)
            halt();
        else if (m_wanted && !isRunning())
            begin();
    });
}

RepeatingValue::~RepeatingValue()
{
    if (m_ticking)
        AnimationClock::instance().release(this);
}

qreal RepeatingValue::value() const
{
    if (!isRunning() || !Animation::enabled())
        return m_resting;
    qreal phase = AnimationClock::instance().phase(m_startedMs, m_loopMs);
    if (m_reversing) {
        phase *= 2;
        if (phase > 1)
            phase = 2 - phase;
    }
    return m_curve.valueForProgress(phase);
}

void RepeatingValue::start()
{
    m_wanted = true;
    if (Animation::enabled() && !isRunning())
        begin();
}

void RepeatingValue::stop()
{
    m_wanted = false;
    halt();
}

void RepeatingValue::begin()
{
    AnimationClock &clock = AnimationClock::instance();
    m_startedMs = clock.now();
    m_ticking = connect(&clock, &AnimationClock::tick, this, [this] {
        if (!Animation::enabled()) {
            halt();
            return;
        }
        if (m_repaint)
            m_repaint->update();
    });
    clock.hold(this);
}

void RepeatingValue::halt()
{
    if (m_ticking) {
        disconnect(m_ticking);
        m_ticking = {};
        AnimationClock::instance().release(this);
    }
    if (m_repaint)
        m_repaint->update();
}
