#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Result files the service sends inline: a "data:" URI holding the file itself, in base64 or
// percent-encoded form, with its media type in front (data:image/png;base64,iVBOR…).
namespace DataUri
{

bool isDataUri(const QUrl &address);
// "type/subtype" in lower case; empty when the URI names none.
QString mediaType(const QUrl &address);
// The file's extension as its media type gives it ("image/png" gives "png", "image/jpeg" the
// usual "jpg"); empty when the URI names no type.
QString suffix(const QUrl &address);
// The file's bytes. Throws AppError::api (status 0) with malformedText() when the data is
// malformed or empty.
QByteArray decode(const QUrl &address);
QString malformedText();

} // namespace DataUri
