#pragma once

#include "Views/Theme/ThemedButton.h"

#include <QStringList>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class TextLabel;

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

// The row that picks what each side of the divider shows: a menu for the left side (the original
// or any result) and a chip per result for the right. Choosing a chip, by pointer or keyboard,
// emits chosen(index), and the menu leftChosen(index); the owner decides what is current.
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

    // The left side's menu: `first` (the original, or none for a prompt) then each result title.
    // The menu and the side captions show once this is called.
    void setLeftChoices(const QString &first, const QStringList &titles);
    // 0 is `first`, 1 + i the i-th result.
    void setLeftCurrent(int index);
    QComboBox *leftPicker() const { return m_leftPicker; }

Q_SIGNALS:
    void chosen(int index);
    void leftChosen(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_row;
    TextLabel *m_leftCaption;
    QComboBox *m_leftPicker;
    TextLabel *m_rightCaption;
    QList<ResultChip *> m_chips;
    int m_current = -1;
};
