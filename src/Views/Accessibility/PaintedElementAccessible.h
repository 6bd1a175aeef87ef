#pragma once

#include <QAccessibleInterface>

// A part that its parent widget paints (a button, pill or segment drawn by a delegate or a
// control): a leaf with no QObject of its own, valid and in a window as long as its parent is.
class PaintedElementAccessible : public QAccessibleInterface
{
public:
    explicit PaintedElementAccessible(QAccessibleInterface *parent) : m_parent(parent) {}
    Q_DISABLE_COPY_MOVE(PaintedElementAccessible)

    bool isValid() const override { return m_parent->isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_parent->window(); }
    QAccessibleInterface *parent() const override { return m_parent; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}

private:
    QAccessibleInterface *m_parent;
};

// A painted part that does what a click on it does when pressed, while canPress() holds.
class PressableElementAccessible : public PaintedElementAccessible,
                                   public QAccessibleActionInterface
{
public:
    using PaintedElementAccessible::PaintedElementAccessible;

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }
    QStringList actionNames() const override
    {
        return canPress() ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() && isValid() && canPress())
            press();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

protected:
    virtual bool canPress() const { return true; }
    virtual void press() = 0;
};
