#pragma once

#include "Models/ImageJob.h"

#include <QDialog>

class AppStore;
class CompareView;
class VideoResultView;

// The window-modal sheet that shows a job's results: the video player when the job's results play,
// otherwise the compare view. The main window opens it while the store presents a job.
class ResultSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultSheet)
public:
    ResultSheet(AppStore &store, ImageJobPtr job, QWidget *parent = nullptr);

    ImageJobPtr job() const { return m_job; }
    // Exactly one of the two is set, chosen when the sheet is made.
    CompareView *compareView() const { return m_compare; }
    VideoResultView *videoView() const { return m_video; }

private:
    AppStore &m_store;
    ImageJobPtr m_job;
    CompareView *m_compare = nullptr;
    VideoResultView *m_video = nullptr;
};
