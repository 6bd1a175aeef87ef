#include "Views/Workspace/CentreContent.h"

#include "Services/AppStore.h"

CentreContent::CentreContent(AppStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("centreContent"));
}

void CentreContent::setDragTargeted(bool targeted)
{
    m_dragTargeted = targeted;
}
