#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSettings;

// Looks for new versions of the application. This build has no update feed, so it can never
// check; the user's choice of automatic checks is still kept, for builds that have one.
class Updater final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Updater)
public:
    // `settingsPath` is the INI file the store uses, or empty for the platform's settings.
    explicit Updater(const QString &settingsPath = {}, QObject *parent = nullptr);
    ~Updater() override;

    bool canCheckForUpdates() const;
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool check);
    // Starts a check when one is possible; does nothing otherwise.
    void checkForUpdates();

    static const QString automaticChecksKey;

Q_SIGNALS:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();

private:
    std::unique_ptr<QSettings> m_settings;
};
