#pragma once

#include "Views/Theme/Animation.h"

#include <QAbstractButton>

// A small on/off switch with its label to the right; the knob slides and the track takes the
// accent colour when on. Space toggles it from the keyboard.
class ToggleSwitch final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToggleSwitch)
public:
    explicit ToggleSwitch(const QString &label, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // A long label is shortened rather than widening the column.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    AnimatedValue m_position;
};
