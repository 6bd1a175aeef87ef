#include "Views/Accessibility/Announcements.h"

#include <QAccessible>

namespace
{
Announcements::Listener listener = nullptr;
} // namespace

namespace Announcements
{

bool wanted()
{
    return listener || QAccessible::isActive();
}

void send(QAccessibleEvent &event)
{
    if (listener)
        listener(&event);
    QAccessible::updateAccessibility(&event);
}

void setListener(Listener heard)
{
    listener = heard;
}

} // namespace Announcements
