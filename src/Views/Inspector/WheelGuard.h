#pragma once

#include <QObject>

class QWidget;

// Keeps the wheel from editing a control the user has not clicked or tabbed into: over such a
// slider or menu the wheel scrolls the surrounding scroll area instead, so scrolling through the
// inspector never changes a paid parameter by accident.
class WheelGuard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WheelGuard)
public:
    // Guards `control` for as long as it lives. It then takes focus from a click or Tab only.
    static void install(QWidget *control);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WheelGuard(QObject *parent);
};
