#include "Views/Results/ResultSheet.h"

#include "Services/AppStore.h"

ResultSheet::ResultSheet(AppStore &store, ImageJobPtr job, QWidget *parent)
    : QDialog(parent), m_store(store), m_job(std::move(job))
{
    setObjectName(QStringLiteral("resultSheet"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(720, 520);
    resize(960, 680);
}
