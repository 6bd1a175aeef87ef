#pragma once

#include "Models/CatalogModel.h"

#include <QListView>

class ModelRow;
class PickerListModel;
class PlainButton;

// The picker's scrolling list. A click, Return or Space picks a row; the hovered (or, from the
// keyboard, the current) custom row shows a remove button, and Delete removes it too.
class ModelList final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelList)
public:
    explicit ModelList(QWidget *parent = nullptr);

    PickerListModel *listModel() const { return m_model; }
    void setRows(const QList<CatalogModel> &rows, const QStringList &selectedSlugs, bool compare);
    PlainButton *removeButton() const { return m_remove; }

Q_SIGNALS:
    void picked(const CatalogModel &model);
    void removeRequested(const CatalogModel &model);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Puts the remove button over `index` when it is a custom model, else hides it.
    void placeRemoveButton(const QModelIndex &index);

    PickerListModel *m_model;
    ModelRow *m_row;
    PlainButton *m_remove;
    QPersistentModelIndex m_removeTarget;
};
