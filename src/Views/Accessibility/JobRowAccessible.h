#pragma once

#include "Models/ImageJob.h"

#include <QAccessibleInterface>
#include <QHash>
#include <QPointer>

class JobListView;

// One painted row of the job list: an item named by the job's name and size, whose description
// sums up its pills. Its children are the open button (while a result can be shown), the remove
// button and one pill per variant. Pressing it opens the result, as a click on the row does.
class JobRowAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    JobRowAccessible(JobListView *view, ImageJobPtr job);
    ~JobRowAccessible() override;
    Q_DISABLE_COPY_MOVE(JobRowAccessible)

    JobListView *view() const;
    ImageJobPtr job() const { return m_job; }
    // The row's card in viewport coordinates; empty once the job has left the list.
    QRect viewportRect() const;
    QRect toScreen(const QRectF &viewportRect) const;
    // Announces what changed since the last call: children, pills, name and description.
    void update();

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    // A child's identity: the open or remove button (null) or a pill (its variant).
    struct Part {
        enum class Kind { open, remove, pill } kind;
        const ModelVariant *variant = nullptr;
        friend bool operator==(const Part &, const Part &) = default;
    };
    QList<Part> parts() const;
    QAccessibleInterface *interfaceFor(const Part &part) const;
    QAccessible::Id existingId(const Part &part) const;
    void forget(const Part &part);

    QPointer<JobListView> m_view;
    ImageJobPtr m_job;
    mutable QAccessible::Id m_open = 0;
    mutable QAccessible::Id m_remove = 0;
    mutable QHash<const ModelVariant *, QAccessible::Id> m_pills;
    // What clients were last told, to announce only real changes.
    QList<Part> m_shownParts;
    QString m_shownName;
    QString m_shownDescription;
};
