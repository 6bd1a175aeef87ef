#include "Services/JournalRows.h"

namespace JournalRows
{

JournalJob job(const ImageJob &job, Mode mode, qint64 position)
{
    JournalJob row;
    row.id = job.id();
    row.mode = mode;
    row.position = position;
    const JobInput &input = job.input();
    row.isPrompt = input.isPrompt();
    row.source = input.isPrompt() ? input.text() : input.url().toString(QUrl::FullyEncoded);
    for (const QUrl &reference : input.references())
        row.references.append(reference.toString(QUrl::FullyEncoded));
    row.treeRoot = job.treeRoot().toString(QUrl::FullyEncoded);
    if (const std::optional<QSizeF> size = job.pixelSize()) {
        row.pixelWidth = size->width();
        row.pixelHeight = size->height();
    }
    row.byteSize = job.byteSize();
    return row;
}

QList<JournalPair> pairs(const ImageJob &job)
{
    QList<JournalPair> rows;
    for (const ModelVariantPtr &variant : job.variants()) {
        JournalPair row;
        row.id = variant->id();
        row.jobId = job.id();
        row.position = int(rows.size());
        row.slug = variant->modelSlug();
        row.title = variant->modelTitle();
        row.status = variant->status().kind();
        row.message = variant->status().message();
        row.predictionId = variant->predictionId().value_or(QString());
        row.cancelURL = variant->predictionCancelURL().value_or(QString());
        row.resultURL = variant->resultURL().toString(QUrl::FullyEncoded);
        if (const std::optional<QSizeF> size = variant->resultPixelSize()) {
            row.resultWidth = size->width();
            row.resultHeight = size->height();
        }
        row.elapsed = variant->elapsed();
        if (const std::optional<CostRange> cost = variant->cost()) {
            row.costLow = cost->low;
            row.costHigh = cost->high;
        }
        rows.append(row);
    }
    return rows;
}

bool isInFlight(const JournalPair &pair)
{
    const bool active =
        pair.status == RunStatus::Kind::running || pair.status == RunStatus::Kind::downloading;
    return active && (!pair.predictionId.isEmpty() || pair.createSentAt.isValid());
}

RunStatus restoredStatus(const JournalPair &pair)
{
    switch (pair.status) {
    case RunStatus::Kind::done:
        return RunStatus::done();
    case RunStatus::Kind::failed:
        return RunStatus::failed(pair.message);
    case RunStatus::Kind::cancelled:
        return RunStatus::cancelled();
    case RunStatus::Kind::running:
    case RunStatus::Kind::downloading:
        return isInFlight(pair) ? RunStatus::running() : RunStatus::waiting();
    case RunStatus::Kind::waiting:
    case RunStatus::Kind::preparing:
    case RunStatus::Kind::uploading:
        break;
    }
    return RunStatus::waiting();
}

ImageJobPtr restore(const JournalJob &row, const QList<JournalPair> &pairs)
{
    QList<QUrl> references;
    for (const QString &reference : row.references)
        references.append(QUrl(reference));
    const JobInput input =
        row.isPrompt ? JobInput::prompt(row.source, references) : JobInput::file(QUrl(row.source));
    auto job = std::make_shared<ImageJob>(row.id, input);
    job->setTreeRoot(QUrl(row.treeRoot));
    job->setByteSize(row.byteSize);
    if (row.pixelWidth && row.pixelHeight)
        job->setPixelSize(QSizeF(*row.pixelWidth, *row.pixelHeight));
    QList<ModelVariantPtr> variants;
    for (const JournalPair &pair : pairs) {
        auto variant = std::make_shared<ModelVariant>(pair.id, pair.slug, pair.title);
        variant->setStatus(restoredStatus(pair));
        if (!pair.resultURL.isEmpty())
            variant->setResultURL(QUrl(pair.resultURL));
        if (pair.resultWidth && pair.resultHeight)
            variant->setResultPixelSize(QSizeF(*pair.resultWidth, *pair.resultHeight));
        variant->setElapsed(pair.elapsed);
        if (pair.costLow && pair.costHigh)
            variant->setCost(CostRange{*pair.costLow, *pair.costHigh});
        if (isInFlight(pair) && !pair.predictionId.isEmpty()) {
            variant->setPredictionId(pair.predictionId);
            if (!pair.cancelURL.isEmpty())
                variant->setPredictionCancelURL(pair.cancelURL);
        }
        variants.append(variant);
    }
    job->setVariants(variants);
    return job;
}

} // namespace JournalRows
