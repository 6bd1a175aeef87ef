#include "Views/Accessibility/StatusPartAccessible.h"

#include "Views/Shell/StatusBar.h"

StatusPartAccessible::StatusPartAccessible(StatusBarAccessible *bar, StatusBarAccessible::Part part)
    : PaintedElementAccessible(bar), m_bar(bar), m_part(part)
{
}

QString StatusPartAccessible::text(QAccessible::Text type) const
{
    if (type != QAccessible::Name)
        return {};
    const StatusBar *bar = m_bar->bar();
    switch (m_part) {
    case StatusBarAccessible::text:
        return bar->leadingText();
    case StatusBarAccessible::progress:
        return QStringLiteral("Progress");
    case StatusBarAccessible::spend:
        return bar->spendText();
    case StatusBarAccessible::tokenWarning:
        return StatusBar::tokenWarningText();
    case StatusBarAccessible::partCount:
        break;
    }
    return {};
}

QAccessible::Role StatusPartAccessible::role() const
{
    return m_part == StatusBarAccessible::progress ? QAccessible::ProgressBar
                                                   : QAccessible::StaticText;
}

QAccessible::State StatusPartAccessible::state() const
{
    const StatusBar *bar = m_bar->bar();
    QAccessible::State state;
    state.readOnly = true;
    bool shown = bar->isVisible();
    switch (m_part) {
    case StatusBarAccessible::text:
        shown = shown && !bar->leadingText().isEmpty();
        break;
    case StatusBarAccessible::progress:
        shown = shown && bar->showsProgress();
        break;
    case StatusBarAccessible::spend:
        shown = shown && !bar->spendText().isEmpty();
        break;
    case StatusBarAccessible::tokenWarning:
        shown = shown && bar->showsTokenWarning();
        break;
    case StatusBarAccessible::partCount:
        break;
    }
    state.invisible = !shown;
    return state;
}

void *StatusPartAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface && m_part == StatusBarAccessible::progress)
        return static_cast<QAccessibleValueInterface *>(this);
    return nullptr;
}

QVariant StatusPartAccessible::currentValue() const
{
    return m_bar->bar()->progress() * 100.0;
}
