#include "Views/Inspector/PickerListModel.h"

PickerListModel::PickerListModel(QObject *parent) : QAbstractListModel(parent) {}

void PickerListModel::setRows(const QList<CatalogModel> &rows, const QStringList &selectedSlugs,
                              bool compare)
{
    const QSet<QString> selected(selectedSlugs.begin(), selectedSlugs.end());
    if (rows == m_rows && selected == m_selected && compare == m_compare)
        return;
    if (rows == m_rows) {
        // Only the marks changed: repaint, keep the view's place and keyboard position.
        m_selected = selected;
        m_compare = compare;
        if (!m_rows.isEmpty())
            Q_EMIT dataChanged(index(0), index(static_cast<int>(m_rows.size()) - 1));
        return;
    }
    beginResetModel();
    m_rows = rows;
    m_selected = selected;
    m_compare = compare;
    endResetModel();
}

int PickerListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant PickerListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const CatalogModel &entry = m_rows.at(index.row());
    const bool selected = m_selected.contains(entry.slug());
    switch (role) {
    case Qt::DisplayRole:
        return entry.title;
    case Qt::ToolTipRole:
        return entry.slug();
    case Qt::AccessibleTextRole:
        return QString(entry.title + (selected ? QStringLiteral(", selected") : QString()));
    case Qt::AccessibleDescriptionRole:
        return entry.blurb;
    case ModelRole:
        return QVariant::fromValue(entry);
    case SelectedRole:
        return selected;
    case CompareRole:
        return m_compare;
    default:
        return {};
    }
}
