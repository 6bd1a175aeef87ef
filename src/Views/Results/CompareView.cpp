#include "Views/Results/CompareView.h"

#include "Services/AppStore.h"
#include "Services/Coroutine.h"
#include "Views/Results/CompareCanvas.h"
#include "Views/Results/ResultChips.h"
#include "Views/Results/ResultMessage.h"
#include "Views/Results/ResultText.h"
#include "Views/Results/ResultToolbar.h"
#include "Views/Results/ZoomButtons.h"
#include "Views/Theme/QuietButton.h"

#include <QApplication>
#include <QCoroFuture>
#include <QFileInfo>
#include <QPointer>
#include <QShortcut>
#include <QStackedLayout>
#include <QtConcurrent>
#include <QThreadPool>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <QVBoxLayout>

namespace
{
using Segment = ResultHeading::Segment;

// The decodes run on threads of their own at a lower priority: on a two-core machine two busy
// decoders would otherwise take turns with the GUI thread and stall it for most of a second.
QThreadPool *decodePool()
{
    // Never destroyed: a decode may still be running when the application quits.
    static QThreadPool *pool = [] {
        auto *threads = new QThreadPool;
        threads->setMaxThreadCount(2);
        return threads;
    }();
    return pool;
}

template <typename Work> QFuture<ImagePyramidPtr> runDecode(Work work)
{
    return QtConcurrent::run(decodePool(), [work = std::move(work)]() -> ImagePyramidPtr {
#ifdef Q_OS_LINUX
        // Linux schedules threads one by one: a niceness of 5 gives the GUI thread about three
        // times their share. Raising it back would need privileges, hence a pool of their own.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 5);
#endif
        return work();
    });
}

QString localPath(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
} // namespace

CompareView::CompareView(AppStore &store, ImageJobPtr job, QWidget *parent)
    : QWidget(parent), m_store(store), m_job(std::move(job)), m_follow(store.jobTracker(), m_job),
      m_toolbar(new ResultToolbar(this)), m_zoomButtons(new ZoomButtons(this)),
      m_chips(new ResultChips(this)),
      m_previousChip(new QShortcut(QKeySequence(Qt::Key_Left), this)),
      m_nextChip(new QShortcut(QKeySequence(Qt::Key_Right), this)), m_stack(new QStackedLayout),
      m_canvas(new CompareCanvas(this)),
      m_message(new ResultMessage(QStringLiteral("exclamationmark.triangle"), 28, true, this))
{
    setObjectName(QStringLiteral("compareView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_toolbar->addTool(m_zoomButtons);
    column->addWidget(m_toolbar);
    column->addWidget(m_chips);
    m_stack->addWidget(m_canvas);
    m_stack->addWidget(m_message);
    column->addLayout(m_stack, 1);
    setFocusProxy(m_canvas);

    connect(m_toolbar, &ResultToolbar::doneRequested, this, &CompareView::doneRequested);
    connect(m_toolbar, &ResultToolbar::revealRequested, this, &CompareView::reveal);
    connect(m_message, &ResultMessage::retryRequested, this, &CompareView::reload);
    connect(m_chips, &ResultChips::chosen, this, &CompareView::choose);
    connect(m_chips, &ResultChips::leftChosen, this, &CompareView::chooseLeft);
    connect(m_previousChip, &QShortcut::activated, this, [this] { stepChip(-1); });
    connect(m_nextChip, &QShortcut::activated, this, [this] { stepChip(1); });
    connect(m_zoomButtons, &ZoomButtons::zoomRequested, this,
            [this](ZoomMode mode) { m_canvas->applyZoom(mode, true); });
    connect(m_canvas, &CompareCanvas::zoomChanged, this,
            [this] { m_zoomButtons->setCurrent(m_canvas->zoom().mode()); });
    // A run may finish more results while the sheet is open: the chips follow.
    connect(&store.jobTracker(), &JobTracker::jobChanged, this,
            [this](const ImageJob *changed, JobTracker::Changes changes) {
                if (changed == m_job.get() &&
                    changes.testAnyFlags(JobTracker::Change::status | JobTracker::Change::variants))
                    refreshChips();
            });
    refreshChips();
    refreshToolbar();
}

CompareView::~CompareView()
{
    // Queued decodes see the change and skip; one already running finishes into nothing
    // (the decode coroutine checks that the view still exists), so closing never waits.
    m_latest->fetch_add(1);
}

bool CompareView::hasOriginal() const
{
    return m_job->input().isFile();
}

ZoomMode CompareView::openingZoom() const
{
    return hasOriginal() ? ZoomMode::ratio(1.0) : ZoomMode::fitted();
}

QString CompareView::loadError() const
{
    return m_load == Load::failed ? m_failure : QString();
}

void CompareView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_load == Load::unopened)
        open();
}

void CompareView::open()
{
    const QList<ModelVariantPtr> done = m_job->doneVariants();
    auto existing = std::find_if(done.begin(), done.end(),
                                 [](const ModelVariantPtr &v) { return v->resultExists(); });
    m_selected = existing != done.end() ? *existing : done.value(0);
    m_canvas->resetZoom(openingZoom());
    load();
}

void CompareView::choose(int index)
{
    const ModelVariantPtr variant = m_chipVariants.value(index);
    if (!variant)
        return;
    m_selected = variant;
    load();
}

void CompareView::chooseLeft(int index)
{
    if (index < 0 || index > m_chipVariants.size())
        return;
    const ModelVariantPtr left = index == 0 ? nullptr : m_chipVariants.value(index - 1);
    if (left == m_left)
        return;
    m_left = left;
    load();
}

QUrl CompareView::leftURL() const
{
    if (m_left)
        return m_left->resultURL();
    return hasOriginal() ? m_job->input().url() : QUrl();
}

void CompareView::reload()
{
    m_leftPicture.reset();
    m_leftPath.clear();
    load();
}

void CompareView::load()
{
    const int generation = ++m_generation;
    m_latest->store(generation);
    m_load = Load::decoding;
    m_failure.clear();
    m_pendingPreview.reset();
    m_previewBefore.reset();
    m_canvas->clearImages();
    m_stack->setCurrentWidget(m_canvas);
    if (m_selected)
        m_selected->refreshResultExists();
    refreshChips();
    refreshToolbar();

    if (!m_selected || m_selected->resultURL().isEmpty()) {
        fail(ResultText::noResult());
        return;
    }
    const QUrl result = m_selected->resultURL();
    const QString resultPath = localPath(result);
    if (resultPath.isEmpty() || !QFileInfo(resultPath).isFile()) {
        fail(ResultText::resultMissing(result));
        return;
    }
    QString leftPath;
    if (const QUrl left = leftURL(); !left.isEmpty()) {
        leftPath = localPath(left);
        if (leftPath.isEmpty() || !QFileInfo(leftPath).isFile()) {
            fail(m_left ? ResultText::resultMissing(left) : ResultText::originalMissing(left));
            return;
        }
    }
    decode(generation, leftPath, resultPath);
}

QCoro::Task<> CompareView::decode(int generation, QString leftPath, QString resultPath)
{
    // The view may go while the files decode: after every wait only `self` is used.
    const QPointer<CompareView> self(this);
    auto wanted = [latest = m_latest, generation] { return latest->load() == generation; };
    // A PNG result shows what has been read of it so far, a few times a second; the call comes
    // from the decoding thread and is carried over to this one.
    ImagePyramid::Progress progress = [self, generation](ImagePyramidPtr preview) {
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, preview = std::move(preview)] {
                if (self && self->m_generation == generation)
                    self->offerPreview(preview);
            },
            Qt::QueuedConnection);
    };
    // The result first: it is the long decode. A JPEG's quick preview and the left picture
    // share the other thread.

    QFuture<ImagePyramidPtr> result = runDecode([wanted, resultPath, progress]() {
        return wanted() ? ImagePyramid::load(resultPath, progress, wanted) : nullptr;
    });
    QFuture<ImagePyramidPtr> preview = runDecode([wanted, resultPath]() {
        return wanted() ? ImagePyramid::quickPreview(resultPath) : nullptr;
    });
    const bool reuseLeft = !leftPath.isEmpty() && m_leftPicture && m_leftPath == leftPath;
    QFuture<ImagePyramidPtr> left;
    QFuture<ImagePyramidPtr> leftPreview;
    if (!leftPath.isEmpty() && !reuseLeft) {
        // A photo's reduced copy reads in a tenth of the time of the whole: the previews of the
        // result can show over it until the left picture is in.
        leftPreview = runDecode([wanted, leftPath]() {
            return wanted() ? ImagePyramid::quickPreview(leftPath, 4'000'000) : nullptr;
        });
        left = runDecode(
            [wanted, leftPath]() { return wanted() ? ImagePyramid::load(leftPath) : nullptr; });
    }

    ImagePyramidPtr before = reuseLeft ? m_leftPicture : nullptr;
    if (leftPreview.isValid()) {
        ImagePyramidPtr stand = co_await leftPreview;
        if (!self || generation != self->m_generation)
            co_return;
        if (stand && !left.isFinished()) {
            self->m_previewBefore = std::move(stand);
            self->m_load = Load::previewing;
            if (self->m_pendingPreview)
                self->showImages(self->m_previewBefore, self->m_pendingPreview);
        }
    }
    if (left.isValid())
        before = co_await left;
    if (!self || generation != self->m_generation)
        co_return;
    if (before) {
        self->m_leftPicture = before;
        self->m_leftPath = leftPath;
    }
    if (before || leftPath.isEmpty()) {
        // Previews wait for the left picture, which is drawn over them left of the divider.
        self->m_previewBefore = before;
        self->m_load = Load::previewing;
        if (self->m_pendingPreview && !result.isFinished())
            self->showImages(before, self->m_pendingPreview);
        ImagePyramidPtr quick = co_await preview;
        if (!self || generation != self->m_generation)
            co_return;
        if (quick && !result.isFinished())
            self->showImages(before, std::move(quick));
    }
    ImagePyramidPtr after = co_await result;
    if (!self || generation != self->m_generation)
        co_return;
    self->finishLoad(std::move(before), std::move(after));
}

void CompareView::offerPreview(ImagePyramidPtr preview)
{
    if (!preview || (m_load != Load::decoding && m_load != Load::previewing))
        return;
    m_pendingPreview = std::move(preview);
    if (m_load == Load::previewing)
        showImages(m_previewBefore, m_pendingPreview);
}

void CompareView::finishLoad(ImagePyramidPtr before, ImagePyramidPtr after)
{
    m_pendingPreview.reset();
    m_previewBefore.reset();
    if (!leftURL().isEmpty() && !before) {
        fail(m_left ? ResultText::resultUndecodable(m_left->resultURL())
                    : ResultText::originalUndecodable());
        return;
    }
    if (!after) {
        fail(ResultText::resultUndecodable(m_selected->resultURL()));
        return;
    }
    m_load = Load::loaded;
    showImages(std::move(before), std::move(after));
    Q_EMIT loadFinished();
}

void CompareView::showImages(ImagePyramidPtr before, ImagePyramidPtr after)
{
    // Both sides share one pixel grid, so zoom and pan move them alike. Two results of different
    // sizes take the larger one's grid, the smaller scaled up to it: neither shows below its own
    // resolution at 1:1. The original always takes the result's grid, as it is what was enlarged.
    QSize size = after->size();
    if (m_left && before) {
        const QSize left = before->size();
        if (qint64(left.width()) * left.height() > qint64(size.width()) * size.height())
            size = left;
    }
    if (m_lastResultPixelSize != size) {
        // A result of another size: zoom and pan mean nothing for it. The very first result
        // keeps the opening zoom.
        m_canvas->resetZoom(m_lastResultPixelSize ? openingZoom() : m_canvas->zoom().mode());
    }
    m_lastResultPixelSize = size;
    m_canvas->setImages(std::move(before), std::move(after), size);
    refreshToolbar();
}

void CompareView::fail(const QString &message)
{
    m_load = Load::failed;
    m_failure = message;
    m_message->setText(message);
    m_stack->setCurrentWidget(m_message);
    Q_EMIT loadFinished();
}

void CompareView::refreshChips()
{
    m_chipVariants = m_job->doneVariants();
    QStringList titles;
    for (const ModelVariantPtr &variant : m_chipVariants)
        titles.append(variant->modelTitle());
    const bool show = m_chipVariants.size() >= 2;
    if (show) {
        QStringList current;
        for (int i = 0; i < m_chips->count(); ++i)
            current.append(m_chips->chip(i)->text());
        if (current != titles)
            m_chips->setTitles(titles);
        m_chips->setCurrent(int(m_chipVariants.indexOf(m_selected)));
    }
    if (show) {
        // A prompt has no original: its left side shows nothing until a result is chosen.
        m_chips->setLeftChoices(hasOriginal() ? QStringLiteral("Original") : QStringLiteral("None"),
                                titles);
        m_chips->setLeftCurrent(m_left ? int(m_chipVariants.indexOf(m_left)) + 1 : 0);
    }
    m_chips->setVisible(show);
    m_previousChip->setEnabled(show);
    m_nextChip->setEnabled(show);
}

void CompareView::refreshToolbar()
{
    ResultHeading *heading = m_toolbar->heading();
    heading->setTitle(ResultText::title(*m_job));
    QList<Segment> line;
    std::optional<QString> resultDimensions =
        m_selected ? m_selected->resultDimensions() : std::nullopt;
    if (!resultDimensions && m_canvas->after())
        resultDimensions = dimensionText(QSizeF(m_canvas->after()->size()));
    std::optional<QString> sourceDimensions = m_job->sourceDimensions();
    if (!sourceDimensions && m_canvas->before())
        sourceDimensions = dimensionText(QSizeF(m_canvas->before()->size()));
    std::optional<QString> leftDimensions = hasOriginal() ? sourceDimensions : std::nullopt;
    if (m_left) {
        leftDimensions = m_left->resultDimensions();
        if (!leftDimensions && m_canvas->before())
            leftDimensions = dimensionText(QSizeF(m_canvas->before()->size()));
    }
    if (hasOriginal()) {
        line.append({ResultText::dimensionsOrDash(sourceDimensions), Segment::Kind::plain});
        line.append({{}, Segment::Kind::arrow});
    }
    if (hasOriginal() || m_selected)
        line.append({ResultText::dimensionsOrDash(resultDimensions), Segment::Kind::result});
    if (m_selected && m_selected->elapsed())
        line.append({QStringLiteral(" · ") + ResultText::seconds(*m_selected->elapsed()),
                     Segment::Kind::plain});
    heading->setSubtitle(line);
    const bool hasFile = m_selected && m_selected->resultExists();
    heading->setDragFile(hasFile ? m_selected->resultURL() : QUrl());
    m_canvas->setResultFile(hasFile ? m_selected->resultURL() : QUrl());
    m_canvas->setBadges(leftDimensions, resultDimensions);
    // Two results are told apart by their models; against the original it is before and after.
    if (m_left && m_selected)
        m_canvas->setBadgeLabels(m_left->modelTitle(), m_selected->modelTitle());
    else
        m_canvas->setBadgeLabels(QStringLiteral("Before"), QStringLiteral("After"));
    m_toolbar->revealButton()->setEnabled(m_selected && !m_selected->resultURL().isEmpty());
}

void CompareView::reveal()
{
    if (!m_selected || m_selected->resultURL().isEmpty())
        return;
    if (const auto &desktop = m_store.environment().desktop)
        desktop->reveal({m_selected->resultURL()});
}

void CompareView::stepChip(int step)
{
    const int next = m_chips->neighbour(step);
    if (next >= 0 && next != m_chips->current())
        choose(next);
}
