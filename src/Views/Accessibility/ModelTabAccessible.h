#pragma once

#include <QAccessibleWidget>

class ModelTab;

// A model's tab above the settings card as a page tab, selected while its model's settings are
// the ones shown; pressing it shows that model's settings, as a click does.
class ModelTabAccessible final : public QAccessibleWidget
{
public:
    explicit ModelTabAccessible(ModelTab *tab);
    Q_DISABLE_COPY_MOVE(ModelTabAccessible)

    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    ModelTab *tab() const;
};
