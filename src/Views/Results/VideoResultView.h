#pragma once

#include "Models/ImageJob.h"
#include "Services/JobTracker.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QWidget>

class AppStore;
class PlayerControls;
class QShortcut;
class QStackedLayout;
class QVideoWidget;
class ResultChips;
class ResultMessage;
class ResultToolbar;

// The player sheet's content for one video job: one media player for the sheet's whole life, a
// chip per playable result, the model and its time in the toolbar. The clip of the chosen result
// plays from its start; leaving the screen pauses at once.
class VideoResultView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoResultView)
public:
    VideoResultView(AppStore &store, ImageJobPtr job, QWidget *parent = nullptr);
    ~VideoResultView() override;

    // The finished variants whose result file exists right now, in order.
    QList<ModelVariantPtr> results() const;
    ModelVariantPtr selected() const { return m_selected; }
    // Plays the `index`-th chip's result.
    void choose(int index);

    QMediaPlayer &player() { return m_player; }
    ResultToolbar *toolbar() const { return m_toolbar; }
    ResultChips *chips() const { return m_chips; }
    // The text shown in the player area instead of a clip; empty while a clip shows.
    QString message() const;

Q_SIGNALS:
    void doneRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void select(const ModelVariantPtr &variant);
    void refresh();
    // A clip that finishes while the sheet is open is offered.
    void resultsChanged();
    void showError();
    void reveal();
    // Left and Right walk the chips, while there are chips.
    void stepChip(int step);

    AppStore &m_store;
    ImageJobPtr m_job;
    JobTracker::Hold m_follow;
    ModelVariantPtr m_selected;
    QList<ModelVariantPtr> m_chipVariants;
    bool m_opened = false;
    QMediaPlayer m_player;
    QAudioOutput m_audio;

    ResultToolbar *m_toolbar;
    ResultChips *m_chips;
    QShortcut *m_previousChip;
    QShortcut *m_nextChip;
    QStackedLayout *m_stack;
    QWidget *m_playerArea;
    QVideoWidget *m_video;
    PlayerControls *m_controls;
    ResultMessage *m_placeholder;
    ResultMessage *m_error;
};
