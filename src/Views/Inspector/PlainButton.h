#pragma once

#include "Views/Theme/ThemedButton.h"

#include <optional>

// A borderless button of a symbol and an optional label in one tint, optionally on a rounded fill
// of the same tint: the inspector's small actions (Reset, the folder, "Use owner/name", the token
// prompt). Long labels are shortened in the middle, so a folder keeps both ends of its name.
class PlainButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlainButton)
public:
    enum class Tint { accent, orange, primary, secondary, tertiary };

    PlainButton(const QString &symbol, const QString &text, Tint tint, QWidget *parent = nullptr);

    void setLabel(const QString &text);
    void setSymbolSize(qreal pixels) { m_symbolSize = pixels; }
    void setTextFont(const QFont &font);
    // The symbol in another tint than the label.
    void setSymbolTint(Tint tint) { m_symbolTint = tint; }
    // A rounded rectangle of the tint at 16 % behind the content, the full width, content centred.
    void setFilled(bool filled);
    void setPadding(int horizontal, int vertical);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    QColor colour(Tint tint) const;

    QString m_symbol;
    Tint m_tint;
    std::optional<Tint> m_symbolTint;
    qreal m_symbolSize = 11;
    bool m_filled = false;
    int m_padX = 2;
    int m_padY = 2;
};
