#pragma once

#include <QLabel>

// A label in one of the theme's text colours, re-tinted whenever the palette changes, so it
// follows the desktop between light and dark.
class TintedLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TintedLabel)
public:
    enum class Tint { secondary, accent };

    TintedLabel(const QString &text, Tint tint, qreal fontPixels,
                QFont::Weight weight = QFont::Normal, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyTint();

    Tint m_tint;
    bool m_applying = false;
};
