#pragma once

class QAccessibleEvent;
class QAccessibleInterface;
class QString;

// Every accessibility event the self-painted views raise goes out through here to the platform's
// bridge. Tests listen in: the offscreen platform has no bridge, so Qt itself would drop them.
namespace Announcements
{
using Listener = void (*)(QAccessibleEvent *event);

// Someone would hear an event: a screen reader through the bridge, or a listener.
bool wanted();
void send(QAccessibleEvent &event);
// Announces a new name and description of `element`, each only when it differs from what was last
// announced, which `shownName` and `shownDescription` keep.
void sendTextChanges(QAccessibleInterface *element, QString &shownName, QString &shownDescription);
// Hears every event sent from now on; null stops listening.
void setListener(Listener listener);
} // namespace Announcements
