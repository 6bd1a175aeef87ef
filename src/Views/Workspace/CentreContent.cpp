#include "Views/Workspace/CentreContent.h"

#include "Services/AppStore.h"
#include "Views/Workspace/DropZoneView.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/PromptComposer.h"

#include <QVBoxLayout>

CentreContent::CentreContent(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_composerBox(new QWidget(this)),
      m_composer(new PromptComposer(store, m_composerBox)),
      m_dropZone(new DropZoneView(store, this)), m_list(new JobListView(store, this)),
      m_empty(new QWidget(this))
{
    setObjectName(QStringLiteral("centreContent"));
    auto *box = new QVBoxLayout(m_composerBox);
    box->setContentsMargins(16, 0, 16, 12);
    box->addWidget(m_composer);
    m_empty->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_composerBox);
    column->addWidget(m_dropZone, 1);
    column->addWidget(m_list, 1);
    column->addWidget(m_empty, 1);

    connect(&store, &AppStore::modeChanged, this, &CentreContent::arrange);
    connect(&store, &AppStore::jobsChanged, this, &CentreContent::arrange);
    arrange();
}

void CentreContent::setDragTargeted(bool targeted)
{
    m_dragTargeted = targeted;
    m_dropZone->setTargeted(targeted);
}

void CentreContent::arrange()
{
    const bool upscale = m_store.mode().value_or(Mode::upscale) == Mode::upscale;
    const bool empty = m_store.jobs().isEmpty();
    m_composerBox->setVisible(!upscale);
    m_dropZone->setVisible(upscale && empty);
    m_list->setVisible(!empty);
    m_empty->setVisible(!upscale && empty);
}
