#include "Services/Updater.h"

#include "Services/AppEnvironment.h"

#include <QSettings>

const QString Updater::automaticChecksKey = QStringLiteral("SUEnableAutomaticChecks");

Updater::Updater(const QString &settingsPath, QObject *parent)
    : QObject(parent), m_settings(AppEnvironment::openSettings(settingsPath))
{
}

Updater::~Updater() = default;

bool Updater::canCheckForUpdates() const
{
    // No feed is configured in this build: there is nowhere to look.
    return false;
}

bool Updater::automaticallyChecksForUpdates() const
{
    return m_settings->value(automaticChecksKey, true).toBool();
}

void Updater::setAutomaticallyChecksForUpdates(bool check)
{
    if (check == automaticallyChecksForUpdates())
        return;
    m_settings->setValue(automaticChecksKey, check);
    m_settings->sync();
    Q_EMIT automaticallyChecksForUpdatesChanged();
}

void Updater::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
}
