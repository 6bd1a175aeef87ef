#include "Views/Results/VideoResultView.h"

#include "Services/AppStore.h"
#include "Views/Results/PlayerControls.h"
#include "Views/Results/ResultChips.h"
#include "Views/Results/ResultMessage.h"
#include "Views/Results/ResultText.h"
#include "Views/Results/ResultToolbar.h"
#include "Views/Theme/QuietButton.h"

#include <QShortcut>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoWidget>

VideoResultView::VideoResultView(AppStore &store, ImageJobPtr job, QWidget *parent)
    : QWidget(parent), m_store(store), m_job(std::move(job)), m_follow(store.jobTracker(), m_job),
      m_toolbar(new ResultToolbar(this)), m_chips(new ResultChips(this)),
      m_previousChip(new QShortcut(QKeySequence(Qt::Key_Left), this)),
      m_nextChip(new QShortcut(QKeySequence(Qt::Key_Right), this)), m_stack(new QStackedLayout),
      m_playerArea(new QWidget(this)), m_video(new QVideoWidget(m_playerArea)),
      m_controls(new PlayerControls(m_player, m_playerArea)),
      m_placeholder(new ResultMessage(QStringLiteral("film.stack"), 26, false, this)),
      m_error(new ResultMessage(QStringLiteral("exclamationmark.triangle"), 26, false, this))
{
    setObjectName(QStringLiteral("videoResultView"));
    m_player.setAudioOutput(&m_audio);
    m_player.setVideoOutput(m_video);
    m_video->setObjectName(QStringLiteral("videoWidget"));
    m_video->setAccessibleName(QStringLiteral("Video"));
    // Letterboxing is black in either appearance, as in every player.
    QPalette black = m_video->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_video->setPalette(black);
    m_video->setAutoFillBackground(true);
    m_placeholder->setObjectName(QStringLiteral("noResultMessage"));
    m_placeholder->setText(ResultText::noPlayableResult());
    m_error->setObjectName(QStringLiteral("playerErrorMessage"));

    auto *playerColumn = new QVBoxLayout(m_playerArea);
    playerColumn->setContentsMargins(0, 0, 0, 0);
    playerColumn->setSpacing(0);
    playerColumn->addWidget(m_video, 1);
    playerColumn->addWidget(m_controls);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_toolbar);
    column->addWidget(m_chips);
    m_stack->addWidget(m_playerArea);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_error);
    column->addLayout(m_stack, 1);
    setFocusProxy(m_controls->playButton());

    connect(m_toolbar, &ResultToolbar::doneRequested, this, &VideoResultView::doneRequested);
    connect(m_toolbar, &ResultToolbar::revealRequested, this, &VideoResultView::reveal);
    connect(m_chips, &ResultChips::chosen, this, &VideoResultView::choose);
    // While there are chips the arrows walk them; the position slider keeps Page Up and Down.
    connect(m_previousChip, &QShortcut::activated, this, [this] { stepChip(-1); });
    connect(m_nextChip, &QShortcut::activated, this, [this] { stepChip(1); });
    connect(&m_player, &QMediaPlayer::errorOccurred, this, &VideoResultView::showError);
    connect(&store.jobTracker(), &JobTracker::jobChanged, this,
            [this](const ImageJob *changed, JobTracker::Changes changes) {
                if (changed == m_job.get() &&
                    changes.testAnyFlags(JobTracker::Change::status | JobTracker::Change::result |
                                         JobTracker::Change::variants))
                    resultsChanged();
            });
    resultsChanged();
}

VideoResultView::~VideoResultView()
{
    m_player.stop();
}

QList<ModelVariantPtr> VideoResultView::results() const
{
    QList<ModelVariantPtr> playable;
    for (const ModelVariantPtr &variant : m_job->doneVariants()) {
        if (variant->resultExists())
            playable.append(variant);
    }
    return playable;
}

void VideoResultView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_opened) {
        m_opened = true;
        select(results().value(0));
    }
}

void VideoResultView::hideEvent(QHideEvent *event)
{
    // The sound stops the moment the sheet goes, not when it is destroyed later.
    m_player.pause();
    QWidget::hideEvent(event);
}

void VideoResultView::choose(int index)
{
    if (const ModelVariantPtr variant = m_chipVariants.value(index))
        select(variant);
}

void VideoResultView::select(const ModelVariantPtr &variant)
{
    const QUrl previous = m_selected ? m_selected->resultURL() : QUrl();
    m_selected = variant;
    refresh();
    if (!m_selected) {
        m_player.stop();
        m_player.setSource(QUrl());
        return;
    }
    // The clip changes only with the file: choosing the result already playing leaves it be.
    if (m_selected->resultURL() == previous && m_player.source() == previous)
        return;
    m_player.setSource(m_selected->resultURL());
    m_player.setPosition(0);
    m_player.play();
}

QString VideoResultView::message() const
{
    if (m_stack->currentWidget() == m_placeholder)
        return m_placeholder->text();
    if (m_stack->currentWidget() == m_error)
        return m_error->text();
    return {};
}

void VideoResultView::showError()
{
    if (m_player.error() == QMediaPlayer::NoError || !m_selected)
        return;
    const QString detail = m_player.errorString();
    m_error->setText(QStringLiteral("Couldn't play %1.").arg(m_selected->resultURL().fileName()) +
                     (detail.isEmpty() ? QString() : QLatin1Char('\n') + detail));
    m_stack->setCurrentWidget(m_error);
}

void VideoResultView::refresh()
{
    m_chipVariants = results();
    const bool showChips = m_chipVariants.size() >= 2;
    if (showChips) {
        QStringList titles;
        for (const ModelVariantPtr &variant : m_chipVariants)
            titles.append(variant->modelTitle());
        QStringList shown;
        for (int i = 0; i < m_chips->count(); ++i)
            shown.append(m_chips->chip(i)->text());
        if (shown != titles)
            m_chips->setTitles(titles);
        m_chips->setCurrent(int(m_chipVariants.indexOf(m_selected)));
    }
    m_chips->setVisible(showChips);
    m_previousChip->setEnabled(showChips);
    m_nextChip->setEnabled(showChips);
    m_stack->setCurrentWidget(m_selected ? m_playerArea : static_cast<QWidget *>(m_placeholder));

    ResultHeading *heading = m_toolbar->heading();
    heading->setTitle(ResultText::title(*m_job));
    QString subtitle = m_selected ? m_selected->modelTitle() : QStringLiteral("—");
    if (m_selected && m_selected->elapsed())
        subtitle += QStringLiteral(" · ") + ResultText::seconds(*m_selected->elapsed());
    heading->setSubtitle({{subtitle, ResultHeading::Segment::Kind::plain}});
    heading->setDragFile(m_selected ? m_selected->resultURL() : QUrl());
    m_toolbar->revealButton()->setEnabled(m_selected != nullptr);
}

void VideoResultView::resultsChanged()
{
    // Until the sheet is on screen it has chosen nothing; opening picks the first result.
    if (m_opened && !m_selected) {
        select(results().value(0));
        return;
    }
    refresh();
}

void VideoResultView::reveal()
{
    if (!m_selected)
        return;
    if (const auto &desktop = m_store.environment().desktop)
        desktop->reveal({m_selected->resultURL()});
}

void VideoResultView::stepChip(int step)
{
    const int next = m_chips->neighbour(step);
    if (next >= 0 && next != m_chips->current())
        choose(next);
}
