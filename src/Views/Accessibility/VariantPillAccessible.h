#pragma once

#include "Models/ModelVariant.h"

#include <QAccessibleInterface>

class JobRowAccessible;

// One variant's pill in a job row, named by model, state, size and charge as the pill reads; its
// description is the pill's tooltip. It is a button that opens the job once its result is done
// and on disk, and is unavailable until then, as a click on it does nothing.
class VariantPillAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    VariantPillAccessible(JobRowAccessible *row, ModelVariantPtr variant);
    Q_DISABLE_COPY_MOVE(VariantPillAccessible)

    // Announces a new name, description or availability since the last call.
    void update();

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    int index() const;

    JobRowAccessible *m_row;
    ModelVariantPtr m_variant;
    QString m_shownName;
    QString m_shownDescription;
    bool m_shownOpens = false;
};
