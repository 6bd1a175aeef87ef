#include "Views/Results/PlayerControls.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QToolButton>

namespace
{
QString clock(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(milliseconds, 0) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

PlayerControls::PlayerControls(QMediaPlayer &player, QWidget *parent)
    : QWidget(parent), m_player(player), m_play(new QToolButton(this)),
      m_slider(new QSlider(Qt::Horizontal, this)), m_time(new QLabel(this))
{
    setObjectName(QStringLiteral("playerControls"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 6, 16, 8);
    row->setSpacing(10);
    m_play->setObjectName(QStringLiteral("playPauseButton"));
    m_play->setAutoRaise(true);
    m_play->setIconSize(QSize(16, 16));
    row->addWidget(m_play);
    m_slider->setObjectName(QStringLiteral("positionSlider"));
    m_slider->setAccessibleName(QStringLiteral("Position"));
    m_slider->setSingleStep(1000);
    m_slider->setPageStep(5000);
    row->addWidget(m_slider, 1);
    m_time->setObjectName(QStringLiteral("playerTime"));
    m_time->setFont(Theme::font(11));
    m_time->setMinimumWidth(
        QFontMetrics(m_time->font()).horizontalAdvance(QStringLiteral("00:00 / 00:00")));
    row->addWidget(m_time);

    connect(m_play, &QToolButton::clicked, this, &PlayerControls::togglePlayback);
    // Moving the slider seeks; the player's own position moves it back only while not dragged.
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (std::abs(m_player.position() - value) > 250)
            m_player.setPosition(value);
    });
    connect(&m_player, &QMediaPlayer::durationChanged, this, &PlayerControls::refresh);
    connect(&m_player, &QMediaPlayer::positionChanged, this, &PlayerControls::refresh);
    connect(&m_player, &QMediaPlayer::playbackStateChanged, this, &PlayerControls::refresh);
    refresh();
}

void PlayerControls::togglePlayback()
{
    if (m_player.playbackState() == QMediaPlayer::PlayingState) {
        m_player.pause();
        return;
    }
    // A clip that ran to its end plays again from the start.
    if (m_player.duration() > 0 && m_player.position() >= m_player.duration())
        m_player.setPosition(0);
    m_player.play();
}

void PlayerControls::refresh()
{
    const bool playing = m_player.playbackState() == QMediaPlayer::PlayingState;
    const QString label = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    m_play->setIcon(Icons::icon(playing ? QStringLiteral("pause") : QStringLiteral("play"),
                                Theme::primary(palette())));
    m_play->setAccessibleName(label);
    m_play->setToolTip(label);
    const QSignalBlocker blocker(m_slider);
    m_slider->setRange(0, int(std::max<qint64>(m_player.duration(), 0)));
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(m_player.position()));
    m_time->setText(clock(m_player.position()) + QStringLiteral(" / ") +
                    clock(m_player.duration()));
}

void PlayerControls::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
}
