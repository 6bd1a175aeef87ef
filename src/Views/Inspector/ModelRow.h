#pragma once

#include <QHash>
#include <QStyledItemDelegate>

// Paints one picker row: the selection mark (a gradient box with a check in compare mode, a bare
// check otherwise), the title with its owner, and up to two lines of blurb. Row heights are
// measured once per model and width, so filtering a long list measures nothing again.
class ModelRow final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelRow)
public:
    explicit ModelRow(QObject *parent = nullptr);

    // The width rows are laid out for (the list's viewport width).
    void setWidth(int width);
    // Where the hovered custom row's remove button sits, in the row's coordinates.
    static QRect trashRect(const QRect &row);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int m_width = 280;
    mutable QHash<QString, int> m_heights;
};
