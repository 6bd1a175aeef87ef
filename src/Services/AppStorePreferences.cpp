// Preferences: every mode's state and the reveal switch, written whenever one of them changes and
// read back once while the store is built.
#include "Models/PreferencesRecord.h"
#include "Services/AppStore.h"
#include "Services/SettingsWriter.h"

#include <QSettings>

#include <exception>

const QString AppStore::preferencesKey = QStringLiteral("MoonforgePreferences.v3");
const QString AppStore::unreadableSuffix = QStringLiteral(".unreadable");

void AppStore::setFilenameSuffix(const QString &suffix)
{
    ModeState current = state();
    current.filenameSuffix = suffix;
    setState(current);
    savePreferences();
}

void AppStore::setIncludeSubfolders(bool include)
{
    ModeState current = state();
    current.includeSubfolders = include;
    setState(current);
    savePreferences();
}

void AppStore::setSpendLimit(std::optional<double> dollars)
{
    ModeState current = state();
    current.spendLimit = dollars;
    setState(current);
    savePreferences();
}

void AppStore::savePreferences()
{
    if (m_isLoadingPreferences)
        return;
    const std::optional<QByteArray> bytes =
        PreferencesRecord{m_states.values(), m_revealWhenDone}.encode();
    if (!bytes)
        return;
    writeStored(preferencesKey, *bytes, m_unreadablePreferences);
}

void AppStore::loadPreferences()
{
    if (!m_settings->contains(preferencesKey))
        return;
    const QByteArray bytes = m_settings->value(preferencesKey).toByteArray();
    PreferencesRecord record;
    try {
        record = PreferencesRecord::decode(bytes);
    } catch (const std::exception &) {
        // The defaults stay; the bytes are kept aside at the first save instead of being lost.
        m_unreadablePreferences = bytes;
        return;
    }

    m_isLoadingPreferences = true;
    for (ModeState &stored : record.modes) {
        stored.pruneUnknownSelection();
        m_states.insert(stored.mode, stored);
    }
    Q_EMIT stateChanged();
    setRevealWhenDone(record.revealWhenDone);
    m_isLoadingPreferences = false;
}

void AppStore::writeStored(const QString &key, const QByteArray &bytes,
                           std::optional<QByteArray> &unreadable)
{
    if (unreadable) {
        m_settingsWriter->write(key + unreadableSuffix, *unreadable);
        unreadable.reset();
    }
    // On disk a moment later, and for certain once the store is gone.
    m_settingsWriter->write(key, bytes);
}
