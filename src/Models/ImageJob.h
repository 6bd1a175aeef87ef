#pragma once

#include "Models/JobInput.h"
#include "Models/ModelVariant.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSizeF>
#include <QUuid>

#include <memory>
#include <optional>

// One input (an image file or a prompt) and its variants, one per model.
class ImageJob : public QObject
{
    Q_OBJECT
public:
    explicit ImageJob(const JobInput &input);
    // A job brought back from the journal keeps the identity it was written under.
    ImageJob(const QUuid &id, const JobInput &input);

    QUuid id() const { return m_id; }
    const JobInput &input() const { return m_input; }
    // The folder the user added when this file was found inside it or one of its subfolders;
    // empty for a file added on its own. Results bound for a chosen output folder keep the
    // file's place below this folder.
    QUrl treeRoot() const { return m_treeRoot; }
    void setTreeRoot(const QUrl &folder) { m_treeRoot = folder; }

    // Small preview for the job list; null when there is none yet.
    QImage thumbnail() const { return m_thumbnail; }
    void setThumbnail(const QImage &thumbnail);

    std::optional<QSizeF> pixelSize() const { return m_pixelSize; }
    void setPixelSize(std::optional<QSizeF> size);

    qint64 byteSize() const { return m_byteSize; }
    void setByteSize(qint64 bytes);

    const QList<ModelVariantPtr> &variants() const { return m_variants; }
    void setVariants(const QList<ModelVariantPtr> &variants);

    // Base name for result files.
    QString filenameStem() const;
    std::optional<QString> sourceDimensions() const;
    // The job's summary status, derived from its variants.
    RunStatus status() const;
    QList<ModelVariantPtr> doneVariants() const;
    bool hasViewableResult() const;
    // Looks at the disk again for every result file (see ModelVariant::refreshResultExists).
    void refreshResultFiles();

    // The stem a prompt gives: its first six alphanumeric runs joined by "-", or "generated".
    static QString promptStem(const QString &text);

Q_SIGNALS:
    void thumbnailChanged();
    void pixelSizeChanged();
    void byteSizeChanged();
    void variantsChanged();

private:
    QUuid m_id;
    JobInput m_input;
    QUrl m_treeRoot;
    QImage m_thumbnail;
    std::optional<QSizeF> m_pixelSize;
    qint64 m_byteSize = 0;
    QList<ModelVariantPtr> m_variants;
};

using ImageJobPtr = std::shared_ptr<ImageJob>;

// One job and one of its variants: the unit of work of a run.
struct JobVariantPair {
    ImageJobPtr job;
    ModelVariantPtr variant;
};
