#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

// Reads a PNG in one pass at full size while keeping a reduced copy of the rows read so far, and
// hands that copy out every few hundred milliseconds. A 192-megapixel result takes seconds to
// inflate whatever one does; this way the picture appears at once and fills in from the top, as
// in a browser, and the full image is ready as soon as an ordinary decode would be.
namespace StreamingPng
{
// `progress` runs on the decoding thread with the reduced copy (longest side at most
// `previewSide`) and the full size. `wanted` is asked between chunks; answering false stops.
// Nothing when the file is not a non-interlaced PNG this reader takes, or cannot be read: the
// caller then decodes it the ordinary way.
std::optional<QImage> decode(const QString &path, int previewSide,
                             const std::function<void(const QImage &, QSize)> &progress,
                             const std::function<bool()> &wanted);
} // namespace StreamingPng
