#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <exception>

class TestEnvironment;

// Stored-document fixtures and edits of them for the persistence tests.
namespace StoredDocument
{
// The bytes of tests/fixtures/persistence/<name>, exactly as committed.
QByteArray fixture(const QString &name);
// `bytes` with the value at `path` ("modes/0/focusedSlug") replaced, or removed when undefined.
QByteArray edited(const QByteArray &bytes, const QString &path,
                  const QJsonValue &replacement = QJsonValue::Undefined);
// The bytes stored under `key` in the environment's settings file, and storing them there.
QByteArray stored(const TestEnvironment &env, const QString &key);
void store(const TestEnvironment &env, const QString &key, const QByteArray &bytes);
// Whether `decode` reads `bytes` without throwing.
template <typename Decode> bool reads(const QByteArray &bytes, Decode decode)
{
    try {
        decode(bytes);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
} // namespace StoredDocument
