#pragma once

#include "Views/Theme/ThemedButton.h"

#include <QStringList>
#include <QWidget>

class QHBoxLayout;

// One capsule of the chip row: a model's title, filled with the accent when it is the one shown.
class ResultChip final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultChip)
public:
    explicit ResultChip(const QString &title, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;
};

// The row of model chips that switches between a job's results. Choosing a chip, by pointer or
// keyboard, emits chosen(index); the owner decides what is current.
class ResultChips final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultChips)
public:
    explicit ResultChips(QWidget *parent = nullptr);

    void setTitles(const QStringList &titles);
    int count() const { return int(m_chips.size()); }
    ResultChip *chip(int index) const { return m_chips.value(index); }
    int current() const { return m_current; }
    void setCurrent(int index);
    // The chip `step` places away from the current one, stopping at the ends; -1 without chips.
    int neighbour(int step) const;

Q_SIGNALS:
    void chosen(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_row;
    QList<ResultChip *> m_chips;
    int m_current = -1;
};
