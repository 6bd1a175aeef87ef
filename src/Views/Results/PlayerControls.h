#pragma once

#include <QWidget>

class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;

// Play/pause, a position slider and the time, under the video. The player has no controls of its
// own on this platform; these are them.
class PlayerControls final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerControls)
public:
    explicit PlayerControls(QMediaPlayer &player, QWidget *parent = nullptr);

    QToolButton *playButton() const { return m_play; }
    QSlider *slider() const { return m_slider; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void togglePlayback();
    void refresh();

    QMediaPlayer &m_player;
    QToolButton *m_play;
    QSlider *m_slider;
    QLabel *m_time;
};
