#pragma once

#include <array>
#include <QAccessibleWidget>

class StatusBar;

// The status bar as a status bar with four painted parts: the text ("3 of 6", "4 upscaled",
// "Ready"), the run's progress bar, what the run spent ("Spent $1.24 of $5.00") and the
// "No API token" warning. A part not shown is invisible; the bar announces its changes itself,
// child by child.
class StatusBarAccessible final : public QAccessibleWidget
{
public:
    enum Part { text, progress, spend, tokenWarning, partCount };

    explicit StatusBarAccessible(StatusBar *bar);
    ~StatusBarAccessible() override;
    Q_DISABLE_COPY_MOVE(StatusBarAccessible)

    int childCount() const override { return partCount; }
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    StatusBar *bar() const;

private:
    mutable std::array<QAccessible::Id, partCount> m_parts{};
};
