#pragma once

#include <QLayout>
#include <QList>

// A wrapping row: children at their natural size, left to right, `spacing` apart; a child that
// would cross the available width starts a new line `lineSpacing` below the tallest child of the
// line above. A child wider than the line sits alone on its line and is not shrunk.
class FlowLayout final : public QLayout
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlowLayout)
public:
    explicit FlowLayout(int spacing = 5, int lineSpacing = 5, QWidget *parent = nullptr);
    ~FlowLayout() override;

    int horizontalSpacing() const { return m_spacing; }
    int lineSpacing() const { return m_lineSpacing; }

    // Where children of `sizes` go within `width` (unbounded when negative), and the total size.
    struct Placement {
        QList<QRect> frames;
        QSize size;
    };
    static Placement place(const QList<QSize> &sizes, int width, int spacing, int lineSpacing);

    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QSize> visibleSizes() const;

    QList<QLayoutItem *> m_items;
    int m_spacing;
    int m_lineSpacing;
};
