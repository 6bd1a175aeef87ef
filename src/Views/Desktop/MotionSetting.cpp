#include "Views/Desktop/MotionSetting.h"

#include "Views/Theme/Animation.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace
{
const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString settingsInterface = u"org.freedesktop.portal.Settings"_s;

// Read answers a variant holding the value, which older portals wrap once more.
QVariant unwrapped(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}
} // namespace

const QString MotionSetting::settingsNamespace = u"org.gnome.desktop.interface"_s;
const QString MotionSetting::key = u"enable-animations"_s;

MotionSetting::MotionSetting(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    if (qEnvironmentVariableIntValue("MOONFORGE_REDUCE_MOTION") == 1 || !m_bus.isConnected())
        return;
    m_bus.connect(portalService, portalPath, settingsInterface, u"SettingChanged"_s, this,
                  SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, u"Read"_s);
    call << settingsNamespace << key;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &MotionSetting::read);
}

void MotionSetting::read(QDBusPendingCallWatcher *reply)
{
    reply->deleteLater();
    const QDBusPendingReply<QDBusVariant> answer = *reply;
    // No portal, or a desktop without the key: the switch stays as it started.
    if (answer.isError() || m_changed)
        return;
    apply(answer.value().variant());
}

void MotionSetting::settingChanged(const QString &group, const QString &name,
                                   const QDBusVariant &value)
{
    if (group != settingsNamespace || name != key)
        return;
    m_changed = true;
    apply(value.variant());
}

void MotionSetting::apply(const QVariant &value)
{
    const QVariant setting = unwrapped(value);
    if (setting.metaType() == QMetaType::fromType<bool>())
        Animation::setEnabled(setting.toBool());
}
