#include "Views/Results/ResultSheet.h"

#include "Services/AppStore.h"
#include "Views/Results/CompareView.h"
#include "Views/Results/ResultText.h"
#include "Views/Results/VideoResultView.h"

#include <QVBoxLayout>

ResultSheet::ResultSheet(AppStore &store, ImageJobPtr job, QWidget *parent)
    : QDialog(parent), m_store(store), m_job(std::move(job))
{
    setObjectName(QStringLiteral("resultSheet"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(720, 520);
    resize(960, 680);
    setWindowTitle(ResultText::title(*m_job));
    setAccessibleName(QStringLiteral("Results"));
    // What is offered follows the files as they are now, not as they were when last looked at.
    m_job->refreshResultFiles();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget *content = nullptr;
    if (m_store.showsPlayer(m_job)) {
        m_video = new VideoResultView(m_store, m_job, this);
        connect(m_video, &VideoResultView::doneRequested, this, &QDialog::accept);
        content = m_video;
    } else {
        m_compare = new CompareView(m_store, m_job, this);
        connect(m_compare, &CompareView::doneRequested, this, &QDialog::accept);
        content = m_compare;
    }
    layout->addWidget(content);
    content->setFocus();
}
