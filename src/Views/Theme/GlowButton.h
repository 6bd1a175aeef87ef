#pragma once

#include "Views/Theme/ThemedButton.h"

// The prominent action: a gradient button with a soft glow; red when destructive, a quiet grey
// when disabled.
class GlowButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GlowButton)
public:
    explicit GlowButton(const QString &text, QWidget *parent = nullptr);

    bool isDestructive() const { return m_destructive; }
    void setDestructive(bool destructive);
    // An optional symbol before the label.
    void setSymbol(const QString &symbol);
    // A small turning spinner in the label's colour before the label, in place of the symbol.
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    bool m_destructive = false;
    QString m_symbol;
    bool m_busy = false;
    RepeatingValue m_turn;
};
