#include "SampleFiles.h"

#include <QColor>
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
