#include "Views/Inspector/InspectorView.h"

#include "Services/AppStore.h"

InspectorView::InspectorView(AppStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("inspector"));
    setFixedWidth(columnWidth);
}
