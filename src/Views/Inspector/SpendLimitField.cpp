#include "Views/Inspector/SpendLimitField.h"

#include "Services/AppStore.h"
#include "Views/Inspector/WheelGuard.h"
#include "Views/Theme/Theme.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>

SpendLimitField::SpendLimitField(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_enabled(new QCheckBox(QStringLiteral("Stop at"), this)),
      m_amount(new QDoubleSpinBox(this))
{
    setObjectName(QStringLiteral("spendLimitField"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    const QString help =
        QStringLiteral("Starts no more work once the next item could take this run's spend, at "
                       "Replicate's list prices, past this amount.");
    m_enabled->setObjectName(QStringLiteral("spendLimitEnabled"));
    m_enabled->setAccessibleName(QStringLiteral("Stop at"));
    m_enabled->setToolTip(help);
    m_enabled->setFont(Theme::font(11));
    {
        QPalette pal = m_enabled->palette();
        pal.setColor(QPalette::WindowText, Theme::secondary(palette()));
        m_enabled->setPalette(pal);
    }
    row->addWidget(m_enabled);

    m_amount->setObjectName(QStringLiteral("spendLimit"));
    m_amount->setAccessibleName(QStringLiteral("Spending limit in dollars"));
    m_amount->setToolTip(help);
    m_amount->setFont(Theme::font(11.5));
    // Written as every other dollar amount of the application: "$12.50", a point before the cents.
    m_amount->setLocale(QLocale::c());
    m_amount->setPrefix(QStringLiteral("$"));
    m_amount->setDecimals(2);
    m_amount->setRange(0.01, 99999.99);
    m_amount->setSingleStep(1.0);
    m_amount->setValue(firstLimit);
    // Stored when the typing is done (Return or leaving the field), not at every keystroke.
    m_amount->setKeyboardTracking(false);
    WheelGuard::install(m_amount);
    row->addWidget(m_amount);
    row->addStretch(1);

    connect(m_enabled, &QCheckBox::toggled, this, &SpendLimitField::store);
    connect(m_amount, &QDoubleSpinBox::valueChanged, this, &SpendLimitField::store);
    connect(&store, &AppStore::stateChanged, this, &SpendLimitField::refresh);
    connect(&store, &AppStore::modeChanged, this, &SpendLimitField::refresh);
    refresh();
}

void SpendLimitField::store()
{
    m_amount->setEnabled(m_enabled->isChecked());
    const std::optional<double> limit =
        m_enabled->isChecked() ? std::optional<double>(m_amount->value()) : std::nullopt;
    if (m_store.state().spendLimit != limit)
        m_store.setSpendLimit(limit);
}

void SpendLimitField::refresh()
{
    const std::optional<double> limit = m_store.state().spendLimit;
    const QSignalBlocker blockEnabled(m_enabled);
    const QSignalBlocker blockAmount(m_amount);
    m_enabled->setChecked(limit.has_value());
    // Without a limit the amount last shown stays, ready for when it is turned on again.
    if (limit)
        m_amount->setValue(*limit);
    m_amount->setEnabled(limit.has_value());
}
