#include "RequestLog.h"

#include <QDateTime>
#include <QJsonObject>

namespace
{

// Bodies above this size are logged by size only; uploads would swamp the log.
constexpr qsizetype kLoggedBodyLimit = 64 * 1024;

bool looksTextual(const QByteArray &type)
{
    return type.startsWith("application/json") || type.startsWith("text/");
}

} // namespace

void RequestLog::record(const HttpRequest &request)
{
    QJsonObject headers;
    for (const auto &pair : request.headers)
        headers.insert(QString::fromLatin1(pair.first), QString::fromUtf8(pair.second));
    const QByteArray authorization = request.header("authorization");
    QJsonObject entry{
        {QStringLiteral("method"), QString::fromLatin1(request.method)},
        {QStringLiteral("path"), request.path},
        {QStringLiteral("target"), QString::fromUtf8(request.target)},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("hasAuthorization"), !authorization.isEmpty()},
        {QStringLiteral("authorization"), QString::fromUtf8(authorization)},
        {QStringLiteral("bodySize"), request.body.size()},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    if (request.body.size() <= kLoggedBodyLimit && looksTextual(request.header("content-type")))
        entry.insert(QStringLiteral("body"), QString::fromUtf8(request.body));
    m_entries.append(entry);
}
