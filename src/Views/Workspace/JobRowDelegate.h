#pragma once

#include "Models/ImageJob.h"
#include "Views/Workspace/TextCache.h"

#include <QAbstractItemDelegate>
#include <QCache>
#include <QList>
#include <QPen>
#include <QPixmap>
#include <QRectF>

// Paints one job row: the card, the preview, the name and size, the open and remove buttons and
// the variants' pills in a wrapping flow. The view owns the presentation state (hover, pressed
// part, status transitions) and hands it over for each row.
class JobRowDelegate final : public QAbstractItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JobRowDelegate)
public:
    enum class Part { none, row, open, remove, pill };
    struct Hit {
        Part part = Part::none;
        int pill = -1;
        friend bool operator==(const Hit &, const Hit &) = default;
    };
    // What the view knows of a row beyond its job.
    struct RowState {
        qreal hover = 0;      // 0 … 1, eased
        bool hovered = false; // the pointer is over the row now
        bool current = false; // keyboard focus is on the row
        Hit pressed;
        Hit pointer; // the part under the pointer
        qreal ringRotation = 0;
        // Per pill: 0 … 1 after a status change, and the colour it changes from.
        QList<std::pair<qreal, QColor>> transitions;
    };
    struct Geometry {
        QRectF thumbnail;
        QRectF name;
        QRectF open;
        QRectF remove;
        QList<QRectF> pills;
    };

    explicit JobRowDelegate(QObject *parent = nullptr);

    static constexpr int padding = 10;
    static constexpr int thumbnailSide = 44;

    // The row's height at `width` for pills of these sizes.
    static int heightFor(int width, const QList<QSizeF> &pillSizes);
    static QList<QSizeF> pillSizes(const ImageJob &job);
    static Geometry geometry(const QRectF &rect, const ImageJob &job);
    static Hit hitTest(const QRectF &rect, const ImageJob &job, const QPointF &point);
    // The remove button shows while hovered and always once the job has ended.
    static bool showsRemove(const ImageJob &job, bool hovered);

    void paintRow(QPainter &painter, const QRectF &rect, const ImageJob &job,
                  const QString &openLabel, const QPalette &palette, const RowState &state) const;

    // QAbstractItemDelegate: the view paints through paintRow; these serve generic callers.
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintCard(QPainter &painter, const QRect &rect, const QColor &fill, const QPen &pen) const;
    void paintThumbnail(QPainter &painter, const QRectF &rect, const ImageJob &job,
                        const QPalette &palette) const;

    // Previews scaled to the row's square at the screen's pixel ratio, by image and size.
    mutable QCache<QString, QPixmap> m_previews;
    // Row backgrounds by size, pixel ratio and look; cost in KiB.
    mutable QCache<QString, QPixmap> m_cards;
    mutable TextCache m_names;
    mutable TextCache m_dimensions;
};
