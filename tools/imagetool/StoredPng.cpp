#include "StoredPng.h"

#include <png.h>

#include <csetjmp>

namespace
{

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flush(png_structp) {}

// Kept apart from the QImage and QByteArray work, so that a jump out of libpng skips no
// destructor.
bool encode(png_structp png, png_infop info, const QImage &rows, QByteArray *out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, append, flush);
    const bool alpha = rows.format() == QImage::Format_RGBA8888;
    png_set_IHDR(png, info, png_uint_32(rows.width()), png_uint_32(rows.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Stored blocks gain nothing from row filters, so none are tried.
    png_set_compression_level(png, 0);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (int y = 0; y < rows.height(); ++y)
        png_write_row(png, rows.constScanLine(y));
    png_write_end(png, info);
    return true;
}

} // namespace

QByteArray storedPng(const QImage &image)
{
    if (image.isNull())
        return {};
    const QImage rows = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                                      : QImage::Format_RGB888);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    QByteArray out;
    out.reserve(qsizetype(rows.sizeInBytes()) + rows.height() + 1024);
    const bool written = info && encode(png, info, rows, &out);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}
