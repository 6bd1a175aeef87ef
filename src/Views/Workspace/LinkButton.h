#pragma once

#include "Views/Theme/ThemedButton.h"

// A borderless button whose label is accent-coloured text.
class LinkButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkButton)
public:
    explicit LinkButton(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;
};
