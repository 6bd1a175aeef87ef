#pragma once

#include "Services/AppEnvironment.h"

#include <QTemporaryDir>

#include <memory>

// A store's surroundings inside a temporary folder: its own settings file, caches, keyring
// prefix and a fast clock. Nothing of the real user's is read or written.
class TestEnvironment
{
public:
    // `timeScale` shrinks every sleep the store asks for.
    explicit TestEnvironment(double timeScale = 0.001);

    AppEnvironment environment() const { return m_environment; }
    AppEnvironment &mutableEnvironment() { return m_environment; }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    std::shared_ptr<Clock> clock() const { return m_environment.clock; }

private:
    QTemporaryDir m_dir;
    AppEnvironment m_environment;
};
