#include "OutputRenderer.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cmath>

namespace OutputRenderer
{

namespace
{

constexpr int kMaxLongSide = 4096;

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // For PNG, quality 80 means the fastest deflate level: these files live only in memory, so
    // size matters far less than the CPU time a prediction's outputs take under load.
    image.save(&buffer, format, qstrcmp(format, "PNG") == 0 ? 80 : -1);
    return bytes;
}

double scaleOf(const QJsonObject &input)
{
    for (const char *key : {"scale", "upscale_factor", "scale_factor"}) {
        const QJsonValue value = input.value(QLatin1String(key));
        if (value.isDouble())
            return value.toDouble();
        if (value.isString()) {
            // "4x" and "4" both read as 4.
            QString text = value.toString();
            text.remove(QLatin1Char('x'));
            bool ok = false;
            const double number = text.toDouble(&ok);
            if (ok)
                return number;
        }
    }
    return 2;
}

int outputCount(const QJsonObject &input)
{
    int count = 1;
    for (const char *key : {"num_outputs", "number_of_images", "num_images", "n"}) {
        if (input.value(QLatin1String(key)).isDouble())
            count = qBound(1, input.value(QLatin1String(key)).toInt(), 8);
    }
    return count;
}

} // namespace

QString firstImage(const QJsonObject &input)
{
    for (const char *key : {"image", "input_image", "img", "image_url", "start_image"}) {
        const QString value = input.value(QLatin1String(key)).toString();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QSize sizeFor(const QString &aspectRatio, int longSide)
{
    const QStringList parts = aspectRatio.split(QLatin1Char(':'));
    bool okW = false, okH = false;
    const double w = parts.size() == 2 ? parts.at(0).toDouble(&okW) : 0;
    const double h = parts.size() == 2 ? parts.at(1).toDouble(&okH) : 0;
    if (!okW || !okH || w <= 0 || h <= 0)
        return QSize(longSide, longSide);
    if (w >= h)
        return QSize(longSide, qMax(1, int(std::lround(longSide * h / w))));
    return QSize(qMax(1, int(std::lround(longSide * w / h))), longSide);
}

std::optional<Rendered> upscale(const QByteArray &image, double scale)
{
    QImage source;
    if (!source.loadFromData(image))
        return std::nullopt;
    const double factor = scale > 0 ? scale : 2;
    QSize target(qMax(1, int(std::lround(source.width() * factor))),
                 qMax(1, int(std::lround(source.height() * factor))));
    if (qMax(target.width(), target.height()) > kMaxLongSide)
        target.scale(kMaxLongSide, kMaxLongSide, Qt::KeepAspectRatio);
    const QImage scaled = source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return Rendered{encode(scaled, "PNG"), "image/png", QStringLiteral("output.png")};
}

Rendered generate(const QString &prompt, qint64 seed, const QString &aspectRatio, int index,
                  const QString &format)
{
    const QByteArray digest =
        QCryptographicHash::hash((prompt + QLatin1Char('#') + QString::number(seed) +
                                  QLatin1Char('#') + QString::number(index))
                                     .toUtf8(),
                                 QCryptographicHash::Sha256);
    const auto byte = [&](int i) { return int(quint8(digest.at(i % digest.size()))); };
    const QSize size = sizeFor(aspectRatio);
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width(), h = size.height();
    const int cx = byte(6) * w / 255, cy = byte(7) * h / 255;
    const int radius = 20 + byte(8) * qMin(w, h) / 400;
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy < radius * radius) {
                line[x] = qRgb(255 - byte(9), 255 - byte(10), 255 - byte(11));
                continue;
            }
            const int r = (byte(0) * (w - x) + byte(3) * x) / qMax(1, w);
            const int g = (byte(1) * (h - y) + byte(4) * y) / qMax(1, h);
            const int b = ((byte(2) + (x / 32 + y / 32) % 2 * 40)) % 256;
            line[x] = qRgb(r, g, b);
        }
    }
    QString extension = format.toLower();
    if (extension == QLatin1String("jpeg"))
        extension = QStringLiteral("jpg");
    const bool webp = extension == QLatin1String("webp") &&
                      QImageWriter::supportedImageFormats().contains("webp");
    if (extension == QLatin1String("jpg"))
        return Rendered{encode(image, "JPEG"), "image/jpeg",
                        QStringLiteral("out-%1.jpg").arg(index)};
    if (webp)
        return Rendered{encode(image, "WEBP"), "image/webp",
                        QStringLiteral("out-%1.webp").arg(index)};
    return Rendered{encode(image, "PNG"), "image/png", QStringLiteral("out-%1.png").arg(index)};
}

Rendered clip()
{
    QFile file(QStringLiteral(":/resources/clip.mp4"));
    file.open(QIODevice::ReadOnly);
    return Rendered{file.readAll(), "video/mp4", QStringLiteral("output.mp4")};
}

Outcome render(SchemaFactory::Kind kind, const QJsonObject &input,
               const std::optional<QByteArray> &source)
{
    using SchemaFactory::Kind;
    Outcome outcome;
    if (kind == Kind::upscale) {
        const std::optional<Rendered> out =
            source ? upscale(*source, scaleOf(input)) : std::nullopt;
        if (out)
            outcome.files.append(*out);
        else
            outcome.error = source ? QStringLiteral("cannot identify image file")
                                   : QStringLiteral("could not fetch the input image");
    } else if (kind == Kind::image) {
        const QString prompt =
            input.value(QStringLiteral("prompt"))
                .toString(input.value(QStringLiteral("negative_prompt")).toString());
        const qint64 seed = qint64(input.value(QStringLiteral("seed")).toDouble(0));
        const int count = outputCount(input);
        for (int i = 0; i < count; ++i)
            outcome.files.append(generate(
                prompt, seed, input.value(QStringLiteral("aspect_ratio")).toString(), i,
                input.value(QStringLiteral("output_format")).toString(QStringLiteral("png"))));
    } else {
        outcome.files.append(clip());
    }
    return outcome;
}

} // namespace OutputRenderer
