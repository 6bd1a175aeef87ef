#include "Models/ModelVariant.h"

#include <QFileInfo>

#include <cmath>

namespace
{

bool sameWork(const std::optional<TaskHandle> &a, const std::optional<TaskHandle> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || *a == *b;
}

bool onDisk(const QUrl &url)
{
    return url.isLocalFile() && QFileInfo::exists(url.toLocalFile());
}

} // namespace

ModelVariant::ModelVariant(const QString &modelSlug, const QString &modelTitle)
    : ModelVariant(QUuid::createUuid(), modelSlug, modelTitle)
{
}

ModelVariant::ModelVariant(const QUuid &id, const QString &modelSlug, const QString &modelTitle)
    : m_id(id), m_modelSlug(modelSlug), m_modelTitle(modelTitle)
{
}

void ModelVariant::setModelTitle(const QString &title)
{
    if (m_modelTitle == title)
        return;
    m_modelTitle = title;
    Q_EMIT modelTitleChanged();
}

void ModelVariant::setStatus(const RunStatus &status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void ModelVariant::setResultURL(const QUrl &url)
{
    // The same file placed again may have come back or gone meanwhile.
    if (m_resultURL == url) {
        refreshResultExists();
        return;
    }
    m_resultURL = url;
    m_resultExists = onDisk(url);
    Q_EMIT resultChanged();
}

void ModelVariant::refreshResultExists()
{
    const bool exists = onDisk(m_resultURL);
    if (m_resultExists == exists)
        return;
    m_resultExists = exists;
    Q_EMIT resultChanged();
}

void ModelVariant::setResultPixelSize(std::optional<QSizeF> size)
{
    if (m_resultPixelSize == size)
        return;
    m_resultPixelSize = size;
    Q_EMIT resultChanged();
}

void ModelVariant::setElapsed(std::optional<double> seconds)
{
    if (m_elapsed == seconds)
        return;
    m_elapsed = seconds;
    Q_EMIT elapsedChanged();
}

void ModelVariant::setCost(std::optional<CostRange> cost)
{
    if (m_cost == cost)
        return;
    m_cost = cost;
    Q_EMIT costChanged();
}

void ModelVariant::setPredictionCancelURL(std::optional<QString> url)
{
    if (m_predictionCancelURL == url)
        return;
    m_predictionCancelURL = std::move(url);
    Q_EMIT predictionCancelURLChanged();
}

void ModelVariant::setPredictionId(std::optional<QString> id)
{
    if (m_predictionId == id)
        return;
    m_predictionId = std::move(id);
    Q_EMIT predictionIdChanged();
}

void ModelVariant::setWork(std::optional<TaskHandle> work)
{
    if (sameWork(m_work, work))
        return;
    m_work = std::move(work);
    Q_EMIT workChanged();
}

void ModelVariant::reset()
{
    setStatus(RunStatus::waiting());
    setResultURL(QUrl());
    setResultPixelSize(std::nullopt);
    setElapsed(std::nullopt);
    setCost(std::nullopt);
    setPredictionCancelURL(std::nullopt);
    setPredictionId(std::nullopt);
}

std::optional<QString> ModelVariant::resultDimensions() const
{
    if (!m_resultPixelSize)
        return std::nullopt;
    return dimensionText(*m_resultPixelSize);
}

QString dimensionText(const QSizeF &size)
{
    const auto whole = [](double value) {
        return QString::number(static_cast<qint64>(std::trunc(value)));
    };
    return whole(size.width()) + QStringLiteral(" \u00D7 ") + whole(size.height());
}
