#include "Views/Results/ResultFileDrag.h"

#include "Views/Theme/Icons.h"

#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QPalette>
#include <QWidget>

namespace ResultFileDrag
{

QMimeData *mimeData(const QUrl &file)
{
    auto *data = new QMimeData;
    data->setUrls({file});
    return data;
}

void start(QWidget *source, const QUrl &file)
{
    if (!file.isLocalFile() || !QFileInfo::exists(file.toLocalFile()))
        return;
    auto *drag = new QDrag(source);
    drag->setMimeData(mimeData(file));
    // Decoding a thumbnail of a huge result here would stall the pointer: a symbol stands in.
    drag->setPixmap(Icons::pixmap(QStringLiteral("photo"), source->palette().color(QPalette::Text),
                                  32, source->devicePixelRatioF()));
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

} // namespace ResultFileDrag
