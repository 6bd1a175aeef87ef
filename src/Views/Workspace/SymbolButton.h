#pragma once

#include "Views/Theme/Icons.h"
#include "Views/Theme/ThemedButton.h"

// A borderless button showing only a symbol, `side` pixels square; the symbol fills
// `symbolFraction` of it. Its accessible name says what it does.
class SymbolButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolButton)
public:
    enum class Tone { secondary, tertiary, accent };

    SymbolButton(const QString &symbol, int side, const QString &accessibleName,
                 QWidget *parent = nullptr);

    void setWeight(Icons::Weight weight);
    void setTone(Tone tone);
    void setSymbolFraction(qreal fraction);

    QSize sizeHint() const override { return {m_side, m_side}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    QString m_symbol;
    int m_side;
    Icons::Weight m_weight = Icons::Weight::regular;
    Tone m_tone = Tone::tertiary;
    qreal m_fraction = 0.7;
};
