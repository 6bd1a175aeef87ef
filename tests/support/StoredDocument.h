#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

// Stored-document fixtures and edits of them for the persistence tests.
namespace StoredDocument
{
// The bytes of tests/fixtures/persistence/<name>, exactly as committed.
QByteArray fixture(const QString &name);
// `bytes` with the value at `path` ("modes/0/focusedSlug") replaced, or removed when none.
QByteArray edited(const QByteArray &bytes, const QString &path,
                  const std::optional<QJsonValue> &replacement);
} // namespace StoredDocument
