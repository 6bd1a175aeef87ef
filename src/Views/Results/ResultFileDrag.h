#pragma once

#include <QUrl>

class QMimeData;
class QWidget;

// Hands a result file to another application by drag and drop, as a file URL (what file
// managers, editors and browsers accept), with a symbol under the pointer.
namespace ResultFileDrag
{
// Runs the drag from `source`; returns at once when the file is gone.
void start(QWidget *source, const QUrl &file);
QMimeData *mimeData(const QUrl &file);
} // namespace ResultFileDrag
