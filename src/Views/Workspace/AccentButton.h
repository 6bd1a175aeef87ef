#pragma once

#include "Views/Theme/ThemedButton.h"

// A bordered prominent button: white label on a solid accent fill.
class AccentButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccentButton)
public:
    explicit AccentButton(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;
};
