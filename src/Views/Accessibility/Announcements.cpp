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

void sendTextChanges(QAccessibleInterface *element, QString &shownName, QString &shownDescription)
{
    if (QString name = element->text(QAccessible::Name); name != shownName) {
        shownName = std::move(name);
        QAccessibleEvent changed(element, QAccessible::NameChanged);
        send(changed);
    }
    if (QString description = element->text(QAccessible::Description);
        description != shownDescription) {
        shownDescription = std::move(description);
        QAccessibleEvent changed(element, QAccessible::DescriptionChanged);
        send(changed);
    }
}

void setListener(Listener heard)
{
    listener = heard;
}

} // namespace Announcements
