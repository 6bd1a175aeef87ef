#pragma once

#include <QStringList>
#include <QWidget>

// Two or more segments side by side, one of them chosen. A click or the arrow keys choose; the
// owner decides whether the choice holds (setCurrent), so a cancelled follow-up leaves it as it
// was.
class SegmentedControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedControl)
public:
    explicit SegmentedControl(const QStringList &segments, QWidget *parent = nullptr);

    int current() const { return m_current; }
    void setCurrent(int index);
    int count() const { return int(m_segments.size()); }
    QString segment(int index) const { return m_segments.value(index); }
    // What a click on segment `index` does: reports the choice unless it is already current.
    void choose(int index);
    // Where segment `index` sits, for tests that click it.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // The user chose `index`, different from current().
    void chosen(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStringList m_segments;
    int m_current = 0;
};
