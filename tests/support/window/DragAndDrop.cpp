#include "DragAndDrop.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

std::pair<bool, bool> dropFiles(QWidget *target, const QList<QUrl> &urls, QPoint at)
{
    if (at.isNull())
        at = target->rect().center();
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return {enter.isAccepted(), drop.isAccepted()};
}
