#include "Services/ImageFile.h"

#include <QFile>

#include <libffmpegthumbnailer/videothumbnailerc.h>

#include <memory>

namespace ImageFile::detail
{

std::optional<QImage> videoFrame(const QString &path, int maxPixel)
{
    if (maxPixel <= 0)
        return std::nullopt;
    std::unique_ptr<video_thumbnailer, void (*)(video_thumbnailer *)> thumbnailer(
        video_thumbnailer_create(), video_thumbnailer_destroy);
    std::unique_ptr<image_data, void (*)(image_data *)> data(video_thumbnailer_create_image_data(),
                                                             video_thumbnailer_destroy_image_data);
    if (!thumbnailer || !data)
        return std::nullopt;
    thumbnailer->seek_percentage = 0; // the first frame
    thumbnailer->thumbnail_image_type = Png;
    thumbnailer->maintain_aspect_ratio = 1;
    video_thumbnailer_set_size(thumbnailer.get(), maxPixel, maxPixel);
    const QByteArray local = QFile::encodeName(path);
    if (video_thumbnailer_generate_thumbnail_to_buffer(thumbnailer.get(), local.constData(),
                                                       data.get()) != 0)
        return std::nullopt;
    QImage image;
    if (!image.loadFromData(data->image_data_ptr, data->image_data_size, "PNG") || image.isNull())
        return std::nullopt;
    if (image.width() > maxPixel || image.height() > maxPixel)
        image = image.scaled(maxPixel, maxPixel, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace ImageFile::detail
