#include "Services/SettingsWriter.h"

#include "Services/AppEnvironment.h"

#include <QMutexLocker>
#include <QSettings>

#include <algorithm>
#include <memory>

SettingsWriter::SettingsWriter(QString path) : m_path(std::move(path))
{
    // One thread, so writes never overtake each other.
    m_thread.setMaxThreadCount(1);
}

SettingsWriter::~SettingsWriter()
{
    flush();
}

void SettingsWriter::write(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    const auto same = std::find_if(m_pending.begin(), m_pending.end(),
                                   [&key](const auto &pending) { return pending.first == key; });
    if (same != m_pending.end())
        m_pending.erase(same);
    m_pending.append({key, value});
    if (std::exchange(m_scheduled, true))
        return;
    m_thread.start([this] { writePending(); });
}

QVariant SettingsWriter::value(const QString &key, const QVariant &fallback)
{
    flush();
    return AppEnvironment::openSettings(m_path)->value(key, fallback);
}

void SettingsWriter::flush()
{
    m_thread.waitForDone();
}

void SettingsWriter::writePending()
{
    QList<std::pair<QString, QVariant>> values;
    {
        QMutexLocker lock(&m_mutex);
        values.swap(m_pending);
        m_scheduled = false;
    }
    // Settings objects for one file share their contents within the process, under a lock of
    // their own, so this one may write while the GUI thread's one reads.
    const auto settings = AppEnvironment::openSettings(m_path);
    for (const auto &[key, value] : values)
        settings->setValue(key, value);
    settings->sync();
}
