#pragma once

class QAccessibleEvent;

// Every accessibility event the self-painted views raise goes out through here to the platform's
// bridge. Tests listen in: the offscreen platform has no bridge, so Qt itself would drop them.
namespace Announcements
{
using Listener = void (*)(QAccessibleEvent *event);

// Someone would hear an event: a screen reader through the bridge, or a listener.
bool wanted();
void send(QAccessibleEvent &event);
// Hears every event sent from now on; null stops listening.
void setListener(Listener listener);
} // namespace Announcements
