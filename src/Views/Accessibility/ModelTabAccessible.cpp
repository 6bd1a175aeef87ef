#include "Views/Accessibility/ModelTabAccessible.h"

#include "Views/Inspector/ModelTab.h"

ModelTabAccessible::ModelTabAccessible(ModelTab *tab) : QAccessibleWidget(tab, QAccessible::PageTab)
{
}

ModelTab *ModelTabAccessible::tab() const
{
    return static_cast<ModelTab *>(widget());
}

QAccessible::State ModelTabAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.selectable = true;
    state.selected = tab()->isFocusedModel();
    return state;
}

QStringList ModelTabAccessible::actionNames() const
{
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
}

void ModelTabAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        tab()->click();
    else
        QAccessibleWidget::doAction(actionName);
}
