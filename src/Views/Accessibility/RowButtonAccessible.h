#pragma once

#include "Views/Accessibility/PaintedElementAccessible.h"

class JobRowAccessible;

// A painted button of a job row: "Compare", "View" or "Play" while a result can be shown, and
// "Remove" + the job's name. Pressing it does what a click on it does.
class RowButtonAccessible final : public PressableElementAccessible
{
public:
    enum class Kind { open, remove };

    RowButtonAccessible(JobRowAccessible *row, Kind kind);
    Q_DISABLE_COPY_MOVE(RowButtonAccessible)

    QString text(QAccessible::Text type) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;

protected:
    void press() override;

private:
    JobRowAccessible *m_row;
    Kind m_kind;
};
