#pragma once

#include <QWidget>

class AppStore;
class QCheckBox;
class QDoubleSpinBox;

// "Stop at $N": the current mode's spending limit for a run, a check box that turns it on and a
// dollar amount, editable only while it is on. The store keeps it per mode; a run takes the
// value it finds when it starts.
class SpendLimitField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpendLimitField)
public:
    explicit SpendLimitField(AppStore &store, QWidget *parent = nullptr);

    // The amount offered when a limit is turned on for the first time.
    static constexpr double firstLimit = 5.0;

private:
    void refresh();
    void store();

    AppStore &m_store;
    QCheckBox *m_enabled;
    QDoubleSpinBox *m_amount;
};
