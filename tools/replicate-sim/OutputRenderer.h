#pragma once

#include "SchemaFactory.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
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

// The address of the picture an upscaler's input names, under whichever key the model uses.
QString firstImage(const QJsonObject &input);

// Every output file of one prediction, or why there is none.
struct Outcome {
    QList<Rendered> files;
    QString error;
};
// Safe on any thread: it sees only its arguments. `source` is the input picture for upscalers
// (nothing when its address named no file this service holds).
Outcome render(SchemaFactory::Kind kind, const QJsonObject &input,
               const std::optional<QByteArray> &source);
// "16:9" gives 16:9 within a 512-pixel long side; anything unreadable gives a square.
QSize sizeFor(const QString &aspectRatio, int longSide = 512);

} // namespace OutputRenderer
