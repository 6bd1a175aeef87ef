#pragma once

#include "Services/Desktop.h"

#include <QDBusConnection>

#include <optional>

class QWidget;

// The desktop's own open panel, through the XDG file-chooser portal.
//
// The portal's dialog picks either files or folders, never both. It is opened for files: adding
// a folder adds its direct, visible image files, which the filtered dialog reaches just as well
// by selecting all inside the folder, whereas a folder dialog could not add a single photo, the
// common case. Folders still arrive by drag and drop, and Qt's dialog takes both.
namespace PortalFileChooser
{
// The URLs chosen (empty when the dialog was dismissed), or nothing when no portal answered.
// Waits in a local event loop, as a modal dialog does, with input to this program held back.
std::optional<QList<QUrl>> open(const QDBusConnection &bus, const Desktop::OpenRequest &request,
                                QWidget *parent);
} // namespace PortalFileChooser
