#include "TestEnvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QUuid>

TestEnvironment::TestEnvironment(double timeScale)
{
    QStandardPaths::setTestModeEnabled(true);
    Q_ASSERT(m_dir.isValid());
    m_environment.settingsPath = m_dir.filePath(QStringLiteral("settings.ini"));
    m_environment.cacheFolder = m_dir.filePath(QStringLiteral("cache/Moonforge"));
    m_environment.journalPath = m_dir.filePath(QStringLiteral("journal.sqlite3"));
    m_environment.keychainPrefix =
        QStringLiteral("org.moonforge.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_environment.apiBase = QUrl(QStringLiteral("http://127.0.0.1:9/v1"));
    m_environment.webBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
    m_environment.clock = std::make_shared<Clock>(timeScale);
}
