#include "Models/ImageJob.h"

#include <QFileInfo>

#include <algorithm>

ImageJob::ImageJob(const JobInput &input) : ImageJob(QUuid::createUuid(), input) {}

ImageJob::ImageJob(const QUuid &id, const JobInput &input) : m_id(id), m_input(input) {}

void ImageJob::setThumbnail(const QImage &thumbnail)
{
    if (m_thumbnail.isNull() && thumbnail.isNull())
        return;
    if (m_thumbnail.cacheKey() == thumbnail.cacheKey())
        return;
    m_thumbnail = thumbnail;
    Q_EMIT thumbnailChanged();
}

void ImageJob::setPixelSize(std::optional<QSizeF> size)
{
    if (m_pixelSize == size)
        return;
    m_pixelSize = size;
    Q_EMIT pixelSizeChanged();
}

void ImageJob::setByteSize(qint64 bytes)
{
    if (m_byteSize == bytes)
        return;
    m_byteSize = bytes;
    Q_EMIT byteSizeChanged();
}

void ImageJob::setVariants(const QList<ModelVariantPtr> &variants)
{
    if (m_variants == variants)
        return;
    m_variants = variants;
    Q_EMIT variantsChanged();
}

QString ImageJob::filenameStem() const
{
    if (m_input.isPrompt())
        return promptStem(m_input.text());
    const QString name = QFileInfo(m_input.url().path()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString ImageJob::promptStem(const QString &text)
{
    // Walk code points so letters outside the Basic Multilingual Plane count too.
    QStringList pieces;
    QString current;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint point : codePoints) {
        if (pieces.size() >= 6)
            break;
        const auto ch = static_cast<char32_t>(point);
        const auto category = QChar::category(ch);
        const bool alphanumeric =
            QChar::isLetterOrNumber(ch) || category == QChar::Mark_NonSpacing ||
            category == QChar::Mark_SpacingCombining || category == QChar::Mark_Enclosing;
        if (alphanumeric) {
            current += QString::fromUcs4(&ch, 1);
        } else if (!current.isEmpty()) {
            pieces.append(current);
            current.clear();
        }
    }
    if (!current.isEmpty() && pieces.size() < 6)
        pieces.append(current);
    return pieces.isEmpty() ? QStringLiteral("generated") : pieces.join(QLatin1Char('-'));
}

std::optional<QString> ImageJob::sourceDimensions() const
{
    if (!m_pixelSize)
        return std::nullopt;
    return dimensionText(*m_pixelSize);
}

RunStatus ImageJob::status() const
{
    if (m_variants.isEmpty())
        return RunStatus::waiting();
    for (const auto &variant : m_variants) {
        if (variant->status().isActive())
            return variant->status();
    }
    const auto any = [this](RunStatus::Kind kind) {
        return std::any_of(m_variants.begin(), m_variants.end(),
                           [kind](const ModelVariantPtr &v) { return v->status().kind() == kind; });
    };
    if (any(RunStatus::Kind::waiting))
        return RunStatus::waiting();
    if (any(RunStatus::Kind::done))
        return RunStatus::done();
    for (const auto &variant : m_variants) {
        if (variant->status().kind() == RunStatus::Kind::failed)
            return variant->status();
    }
    return RunStatus::cancelled();
}

QList<ModelVariantPtr> ImageJob::doneVariants() const
{
    QList<ModelVariantPtr> done;
    for (const auto &variant : m_variants) {
        if (variant->status().kind() == RunStatus::Kind::done)
            done.append(variant);
    }
    return done;
}

bool ImageJob::hasViewableResult() const
{
    const auto done = doneVariants();
    return std::any_of(done.begin(), done.end(),
                       [](const ModelVariantPtr &v) { return v->resultExists(); });
}

void ImageJob::refreshResultFiles()
{
    for (const ModelVariantPtr &variant : m_variants)
        variant->refreshResultExists();
}
