#include "Views/Inspector/WheelGuard.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QWheelEvent>
#include <QWidget>

WheelGuard::WheelGuard(QObject *parent) : QObject(parent) {}

void WheelGuard::install(QWidget *control)
{
    // A menu's usual wheel focus would hand it the focus by the very wheel turn meant to scroll.
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelGuard(control));
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    const auto *control = qobject_cast<QWidget *>(watched);
    if (!control || control->hasFocus())
        return false;
    auto *wheel = static_cast<QWheelEvent *>(event);
    QAbstractScrollArea *area = nullptr;
    for (QWidget *parent = control->parentWidget(); parent && !area;
         parent = parent->parentWidget())
        area = qobject_cast<QAbstractScrollArea *>(parent);
    if (!area) {
        // Nothing to scroll here: the parents may take it, as they would from a plain widget.
        wheel->ignore();
        return true;
    }
    // Handed to the area itself rather than ignored: a wheel event that was sent, not turned by
    // the user, never travels on to the parents.
    QWidget *viewport = area->viewport();
    QWheelEvent forwarded(viewport->mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(),
                          wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                          wheel->modifiers(), wheel->phase(), wheel->inverted(), wheel->source(),
                          wheel->pointingDevice());
    QCoreApplication::sendEvent(viewport, &forwarded);
    wheel->accept();
    return true;
}
