#pragma once

#include "Views/Theme/Animation.h"

#include <QAbstractButton>

// The full-width label of a group that opens and closes ("Advanced (3)"): a chevron that turns
// and the text; a click anywhere on the row, or Space, toggles it.
class DisclosureButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisclosureButton)
public:
    explicit DisclosureButton(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    AnimatedValue m_turn;
};
