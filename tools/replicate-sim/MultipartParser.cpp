#include "MultipartParser.h"

namespace MultipartParser
{

namespace
{

QByteArray parameter(const QByteArray &header, const QByteArray &name)
{
    for (QByteArray piece : header.split(';')) {
        piece = piece.trimmed();
        const qsizetype equals = piece.indexOf('=');
        if (equals < 0 || piece.left(equals).trimmed().toLower() != name)
            continue;
        QByteArray value = piece.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

} // namespace

QByteArray boundary(const QByteArray &contentType)
{
    if (!contentType.trimmed().toLower().startsWith("multipart/form-data"))
        return {};
    return parameter(contentType, "boundary");
}

std::optional<QList<MultipartPart>> parse(const QByteArray &body, const QByteArray &boundary)
{
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray delimiter = "--" + boundary;
    qsizetype position = body.indexOf(delimiter);
    if (position < 0)
        return std::nullopt;
    QList<MultipartPart> parts;
    for (;;) {
        position += delimiter.size();
        if (body.mid(position, 2) == "--")
            return parts;
        if (body.mid(position, 2) != "\r\n")
            return std::nullopt;
        position += 2;
        const qsizetype headEnd = body.indexOf("\r\n\r\n", position);
        if (headEnd < 0)
            return std::nullopt;
        MultipartPart part;
        const QList<QByteArray> lines = body.mid(position, headEnd - position).split('\n');
        for (QByteArray line : lines) {
            line = line.trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-disposition") {
                part.name = parameter(value, "name");
                part.filename = parameter(value, "filename");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        const qsizetype dataStart = headEnd + 4;
        const QByteArray separator = QByteArray("\r\n") + delimiter;
        const qsizetype next = body.indexOf(separator, dataStart);
        if (next < 0)
            return std::nullopt;
        part.data = body.mid(dataStart, next - dataStart);
        parts.append(part);
        position = next + 2;
    }
}

} // namespace MultipartParser
