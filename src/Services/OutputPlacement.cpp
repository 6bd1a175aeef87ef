#include "Services/OutputPlacement.h"

#include "Models/JobInput.h"
#include "Services/ImageFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace OutputPlacement
{

QUrl folder(const OutputPlan &plan, const JobInput &input)
{
    if (!plan.destination.isBesideOriginal())
        return plan.destination.folderUrl();
    if (input.isFile())
        return QUrl::fromLocalFile(QFileInfo(input.url().toLocalFile()).absolutePath());
    if (plan.fallbackFolder)
        return *plan.fallbackFolder;
    return QUrl::fromLocalFile(QDir::tempPath());
}

QString scaleText(std::optional<double> scale)
{
    if (!scale)
        return QStringLiteral("up");
    const double value = *scale;
    // Nonsense from a schema must still give a usable name rather than undefined conversions.
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return QStringLiteral("up");
    if (std::round(value) == value)
        return QString::number(static_cast<qint64>(std::round(value)));
    return QString::asprintf("%.1f", value);
}

QString name(const OutputPlan &plan, const QString &modelName, bool tagWithModel, int index,
             int count)
{
    QString text = plan.suffix;
    text.replace(QStringLiteral("{scale}"), scaleText(plan.scale));
    text.replace(QStringLiteral("{model}"), modelName);
    if (tagWithModel && !text.contains(modelName))
        text += QLatin1Char('-') + modelName;
    if (count >= 2)
        text += QLatin1Char('-') + QString::number(index + 1);
    // The template is user text that becomes part of a path: it must never leave the folder.
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QLatin1Char('\\'), QLatin1Char('-'));
    text.remove(QChar(0));
    return text;
}

QString extension(const QUrl &address, const QString &fallback)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
    const QString suffix = QFileInfo(address.path()).suffix();
    return safe.match(suffix).hasMatch() ? suffix : fallback;
}

QUrl place(const OutputPlan &plan, const JobInput &input, const QString &stem,
           const QString &modelName, bool tagWithModel, int index, int count, const QUrl &address,
           const QByteArray &bytes)
{
    const QString dirPath = folder(plan, input).toLocalFile();
    if (!QDir().mkpath(dirPath))
        throw std::runtime_error(
            QStringLiteral("Could not create the folder “%1”.").arg(dirPath).toStdString());
    QString fileName = stem + name(plan, modelName, tagWithModel, index, count);
    // A file made only of dots would name the folder itself or its parent.
    if (fileName.isEmpty() || fileName.count(QLatin1Char('.')) == fileName.size())
        fileName = QStringLiteral("result");
    fileName += QLatin1Char('.') + extension(address, plan.fallbackExtension);
    const QUrl target = ImageFile::uniqueURL(QUrl::fromLocalFile(QDir(dirPath).filePath(fileName)));
    QSaveFile file(target.toLocalFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(file.errorString().toStdString());
    return target;
}

} // namespace OutputPlacement
