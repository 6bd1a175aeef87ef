#include "SampleFiles.h"

#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>

namespace SampleFiles
{

QImage pattern(int w, int h, QImage::Format format)
{
    QImage image(w, h, format);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelColor(x, y, QColor((x * 7) % 256, (y * 3) % 256, (x + y) % 256));
    return image;
}

QImage gradient(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(255 * x / w, 255 * y / h, 96);
    }
    return image;
}

QByteArray exifOrientation(int orientation, bool bigEndian)
{
    QByteArray tiff;
    QDataStream out(&tiff, QIODevice::WriteOnly);
    out.setByteOrder(bigEndian ? QDataStream::BigEndian : QDataStream::LittleEndian);
    out.writeRawData(bigEndian ? "MM" : "II", 2);
    out << quint16(42) << quint32(8);
    out << quint16(2);
    out << quint16(0x0100) << quint16(4) << quint32(1) << quint32(1600);
    out << quint16(0x0112) << quint16(3) << quint32(1) << quint16(orientation) << quint16(0);
    out << quint32(0);
    return tiff;
}

QByteArray withExif(const QByteArray &jpeg, const QByteArray &tiff)
{
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1");
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff));
    segment.append(payload);
    // After SOI and, when there is one, the JFIF APP0 segment that must come first.
    qsizetype at = 2;
    if (jpeg.size() > 6 && quint8(jpeg[2]) == 0xFF && quint8(jpeg[3]) == 0xE0)
        at = 4 + (quint8(jpeg[4]) << 8 | quint8(jpeg[5]));
    return QByteArray(jpeg).insert(at, segment);
}

bool writeImage(const QImage &image, const QString &path, const char *format)
{
    QImageWriter writer(path, format);
    if (writer.write(image))
        return true;
    qWarning("cannot write %s: %s", qPrintable(path), qPrintable(writer.errorString()));
    return false;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runTool(const QString &program, const QStringList &args)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QImage decodedPng(const QByteArray &bytes)
{
    QImage image;
    image.loadFromData(bytes, "PNG");
    return image;
}

QList<QUrl> colouredPhotos(const QString &folder, int count)
{
    QList<QUrl> files;
    for (int i = 0; i < count; ++i) {
        const QString path =
            QDir::cleanPath(QDir(folder).filePath(QStringLiteral("photo-%1.png").arg(i)));
        QImage photo(40, 30, QImage::Format_RGB32);
        photo.fill(QColor::fromHsv(i * 50, 200, 200));
        if (!photo.save(path))
            return {};
        files.append(QUrl::fromLocalFile(path));
    }
    return files;
}

} // namespace SampleFiles
