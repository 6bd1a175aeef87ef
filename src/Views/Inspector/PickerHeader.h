#pragma once

#include "Views/Theme/Animation.h"
#include "Views/Theme/ThemedButton.h"

// The collapsed picker: the selection's summary on a card-coloured rounded rectangle with a
// chevron that turns over while the panel is open. A click toggles the panel.
class PickerHeader final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PickerHeader)
public:
    explicit PickerHeader(QWidget *parent = nullptr);

    void setSummary(const QString &summary);
    void setExpanded(bool expanded);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    AnimatedValue m_turn;
};
