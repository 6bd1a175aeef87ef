#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusPendingCallWatcher;
class QDBusVariant;

// Follows the desktop's wish for motion, GNOME's enable-animations read through the settings
// portal and watched while the application runs, and turns the animation switch with it.
// MOONFORGE_REDUCE_MOTION=1 keeps animations off whatever the desktop says; without a portal the
// switch stays as it is.
class MotionSetting final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MotionSetting)
public:
    explicit MotionSetting(const QDBusConnection &bus, QObject *parent = nullptr);

    static const QString settingsNamespace;
    static const QString key;

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &name, const QDBusVariant &value);

private:
    void read(QDBusPendingCallWatcher *reply);
    void apply(const QVariant &value);

    QDBusConnection m_bus;
    // A change signalled before the first read answers is newer than that answer.
    bool m_changed = false;
};
