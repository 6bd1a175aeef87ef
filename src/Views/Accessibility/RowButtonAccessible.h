#pragma once

#include <QAccessibleInterface>

class JobRowAccessible;

// A painted button of a job row: "Compare", "View" or "Play" while a result can be shown, and
// "Remove" + the job's name. Pressing it does what a click on it does.
class RowButtonAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    enum class Kind { open, remove };

    RowButtonAccessible(JobRowAccessible *row, Kind kind);
    Q_DISABLE_COPY_MOVE(RowButtonAccessible)

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
    JobRowAccessible *m_row;
    Kind m_kind;
};
