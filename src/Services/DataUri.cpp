#include "Services/DataUri.h"

#include "Models/AppError.h"

namespace
{

// Everything after "data:", exactly as the service wrote it.
QByteArray body(const QUrl &address)
{
    return address.toEncoded().mid(int(sizeof("data:")) - 1);
}

QByteArray header(const QUrl &address)
{
    const QByteArray text = body(address);
    const qsizetype comma = text.indexOf(',');
    return comma < 0 ? QByteArray() : text.left(comma);
}

[[noreturn]] void malformed()
{
    throw AppError::api(0, DataUri::malformedText());
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Percent-decoding that refuses a stray "%" rather than passing it through.
QByteArray percentDecoded(const QByteArray &text)
{
    for (qsizetype i = text.indexOf('%'); i >= 0; i = text.indexOf('%', i + 1)) {
        if (i + 2 >= text.size() || !isHex(text.at(i + 1)) || !isHex(text.at(i + 2)))
            malformed();
    }
    return QByteArray::fromPercentEncoding(text);
}

} // namespace

namespace DataUri
{

bool isDataUri(const QUrl &address)
{
    return address.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0;
}

QString mediaType(const QUrl &address)
{
    if (!isDataUri(address))
        return {};
    const QByteArray type =
        QByteArray::fromPercentEncoding(header(address).split(';').constFirst()).trimmed();
    return type.contains('/') ? QString::fromUtf8(type).toLower() : QString();
}

QString suffix(const QUrl &address)
{
    const QString type = mediaType(address);
    if (type == QLatin1String("image/jpeg"))
        return QStringLiteral("jpg");
    return type.isEmpty() ? QString() : type.section(QLatin1Char('/'), 1);
}

QString malformedText()
{
    return QStringLiteral("Replicate sent a result file that could not be read.");
}

QByteArray decode(const QUrl &address)
{
    const QByteArray text = body(address);
    const qsizetype comma = text.indexOf(',');
    if (!isDataUri(address) || comma < 0)
        malformed();
    const QList<QByteArray> parameters = text.left(comma).split(';');
    const bool base64 =
        parameters.size() > 1 && parameters.constLast().trimmed().toLower() == "base64";
    QByteArray bytes = percentDecoded(text.mid(comma + 1));
    if (base64) {
        auto result = QByteArray::fromBase64Encoding(
            bytes, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!result)
            malformed();
        bytes = std::move(result.decoded);
    }
    // An empty result would be saved as an empty file and pass for the paid output.
    if (bytes.isEmpty())
        malformed();
    return bytes;
}

} // namespace DataUri
