#pragma once

#include "Models/ImageJob.h"

#include <QDialog>

class AppStore;

// The window-modal sheet that shows a job's results: the video player when the job's results play,
// otherwise the compare view. The main window opens it while the store presents a job.
class ResultSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultSheet)
public:
    ResultSheet(AppStore &store, ImageJobPtr job, QWidget *parent = nullptr);

    ImageJobPtr job() const { return m_job; }

private:
    AppStore &m_store;
    ImageJobPtr m_job;
};
