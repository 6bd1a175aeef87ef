#pragma once

#include "Models/ModelVariant.h"

#include "Views/Accessibility/PaintedElementAccessible.h"

class JobRowAccessible;

// One variant's pill in a job row, named by model, state, size and charge as the pill reads; its
// description is the pill's tooltip. It is a button that opens the job once its result is done
// and on disk, and is unavailable until then, as a click on it does nothing.
class VariantPillAccessible final : public PressableElementAccessible
{
public:
    VariantPillAccessible(JobRowAccessible *row, ModelVariantPtr variant);
    Q_DISABLE_COPY_MOVE(VariantPillAccessible)

    // Announces a new name, description or availability since the last call.
    void update();

    QString text(QAccessible::Text type) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;

protected:
    bool canPress() const override;
    void press() override;

private:
    int index() const;

    JobRowAccessible *m_row;
    ModelVariantPtr m_variant;
    QString m_shownName;
    QString m_shownDescription;
    bool m_shownOpens = false;
};
