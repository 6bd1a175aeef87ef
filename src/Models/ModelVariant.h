#pragma once

#include "Models/CostRange.h"
#include "Models/RunStatus.h"
#include "Models/TaskHandle.h"

#include <QObject>
#include <QSizeF>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

// One (job, model) pair: its run status, its result and what it cost. Shared by the job's list,
// the run and the views; every setter publishes a change only when the value really changes.
class ModelVariant : public QObject
{
    Q_OBJECT
public:
    ModelVariant(const QString &modelSlug, const QString &modelTitle);
    // A pair brought back from the journal keeps the identity it was written under.
    ModelVariant(const QUuid &id, const QString &modelSlug, const QString &modelTitle);

    QUuid id() const { return m_id; }
    QString modelSlug() const { return m_modelSlug; }

    QString modelTitle() const { return m_modelTitle; }
    void setModelTitle(const QString &title);

    RunStatus status() const { return m_status; }
    void setStatus(const RunStatus &status);

    // The first result file saved for this pair; empty when there is none. Setting it also
    // records whether the file is on disk.
    QUrl resultURL() const { return m_resultURL; }
    void setResultURL(const QUrl &url);

    std::optional<QSizeF> resultPixelSize() const { return m_resultPixelSize; }
    void setResultPixelSize(std::optional<QSizeF> size);

    std::optional<double> elapsed() const { return m_elapsed; }
    void setElapsed(std::optional<double> seconds);

    std::optional<CostRange> cost() const { return m_cost; }
    void setCost(std::optional<CostRange> cost);

    std::optional<QString> predictionCancelURL() const { return m_predictionCancelURL; }
    void setPredictionCancelURL(std::optional<QString> url);

    // The service's id of the prediction made for this pair, recorded the moment the service
    // names it, so that a pair interrupted by a quit or a crash is picked up again by this id
    // instead of being paid for twice. Cleared when the pair is reset for another run.
    std::optional<QString> predictionId() const { return m_predictionId; }
    void setPredictionId(std::optional<QString> id);
    // The task now processing this pair, if any.
    std::optional<TaskHandle> work() const { return m_work; }
    void setWork(std::optional<TaskHandle> work);

    // Back to waiting with no result; identity, model and work are kept.
    void reset();

    // A result is recorded and its file was on disk when last looked at. Painting and hit-testing
    // read this; the disk is looked at again only by refreshResultExists().
    bool resultExists() const { return m_resultExists; }
    // Looks at the disk again; publishes resultChanged when the answer differs.
    void refreshResultExists();
    // "W × H" of the result image, when known.
    std::optional<QString> resultDimensions() const;

Q_SIGNALS:
    void modelTitleChanged();
    void statusChanged();
    void resultChanged();
    void elapsedChanged();
    void costChanged();
    void predictionCancelURLChanged();
    void predictionIdChanged();
    void workChanged();

private:
    QUuid m_id;
    QString m_modelSlug;
    QString m_modelTitle;
    RunStatus m_status = RunStatus::waiting();
    QUrl m_resultURL;
    bool m_resultExists = false;
    std::optional<QSizeF> m_resultPixelSize;
    std::optional<double> m_elapsed;
    std::optional<CostRange> m_cost;
    std::optional<QString> m_predictionCancelURL;
    std::optional<QString> m_predictionId;
    std::optional<TaskHandle> m_work;
};

using ModelVariantPtr = std::shared_ptr<ModelVariant>;

// "2048 × 1536": each side truncated to a whole number.
QString dimensionText(const QSizeF &size);
