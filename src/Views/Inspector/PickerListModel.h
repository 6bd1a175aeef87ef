#pragma once

#include "Models/CatalogModel.h"

#include <QAbstractListModel>
#include <QSet>

// The picker's rows: catalog entries with whether each is selected. Plain records, so two
// thousand models cost two thousand small values, not two thousand widgets.
class PickerListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PickerListModel)
public:
    enum Role { ModelRole = Qt::UserRole + 1, SelectedRole, CompareRole };

    explicit PickerListModel(QObject *parent = nullptr);

    void setRows(const QList<CatalogModel> &rows, const QStringList &selectedSlugs, bool compare);
    const QList<CatalogModel> &rows() const { return m_rows; }
    CatalogModel model(int row) const { return m_rows.value(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<CatalogModel> m_rows;
    QSet<QString> m_selected;
    bool m_compare = false;
};
