#pragma once

#include <QWidget>

class QPainter;
class QVBoxLayout;

// Content on a rounded rectangle filled with the card fill and outlined with the card stroke.
// Children go into content(), a vertical layout whose margins are the padding.
class Card final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Card)
public:
    explicit Card(int padding = 12, QWidget *parent = nullptr);

    QVBoxLayout *content() const { return m_content; }

    // The card's shape, for delegates and other painters that draw cards without a widget.
    static void paint(QPainter &painter, const QRectF &rect, const QPalette &palette,
                      qreal radius = 11);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVBoxLayout *m_content;
};
