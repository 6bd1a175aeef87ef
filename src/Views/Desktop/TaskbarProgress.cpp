#include "Views/Desktop/TaskbarProgress.h"

#include <QDBusMessage>
#include <QGuiApplication>

#include <cmath>

using namespace Qt::StringLiterals;

const QString TaskbarProgress::interface = u"com.canonical.Unity.LauncherEntry"_s;

TaskbarProgress::TaskbarProgress(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(gatherMilliseconds);
    connect(&m_gather, &QTimer::timeout, this, &TaskbarProgress::send);
}

TaskbarProgress::~TaskbarProgress()
{
    clear();
}

QString TaskbarProgress::applicationUri()
{
    const QString name = QGuiApplication::desktopFileName();
    return u"application://"_s + (name.isEmpty() ? u"org.moonforge.Moonforge"_s : name) +
           u".desktop"_s;
}

QString TaskbarProgress::objectPath()
{
    // Any path of ours will do; the listeners go by the application's URI.
    return u"/com/canonical/unity/launcherentry/"_s + QString::number(qHash(applicationUri(), 0));
}

void TaskbarProgress::show(double fraction, int remaining)
{
    if (!m_bus.isConnected())
        return;
    m_permille = int(std::lround(std::clamp(fraction, 0.0, 1.0) * 1000));
    m_remaining = std::max(0, remaining);
    if (!m_showing) {
        // The first update goes out at once, so the bar appears with the run.
        m_showing = true;
        send();
    } else if (!m_gather.isActive() &&
               (m_permille != m_sentPermille || m_remaining != m_sentRemaining)) {
        m_gather.start();
    }
}

void TaskbarProgress::clear()
{
    m_gather.stop();
    if (!m_showing)
        return;
    m_showing = false;
    m_sentPermille = m_sentRemaining = -1;
    QDBusMessage update = QDBusMessage::createSignal(objectPath(), interface, u"Update"_s);
    update << applicationUri()
           << QVariantMap{{u"progress-visible"_s, false}, {u"count-visible"_s, false}};
    m_bus.send(update);
}

void TaskbarProgress::send()
{
    if (!m_showing || (m_permille == m_sentPermille && m_remaining == m_sentRemaining))
        return;
    m_sentPermille = m_permille;
    m_sentRemaining = m_remaining;
    QDBusMessage update = QDBusMessage::createSignal(objectPath(), interface, u"Update"_s);
    update << applicationUri()
           << QVariantMap{{u"progress"_s, m_permille / 1000.0},
                          {u"progress-visible"_s, true},
                          {u"count"_s, qint64(m_remaining)},
                          {u"count-visible"_s, m_remaining > 0}};
    m_bus.send(update);
}
