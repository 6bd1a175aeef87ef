#pragma once

#include "Models/CatalogModel.h"
#include "Services/Coroutine.h"
#include "Views/Theme/Animation.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class AppStore;
class ModelList;
class PickerHeader;
class PlainButton;
class ProgressRing;
class QCheckBox;
class QLabel;
class QLineEdit;

// Chooses the model, or the several models, the current mode runs: a one-line summary that opens
// a panel with a search field, the mode's models merged with the service's search results, a row
// that offers a typed slug as a new model, and the compare setting. Only view state lives here;
// every change of the selection goes through the store.
class ModelPicker final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelPicker)
public:
    explicit ModelPicker(AppStore &store, QWidget *parent = nullptr);
    ~ModelPicker() override;

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    bool compareModels() const { return m_compare; }
    void setCompareModels(bool compare);
    bool isSearching() const { return m_searching; }
    const QList<CatalogModel> &remote() const { return m_remote; }
    QList<CatalogModel> results() const;

    // The settings key the compare setting is kept under.
    static const QString compareKey;
    // How long typing must pause before the service is asked.
    static constexpr int searchDelayMs = 300;
    static constexpr int listHeight = 300;
    // What the picker says while the service turns the token away.
    static QString rejectedTokenText();

Q_SIGNALS:
    // The user asked for Settings, to replace a token the service turned away.
    void settingsRequested();

private:
    // Shows the part of the panel the opening or closing motion has reached.
    void applyReveal();
    void queryChanged();
    void refresh();
    void pick(const CatalogModel &model);
    void pickPasted();
    void startSearch();
    QCoro::Task<void> search(QString query, quint64 serial);
    bool eventFilter(QObject *watched, QEvent *event) override;

    AppStore &m_store;
    PickerHeader *m_header;
    QWidget *m_panel;
    QLineEdit *m_search;
    ProgressRing *m_ring;
    PlainButton *m_clear;
    ModelList *m_list;
    PlainButton *m_use;
    QLabel *m_status;
    // Shown while the service turns the token away: the collection and search cannot answer.
    QWidget *m_rejection;
    QCheckBox *m_compareBox;
    QTimer m_debounce;
    AnimatedValue m_reveal;
    bool m_expanded = false;
    bool m_compare = false;
    bool m_searching = false;
    QList<CatalogModel> m_remote;
    std::optional<CatalogModel> m_pasted;
    // Bumped by every change of the query: an answer to an older query is dropped.
    quint64 m_searchSerial = 0;
};
