#pragma once

#include <optional>
#include <QByteArray>
#include <QList>

// multipart/form-data bodies as browsers, curl and the service's clients send them.
struct MultipartPart {
    QByteArray name;
    QByteArray filename;
    QByteArray contentType;
    QByteArray data;
};

namespace MultipartParser
{

// The boundary parameter of a Content-Type header, quotes removed; empty when absent.
QByteArray boundary(const QByteArray &contentType);
// Nothing when the body does not follow the format.
std::optional<QList<MultipartPart>> parse(const QByteArray &body, const QByteArray &boundary);

} // namespace MultipartParser
