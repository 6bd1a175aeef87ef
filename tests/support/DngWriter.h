#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// Writes a small but real camera RAW file: a DNG whose first directory is an 8-bit RGB preview
// (as cameras store it) and whose sub-directory holds the 16-bit Bayer (RGGB) sensor data. It
// lets RAW decoding be tested without shipping a multi-megabyte camera file.
namespace DngWriter
{
struct Options {
    QSize sensor = QSize(120, 80);
    QSize preview = QSize(32, 24);
    int orientation = 1; // TIFF/EXIF orientation tag of the photo
};
QByteArray make(const Options &options);
bool write(const QString &path, const Options &options);
} // namespace DngWriter
