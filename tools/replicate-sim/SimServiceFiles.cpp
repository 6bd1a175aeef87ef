#include "SimService.h"

#include "MultipartParser.h"

#include <QCryptographicHash>
#include <QJsonDocument>

namespace
{

QJsonObject fileRecord(const StoredFile &file, const QString &base)
{
    const QString self = base + QStringLiteral("/v1/files/") + file.id;
    return QJsonObject{
        {QStringLiteral("id"), file.id},
        {QStringLiteral("name"), file.name},
        {QStringLiteral("content_type"), QString::fromLatin1(file.contentType)},
        {QStringLiteral("size"), file.bytes.size()},
        {QStringLiteral("etag"),
         QString::fromLatin1(
             QCryptographicHash::hash(file.bytes, QCryptographicHash::Md5).toHex())},
        {QStringLiteral("checksums"),
         QJsonObject{
             {QStringLiteral("sha256"),
              QString::fromLatin1(
                  QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex())},
             {QStringLiteral("md5"),
              QString::fromLatin1(
                  QCryptographicHash::hash(file.bytes, QCryptographicHash::Md5).toHex())}}},
        {QStringLiteral("metadata"), QJsonObject{}},
        {QStringLiteral("created_at"), file.created.toString(Qt::ISODateWithMs)},
        {QStringLiteral("expires_at"), file.created.addDays(1).toString(Qt::ISODateWithMs)},
        {QStringLiteral("urls"), QJsonObject{{QStringLiteral("get"), self}}}};
}

} // namespace

bool SimService::handleFiles(const HttpRequest &request, HttpReply &reply)
{
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() < 2 || parts.at(1) != QLatin1String("files"))
        return false;
    if (parts.size() == 2 && request.method == "POST") {
        const QByteArray boundary = MultipartParser::boundary(request.header("content-type"));
        if (boundary.isEmpty()) {
            reply.send(HttpResponse::error(400, QStringLiteral("Expected multipart/form-data.")));
            return true;
        }
        const auto form = MultipartParser::parse(request.body, boundary);
        if (!form) {
            reply.send(HttpResponse::error(400, QStringLiteral("Malformed multipart body.")));
            return true;
        }
        for (const MultipartPart &part : *form) {
            if (part.name != "content")
                continue;
            const QString name =
                part.filename.isEmpty() ? QStringLiteral("file") : QString::fromUtf8(part.filename);
            const QByteArray type = part.contentType.isEmpty()
                                        ? QByteArray("application/octet-stream")
                                        : part.contentType;
            const QString id = m_files.add(name, type, part.data);
            reply.send(
                HttpResponse::json(201, QJsonDocument(fileRecord(*m_files.find(id), m_base))));
            return true;
        }
        reply.send(HttpResponse::error(400, QStringLiteral("Missing form field: content.")));
        return true;
    }
    if (parts.size() >= 3 && (request.method == "GET" || request.method == "HEAD")) {
        const StoredFile *file = m_files.find(parts.at(2));
        if (!file)
            reply.send(HttpResponse::error(404, QStringLiteral("Not found.")));
        else if (parts.size() == 4 && parts.at(3) == QLatin1String("download"))
            reply.send(HttpResponse::bytes(200, file->contentType, file->bytes));
        else
            reply.send(HttpResponse::json(200, QJsonDocument(fileRecord(*file, m_base))));
        return true;
    }
    return false;
}

bool SimService::handleDelivery(const HttpRequest &request, HttpReply &reply)
{
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.at(0) != QLatin1String("delivery"))
        return false;
    const StoredFile *file = parts.size() == 3 ? m_files.find(parts.at(1)) : nullptr;
    if (!file || (request.method != "GET" && request.method != "HEAD")) {
        reply.send(HttpResponse::bytes(404, "text/plain", "Not found\n"));
        return true;
    }
    reply.send(HttpResponse::bytes(200, file->contentType, file->bytes));
    return true;
}
