#include "ImageCommands.h"

#include "Models/AppError.h"
#include "Services/ImageFile.h"
#include "StoredPng.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

#include <exception>

namespace ImageCommands
{
namespace
{

void printJson(FILE *out, const QJsonObject &object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fprintf(out, "%s\n", line.constData());
    std::fflush(out);
}

int fail(FILE *err, const QString &message)
{
    std::fprintf(err, "moonforge-imagetool: %s\n", qUtf8Printable(message));
    return 1;
}

QUrl fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    // A half-written output must never be mistaken for a result.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

int usage(FILE *err)
{
    std::fprintf(err, "usage: moonforge-imagetool inspect FILE...\n"
                      "       moonforge-imagetool thumbnail --max N IN OUT.png\n"
                      "       moonforge-imagetool prepare IN OUT\n");
    return 1;
}

} // namespace

int inspect(const QStringList &files, FILE *out, FILE *err)
{
    if (files.isEmpty())
        return usage(err);
    int status = 0;
    for (const QString &file : files) {
        // inspect itself never fails; a file that is not there is the caller's mistake.
        if (!QFileInfo(file).isFile()) {
            status = fail(err, QStringLiteral("%1: no such file").arg(file));
            continue;
        }
        const ImageFile::Info info = ImageFile::inspect(fileUrl(file));
        QJsonObject object{{QStringLiteral("file"), file}};
        if (info.pixelSize) {
            object.insert(QStringLiteral("width"), qRound64(info.pixelSize->width()));
            object.insert(QStringLiteral("height"), qRound64(info.pixelSize->height()));
        }
        object.insert(QStringLiteral("bytes"), info.byteSize);
        printJson(out, object);
    }
    return status;
}

int thumbnail(int maxPixel, const QString &input, const QString &output, FILE *out, FILE *err)
{
    if (maxPixel <= 0)
        return fail(err, QStringLiteral("--max needs a positive number of pixels"));
    const std::optional<QImage> image = ImageFile::thumbnail(fileUrl(input), maxPixel);
    if (!image)
        return fail(err, QStringLiteral("%1: no thumbnail could be made").arg(input));
    // A preview is small, and storing it uncompressed keeps the encoder's cost out of thumbnail
    // timings.
    const QByteArray png = storedPng(*image);
    if (png.isEmpty())
        return fail(err, QStringLiteral("%1: the PNG could not be encoded").arg(output));
    QString error;
    if (!writeFile(output, png, &error))
        return fail(err, QStringLiteral("%1: %2").arg(output, error));
    printJson(out, {{QStringLiteral("width"), image->width()},
                    {QStringLiteral("height"), image->height()}});
    return 0;
}

int prepare(const QString &input, const QString &output, FILE *out, FILE *err)
{
    try {
        const ImageFile::Upload upload = ImageFile::prepareForUpload(fileUrl(input));
        QString error;
        if (!writeFile(output, upload.data, &error))
            return fail(err, QStringLiteral("%1: %2").arg(output, error));
        printJson(out, {{QStringLiteral("filename"), upload.filename},
                        {QStringLiteral("mime"), upload.mimeType}});
        return 0;
    } catch (const AppError &error) {
        return fail(err, error.message());
    } catch (const std::exception &error) {
        return fail(err, QStringLiteral("%1: %2").arg(input, QString::fromUtf8(error.what())));
    }
}

int run(const QStringList &args, FILE *out, FILE *err)
{
    if (args.isEmpty())
        return usage(err);
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("inspect"))
        return inspect(rest, out, err);
    if (command == QLatin1String("thumbnail")) {
        if (rest.size() != 4 || rest.at(0) != QLatin1String("--max"))
            return usage(err);
        bool ok = false;
        const int maxPixel = rest.at(1).toInt(&ok);
        if (!ok)
            return fail(err, QStringLiteral("--max needs a number, not \"%1\"").arg(rest.at(1)));
        return thumbnail(maxPixel, rest.at(2), rest.at(3), out, err);
    }
    if (command == QLatin1String("prepare")) {
        if (rest.size() != 2)
            return usage(err);
        return prepare(rest.at(0), rest.at(1), out, err);
    }
    return usage(err);
}

} // namespace ImageCommands
