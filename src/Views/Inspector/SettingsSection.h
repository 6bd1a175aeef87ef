#pragma once

#include "Models/Mode.h"
#include "Models/SchemaState.h"

#include <QWidget>

class AppStore;
class Card;
class ParameterControl;
class PlainButton;
class QHBoxLayout;
class QScrollArea;

// The focused model's parameters: "Reset" for its overrides, a tab per model when several are
// selected, and a card that follows the model's schema state (reading, failed, no options, or
// one control per parameter with the advanced ones behind a disclosure).
class SettingsSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsSection)
public:
    explicit SettingsSection(AppStore &store, QWidget *parent = nullptr);

    bool showsAdvanced() const { return m_showAdvanced; }

Q_SIGNALS:
    void settingsRequested();

private:
    // What the card's content is built from; anything else only refreshes the controls.
    struct CardKey {
        Mode mode = Mode::upscale;
        QString slug;
        SchemaState schema;
        bool hasToken = false;
        friend bool operator==(const CardKey &, const CardKey &) = default;
    };

    void refresh();
    void rebuildTabs();
    void rebuildCard();
    QWidget *buildControls(const ModelSchema &schema);

    AppStore &m_store;
    PlainButton *m_reset;
    QScrollArea *m_tabsArea;
    QStringList m_tabsShown;
    QString m_tabsFocus;
    Card *m_card;
    QWidget *m_cardContent = nullptr;
    std::optional<CardKey> m_cardKey;
    // Whether the advanced parameters are open; shared by whichever model is focused.
    bool m_showAdvanced = false;
};
