#include "Services/VariantPipeline.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"
#include "Services/DataUri.h"
#include "Services/ImageFile.h"
#include "Services/NetworkError.h"
#include "Services/OutputPlacement.h"

#include <QCoroFuture>
#include <QException>
#include <QFileInfo>
#include <QtConcurrent>

#include <algorithm>

namespace
{

// The value of work running on the thread pool, or what it threw.
template <typename T> QCoro::Task<T> resultOf(QFuture<T> future)
{
    try {
        co_return co_await future;
    } catch (const QUnhandledException &wrapped) {
        if (wrapped.exception())
            std::rethrow_exception(wrapped.exception());
        throw;
    }
}

bool isCancellation(const std::exception *error)
{
    if (const auto *appError = dynamic_cast<const AppError *>(error))
        return appError->kind() == AppError::Kind::cancelled;
    if (const auto *networkError = dynamic_cast<const NetworkError *>(error))
        return networkError->code() == QNetworkReply::OperationCanceledError;
    return false;
}

} // namespace

VariantPipeline::VariantPipeline(Setup setup) : m_setup(std::move(setup))
{
    if (!m_setup.clock)
        m_setup.clock = std::make_shared<Clock>();
    if (!m_setup.service)
        m_setup.service = std::make_shared<ServiceWork>(nullptr);
}

double VariantPipeline::nextPollDelay(double delay)
{
    return std::min(delay, 4.5) + 0.5;
}

QString VariantPipeline::failureText(const ReplicateClient::Prediction &prediction)
{
    const QString error = prediction.error.value_or(QString()).trimmed();
    if (!error.isEmpty())
        return error;
    // The service's deadline passed before the model started; it charges nothing for that.
    if (prediction.status == QLatin1String("aborted"))
        return QStringLiteral("Replicate aborted this prediction before it started. Nothing was "
                              "charged.");
    return QStringLiteral("Prediction ") + prediction.status + QLatin1Char('.');
}

std::optional<CostRange> VariantPipeline::cost(const std::optional<ModelPrice> &price,
                                               const ModelSchema &schema, const QJsonObject &input,
                                               int outputCount, std::optional<QSizeF> pixelSize,
                                               std::optional<double> predictTime)
{
    if (!price)
        return std::nullopt;
    return price->charge({outputCount, pixelSize,
                          schema.numericValue(ModelSchema::durationKeys(), input), predictTime});
}

QCoro::Task<void> VariantPipeline::run()
{
    return carry([this] { return steps(); });
}

QCoro::Task<void> VariantPipeline::resume(QString predictionId, QJsonObject input,
                                          QStringList placed)
{
    m_input = std::move(input);
    m_placed = std::move(placed);
    return carry([this, predictionId] { return resumedSteps(predictionId); });
}

QCoro::Task<void> VariantPipeline::carry(std::function<QCoro::Task<void>()> steps)
{
    // The caller may drop its reference as soon as this has started.
    const auto self = shared_from_this();
    // Until the pair has ended, shutting down waits for it and for the cancel it may send.
    const ServiceWork::Lease lease = m_setup.service->hold();
    m_startedAt = m_setup.clock->now();
    m_setup.variant->setWork(m_work);
    // A poll or a file being read may take a moment to notice; the pill and the service should
    // not wait for that.
    const TaskHandle::Registration onCancel = m_work.onCancel([this] { endCancelled(); });
    try {
        auto stepping = steps();
        co_await stepping;
    } catch (const std::exception &error) {
        fail(&error);
    } catch (...) {
        fail(nullptr);
    }
}

QCoro::Task<void> VariantPipeline::steps()
{
    auto uploading = upload();
    const QList<QUrl> uploaded = co_await uploading;

    m_work.throwIfCancelled();
    m_setup.variant->setStatus(RunStatus::running());
    m_input = m_setup.job->input().predictionInput(m_setup.plan.extraInputs, m_setup.plan.schema,
                                                   uploaded);
    auto predicting = predict();
    co_await predicting;
    auto finishing = finish();
    co_await finishing;
}

QCoro::Task<void> VariantPipeline::resumedSteps(QString predictionId)
{
    const ModelVariantPtr variant = m_setup.variant;
    variant->setStatus(RunStatus::running());
    variant->setPredictionId(predictionId);
    m_prediction.id = predictionId;
    m_prediction.getURL =
        m_setup.client.endpoint({QStringLiteral("predictions"), predictionId}).toString();
    // Known before the first answer, so a Stop in the meantime still reaches the service.
    variant->setPredictionCancelURL(
        m_setup.client
            .endpoint({QStringLiteral("predictions"), predictionId, QStringLiteral("cancel")})
            .toString());
    // Asked at once: it may well have ended while the application was away.
    auto asking = m_setup.client.getPrediction(*m_prediction.getURL, m_work);
    m_prediction = co_await asking;
    if (m_prediction.cancelURL)
        variant->setPredictionCancelURL(m_prediction.cancelURL);
    auto polling = poll();
    co_await polling;
    m_work.throwIfCancelled();
    // Stopped on the service while nobody here was waiting for it: the person's own cancel.
    if (m_prediction.status == QLatin1String("canceled") && !m_ended) {
        m_ended = true;
        variant->setStatus(RunStatus::cancelled());
        variant->setPredictionCancelURL(std::nullopt);
        co_return;
    }
    auto finishing = finish();
    co_await finishing;
}

QCoro::Task<void> VariantPipeline::finish()
{
    const ModelVariantPtr variant = m_setup.variant;
    m_work.throwIfCancelled();
    if (m_prediction.status != QLatin1String("succeeded"))
        throw AppError::predictionFailed(failureText(m_prediction));

    const QList<QUrl> addresses = m_prediction.outputURLs();
    if (addresses.isEmpty())
        throw AppError::noOutput();
    variant->setStatus(RunStatus::downloading());
    QList<QUrl> saved;
    for (int index = 0; index < addresses.size(); ++index) {
        m_work.throwIfCancelled();
        auto looking = placedBefore(index);
        const std::optional<QUrl> placed = co_await looking;
        if (placed) {
            saved.append(*placed);
            continue;
        }
        auto saving = save(addresses.at(index), index, int(addresses.size()));
        saved.append(co_await saving);
    }
    m_work.throwIfCancelled();
    auto recording = record(saved);
    co_await recording;
}

QCoro::Task<QList<QUrl>> VariantPipeline::upload()
{
    m_work.throwIfCancelled();
    m_setup.variant->setStatus(RunStatus::preparing());
    const QList<QUrl> sources = m_setup.job->input().uploadSources(m_setup.plan.schema);
    QList<QUrl> uploaded;
    for (const QUrl &source : sources) {
        QFuture<ImageFile::Upload> preparing =
            QtConcurrent::run([source] { return ImageFile::prepareForUpload(source); });
        auto prepared = resultOf(preparing);
        const ImageFile::Upload file = co_await prepared;
        m_work.throwIfCancelled();
        m_setup.variant->setStatus(RunStatus::uploading());
        auto uploadingFile =
            m_setup.client.uploadFile(file.data, file.filename, file.mimeType, m_work);
        const QString address = co_await uploadingFile;
        uploaded.append(QUrl(address));
    }
    co_return uploaded;
}

QCoro::Task<void> VariantPipeline::predict()
{
    if (m_setup.beforeCreate) {
        auto noting = m_setup.beforeCreate(m_input);
        co_await noting;
        m_work.throwIfCancelled();
    }
    // A cancel stops the wait at once but not the request: its answer names the prediction,
    // which fail() then hands on to be cancelled.
    m_create = PendingCreate::send(m_setup.client, m_setup.plan.model, m_setup.plan.schema, m_input,
                                   waitSeconds, m_setup.service->abortHandle(), m_work);
    auto answering = m_create->answer(m_work);
    m_prediction = co_await answering;
    m_create.reset();
    // First of all: from now on the pair is paid work the service knows by this id.
    if (!m_prediction.id.isEmpty())
        m_setup.variant->setPredictionId(m_prediction.id);
    m_setup.variant->setPredictionCancelURL(m_prediction.cancelURL);
    auto polling = poll();
    co_await polling;
}

QCoro::Task<void> VariantPipeline::poll()
{
    double delay = firstPollDelay;
    while (!m_prediction.isTerminal()) {
        m_work.throwIfCancelled();
        auto sleeping = m_setup.clock->sleep(delay, m_work);
        co_await sleeping;
        if (!m_prediction.getURL)
            break;
        auto polling = m_setup.client.getPrediction(*m_prediction.getURL, m_work);
        m_prediction = co_await polling;
        delay = nextPollDelay(delay);
    }
}

QCoro::Task<QUrl> VariantPipeline::save(QUrl address, int index, int count)
{
    const OutputPlacement::Target where = OutputPlacement::target(
        m_setup.output, m_setup.job->input(), m_setup.job->filenameStem(), m_setup.plan.model.name,
        m_setup.tagWithModel, index, count, address, m_setup.job->treeRoot());
    if (DataUri::isDataUri(address)) {
        auto writing = saveInline(address, where, index);
        const QUrl saved = co_await writing;
        co_return saved;
    }
    // Dropped, and so removed, unless the whole output arrives and gets its name.
    auto opening = openPart(where.folder);
    const std::shared_ptr<QTemporaryFile> part = co_await opening;
    auto downloading = m_setup.client.download(address, part.get(), m_work);
    co_await downloading;
    m_work.throwIfCancelled();
    auto committing = commitInBackground(part, where, index);
    const QUrl saved = co_await committing;
    co_return saved;
}

QCoro::Task<std::shared_ptr<QTemporaryFile>> VariantPipeline::openPart(QString folder)
{
    if (m_setup.beforePart && folder != m_partFolder) {
        m_partFolder = folder;
        auto noting = m_setup.beforePart(folder);
        co_await noting;
        m_work.throwIfCancelled();
    }
    co_return OutputPlacement::openPart(folder,
                                        m_setup.variant->id().toString(QUuid::WithoutBraces));
}

QCoro::Task<std::optional<QUrl>> VariantPipeline::placedBefore(int index)
{
    if (index >= m_placed.size() || m_placed.at(index).isEmpty())
        co_return std::nullopt;
    const QString path = m_placed.at(index);
    QFuture<bool> looking = QtConcurrent::run([path] { return QFileInfo(path).isFile(); });
    auto found = resultOf(looking);
    const bool isFile = co_await found;
    if (!isFile)
        co_return std::nullopt;
    co_return QUrl::fromLocalFile(path);
}

namespace
{

// A result name held from its choice until the part has been moved there, or has failed to be.
struct HeldName {
    QString path;
    ~HeldName() { OutputPlacement::releaseName(path); }
};

} // namespace

QCoro::Task<QUrl> VariantPipeline::commitInBackground(std::shared_ptr<QTemporaryFile> part,
                                                      OutputPlacement::Target where, int index)
{
    // Flushing to the disk can take tens of milliseconds, so it is done on a worker thread; the
    // worker shares the file, which stays open until it is done.
    if (!m_setup.beforeName) {
        QFuture<QUrl> committing =
            QtConcurrent::run([part, where] { return OutputPlacement::commit(*part, where); });
        auto committed = resultOf(committing);
        const QUrl saved = co_await committed;
        co_return saved;
    }
    QFuture<bool> finishing = QtConcurrent::run([part] {
        OutputPlacement::finishPart(*part);
        return true;
    });
    auto finished = resultOf(finishing);
    co_await finished;
    // The name is told before the part takes it, and held meanwhile against the other results of
    // this process; one the user took in between only makes us choose again.
    for (int attempt = 0; attempt < OutputPlacement::maxCommitAttempts; ++attempt) {
        QFuture<QString> choosing =
            QtConcurrent::run([where] { return OutputPlacement::reserveName(where); });
        auto chosen = resultOf(choosing);
        const QString path = co_await chosen;
        const HeldName name{path};
        auto noting = m_setup.beforeName(index, name.path);
        co_await noting;
        QFuture<bool> renaming = QtConcurrent::run(
            [part, path = name.path] { return OutputPlacement::moveInto(*part, path); });
        auto renamed = resultOf(renaming);
        const bool moved = co_await renamed;
        if (moved)
            co_return QUrl::fromLocalFile(name.path);
    }
    throw std::runtime_error("No free file name is left for this result.");
}

QCoro::Task<QUrl> VariantPipeline::saveInline(QUrl address, OutputPlacement::Target where,
                                              int index)
{
    // Decoded whole before anything is written, so bad data never leaves a file behind.
    QFuture<QByteArray> decoding =
        QtConcurrent::run([address] { return DataUri::decode(address); });
    auto decoded = resultOf(decoding);
    const QByteArray bytes = co_await decoded;
    m_work.throwIfCancelled();
    auto opening = openPart(where.folder);
    const std::shared_ptr<QTemporaryFile> part = co_await opening;
    if (part->write(bytes) != bytes.size())
        throw std::runtime_error(part->errorString().toStdString());
    auto committing = commitInBackground(part, where, index);
    const QUrl saved = co_await committing;
    co_return saved;
}

QCoro::Task<void> VariantPipeline::record(QList<QUrl> saved)
{
    const ModelVariantPtr variant = m_setup.variant;
    const QUrl first = saved.first();
    variant->setResultURL(first);
    if (ImageFile::isImage(first)) {
        QFuture<ImageFile::Info> inspecting =
            QtConcurrent::run([first] { return ImageFile::inspect(first); });
        auto inspected = resultOf(inspecting);
        variant->setResultPixelSize((co_await inspected).pixelSize);
    }
    variant->setCost(cost(m_setup.plan.price, m_setup.plan.schema, m_input, int(saved.size()),
                          variant->resultPixelSize(), m_prediction.predictTime));
    if (m_setup.job->thumbnail().isNull()) {
        QFuture<std::optional<QImage>> previewing =
            ImageFile::resultThumbnail(first, resultThumbnailSize);
        auto previewed = resultOf(previewing);
        const std::optional<QImage> preview = co_await previewed;
        if (preview)
            m_setup.job->setThumbnail(*preview);
    }
    // Cancelled while the result was being looked at: the pair has ended already.
    if (m_ended)
        co_return;
    m_ended = true;
    variant->setElapsed(m_setup.clock->now() - m_startedAt);
    variant->setStatus(RunStatus::done());
    if (m_setup.onDone)
        m_setup.onDone();
    variant->setPredictionCancelURL(std::nullopt);
}

void VariantPipeline::fail(const std::exception *error)
{
    if (m_work.isCancelled() || isCancellation(error)) {
        endCancelled();
        return;
    }
    if (m_ended)
        return;
    m_ended = true;
    m_create.reset();
    const ModelVariantPtr variant = m_setup.variant;
    // A prediction that ran and then failed is still billed for its run time under a per-second
    // price; under the other units a failure makes nothing and costs nothing.
    const std::optional<ModelPrice> &price = m_setup.plan.price;
    if (price && price->unit == PriceUnit::computeSecond && m_prediction.predictTime)
        variant->setCost(
            cost(price, m_setup.plan.schema, m_input, 0, std::nullopt, m_prediction.predictTime));
    variant->setStatus(RunStatus::failed(error ? localizedDescription(*error)
                                               : QStringLiteral("Something went wrong.")));
    variant->setPredictionCancelURL(std::nullopt);
}

void VariantPipeline::endCancelled()
{
    if (m_ended)
        return;
    m_ended = true;
    const ModelVariantPtr variant = m_setup.variant;
    // The variant ends now; the service is told in the background, once.
    if (const std::shared_ptr<PendingCreate> create = std::exchange(m_create, {}))
        m_setup.service->cancelWhenNamed(m_setup.client, create);
    else if (const auto address = variant->predictionCancelURL())
        m_setup.service->cancel(m_setup.client, *address);
    variant->setStatus(RunStatus::cancelled());
    variant->setPredictionCancelURL(std::nullopt);
}
