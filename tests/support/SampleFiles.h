#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// Sample images for the image tests, made at test time by Qt or by command-line encoders.
namespace SampleFiles
{
// A w x h picture with a gradient in every channel, so scaling and cropping show.
QImage pattern(int w, int h, QImage::Format format = QImage::Format_RGB32);
// A smooth w x h picture whose red rises to the right and green downwards, so that every turn
// and mirror shows even in a small preview.
QImage gradient(int w, int h);
// The TIFF structure of an EXIF segment that tags the given orientation (1 to 8), in Intel or
// Motorola byte order: one directory of two entries, the width and then the orientation.
QByteArray exifOrientation(int orientation, bool bigEndian = false);
// `jpeg` with an EXIF segment holding `tiff` after its JFIF header.
QByteArray withExif(const QByteArray &jpeg, const QByteArray &tiff);
bool writeImage(const QImage &image, const QString &path, const char *format);
bool writeBytes(const QString &path, const QByteArray &bytes);
QByteArray readAll(const QString &path);
// Runs an encoder; false when it is not installed or fails, so the caller can skip.
bool runTool(const QString &program, const QStringList &args);
// `count` small photos photo-0.png, photo-1.png … in `folder`, each a different colour; empty
// when one cannot be written.
QList<QUrl> colouredPhotos(const QString &folder, int count);
// Decodes PNG upload bytes; a null image when they are not a PNG.
QImage decodedPng(const QByteArray &bytes);
} // namespace SampleFiles
