#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>
#include <QVariant>

#include <utility>

// Writes values to the settings file on a thread of its own. Each write locks, rewrites and
// flushes the whole file, which takes a tenth of a second or more while results are being saved;
// on the GUI thread that would hold the window still. Writes land in the order they were asked
// for; a value asked for again before it was written is written once, as the newest.
class SettingsWriter final
{
    Q_DISABLE_COPY_MOVE(SettingsWriter)
public:
    // The settings AppEnvironment::openSettings() opens for this path.
    explicit SettingsWriter(QString path);
    // Waits until everything asked for is on disk.
    ~SettingsWriter();

    void write(const QString &key, const QVariant &value);
    // The stored value with every write asked for so far, which it waits for first: instant
    // while nothing is pending, as when a window reads its settings at start.
    QVariant value(const QString &key, const QVariant &fallback = {});
    // Blocks until everything asked for so far is on disk.
    void flush();

private:
    void writePending();

    const QString m_path;
    QMutex m_mutex;
    QList<std::pair<QString, QVariant>> m_pending; // guarded by m_mutex
    bool m_scheduled = false;                      // guarded by m_mutex
    QThreadPool m_thread;
};
