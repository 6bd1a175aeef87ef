#include "Views/Accessibility/StatusBarAccessible.h"

#include "Views/Accessibility/StatusPartAccessible.h"
#include "Views/Shell/StatusBar.h"

StatusBarAccessible::StatusBarAccessible(StatusBar *bar)
    : QAccessibleWidget(bar, QAccessible::StatusBar)
{
}

StatusBarAccessible::~StatusBarAccessible()
{
    for (const QAccessible::Id id : m_parts) {
        if (id)
            QAccessible::deleteAccessibleInterface(id);
    }
}

StatusBar *StatusBarAccessible::bar() const
{
    return static_cast<StatusBar *>(widget());
}

QAccessibleInterface *StatusBarAccessible::child(int index) const
{
    if (index < 0 || index >= partCount)
        return nullptr;
    if (!m_parts.at(index)) {
        auto *self = const_cast<StatusBarAccessible *>(this);
        m_parts.at(index) = QAccessible::registerAccessibleInterface(
            new StatusPartAccessible(self, static_cast<Part>(index)));
    }
    return QAccessible::accessibleInterface(m_parts.at(index));
}

int StatusBarAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    for (int i = 0; i < partCount; ++i) {
        if (m_parts.at(i) && QAccessible::accessibleInterface(m_parts.at(i)) == child)
            return i;
    }
    return -1;
}
