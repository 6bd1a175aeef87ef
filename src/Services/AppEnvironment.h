#pragma once

#include "Services/Clock.h"
#include "Services/Desktop.h"

#include <QString>
#include <QUrl>

#include <memory>

class QSettings;

// Everything outside the store that the store talks to. The application uses production(); tests
// point every entry at temporary folders, a private keyring prefix and the stand-in service.
struct AppEnvironment {
    // INI file holding preferences and history; empty uses the platform's settings for
    // organisation and application "Moonforge".
    QString settingsPath;
    // Keyring services are "<prefix>.Moonforge" (current) and "<prefix>.Sharpzoom" (earlier).
    QString keychainPrefix = QStringLiteral("org.moonforge");
    // Keyring collection new items go into (a D-Bus object path or alias); empty is the default.
    QString keychainCollection;
    // Read-only fallback token when the keyring holds none (REPLICATE_API_TOKEN).
    QString environmentToken;
    QUrl apiBase = QUrl(QStringLiteral("https://api.replicate.com/v1"));
    QUrl webBase = QUrl(QStringLiteral("https://replicate.com"));
    // The SQLite job journal: every job, pair and prediction, so that work survives a quit or a
    // crash. Empty keeps jobs only as long as the process lives.
    QString journalPath;
    // Root of the caches ("<root>/schemas", "<root>/prices"); empty means no caches.
    QString cacheFolder;
    std::shared_ptr<Clock> clock = std::make_shared<Clock>();
    // Open panels and reveal; may be null, in which case those requests do nothing.
    std::shared_ptr<Desktop> desktop;

    // The real user's surroundings, with MOONFORGE_API_BASE, MOONFORGE_WEB_BASE,
    // MOONFORGE_SETTINGS_FILE, MOONFORGE_JOURNAL_FILE and MOONFORGE_KEYRING_PREFIX honoured.
    static AppEnvironment production();

    // Every reader and writer of settings opens them here, so that all of them use one file.
    std::unique_ptr<QSettings> openSettings() const;
    static std::unique_ptr<QSettings> openSettings(const QString &settingsPath);
};
