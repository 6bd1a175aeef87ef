#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

// Real output files: an enlarged copy of an uploaded picture, a generated picture, a short clip.
namespace OutputRenderer
{

struct Rendered {
    QByteArray bytes;
    QByteArray contentType;
    QString fileName;
};

// Nothing when the input is not a picture Qt can read. The long side is capped so a large
// upload times a large factor stays cheap.
std::optional<Rendered> upscale(const QByteArray &image, double scale);
// A picture recognisably different per prompt and index: colours and shapes follow a hash.
Rendered generate(const QString &prompt, qint64 seed, const QString &aspectRatio, int index,
                  const QString &format);
Rendered clip();
// "16:9" gives 16:9 within a 512-pixel long side; anything unreadable gives a square.
QSize sizeFor(const QString &aspectRatio, int longSide = 512);

} // namespace OutputRenderer
