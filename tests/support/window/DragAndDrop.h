#pragma once

#include <QList>
#include <QPoint>
#include <QUrl>

#include <utility>

class QWidget;

// Drags `urls` over `target` at `at` (its centre when null) and drops them there, as a file
// manager does. Whether the drag and the drop were accepted.
std::pair<bool, bool> dropFiles(QWidget *target, const QList<QUrl> &urls, QPoint at = {});
