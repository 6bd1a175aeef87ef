#include "Views/Inspector/SettingsSection.h"

#include "Services/AppStore.h"
#include "Views/Inspector/DisclosureButton.h"
#include "Views/Inspector/ModelTab.h"
#include "Views/Inspector/ParameterControl.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Theme/Card.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/SectionLabel.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace
{
QLabel *secondaryLabel(const QString &text, qreal size, QWidget *parent)
{
    auto *label = new TextLabel(text, size, QFont::Normal, TextLabel::Tone::secondary, parent);
    label->setWordWrap(true);
    return label;
}
} // namespace

SettingsSection::SettingsSection(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store),
      m_reset(new PlainButton(QString(), QStringLiteral("Reset"), PlainButton::Tint::accent, this)),
      m_tabsArea(new QScrollArea(this)), m_card(new Card(12, this))
{
    setObjectName(QStringLiteral("settingsSection"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_reset->setObjectName(QStringLiteral("resetParameters"));
    m_reset->setAccessibleName(QStringLiteral("Reset"));
    m_reset->setToolTip(QStringLiteral("Reset this model's settings to its defaults"));
    m_reset->setTextFont(Theme::font(10, QFont::Medium));
    connect(m_reset, &QAbstractButton::clicked, this, [this] { m_store.resetParams(); });
    column->addWidget(new SectionLabel(QStringLiteral("Settings"), m_reset, this));

    m_tabsArea->setObjectName(QStringLiteral("modelTabs"));
    m_tabsArea->setFixedHeight(24);
    m_tabsArea->setFrameShape(QFrame::NoFrame);
    m_tabsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tabsArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tabsArea->setWidgetResizable(true);
    m_tabsArea->viewport()->setAutoFillBackground(false);
    column->addWidget(m_tabsArea);
    m_card->setObjectName(QStringLiteral("settingsCard"));
    column->addWidget(m_card);

    connect(&store, &AppStore::stateChanged, this, &SettingsSection::refresh);
    connect(&store, &AppStore::schemaStatesChanged, this, &SettingsSection::refresh);
    connect(&store, &AppStore::modeChanged, this, &SettingsSection::refresh);
    connect(&store, &AppStore::tokenChanged, this, &SettingsSection::refresh);
    connect(&store, &AppStore::catalogsChanged, this, &SettingsSection::refresh);
    refresh();
}

void SettingsSection::refresh()
{
    const ModeState state = m_store.state();
    m_reset->setVisible(!state.overrides.value(state.focusedSlug).isEmpty());
    rebuildTabs();
    const CardKey key{m_store.mode().value_or(Mode::upscale), state.focusedSlug,
                      m_store.schemaState(), m_store.tokens().hasToken()};
    // Each control follows the store itself; only a new model or schema rebuilds the card.
    if (key != m_cardKey) {
        m_cardKey = key;
        rebuildCard();
    }
}

void SettingsSection::rebuildTabs()
{
    const QList<CatalogModel> selected = m_store.selectedModels();
    QStringList titles;
    for (const CatalogModel &model : selected)
        titles.append(model.slug() + QLatin1Char('\n') + model.title);
    const QString focus = m_store.state().focusedSlug;
    m_tabsArea->setVisible(selected.size() >= 2);
    if (titles == m_tabsShown && focus == m_tabsFocus)
        return;
    m_tabsShown = titles;
    m_tabsFocus = focus;
    auto *strip = new QWidget;
    strip->setAutoFillBackground(false);
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    for (const CatalogModel &model : selected) {
        auto *tab = new ModelTab(model.title, model.slug() == focus, strip);
        tab->setObjectName(QStringLiteral("modelTab:") + model.slug());
        const QString slug = model.slug();
        connect(tab, &QAbstractButton::clicked, this,
                [this, slug] { m_store.setFocusedSlug(slug); });
        row->addWidget(tab);
    }
    row->addStretch(1);
    // The old strip may hold the tab whose click brought us here: let it finish first.
    if (QWidget *old = m_tabsArea->takeWidget())
        old->deleteLater();
    m_tabsArea->setWidget(strip);
}

void SettingsSection::rebuildCard()
{
    // The old content may hold the button ("Retry") whose click brought us here.
    // Out of the card at once, so nothing finds it, and deleted once that click has returned.
    if (m_cardContent) {
        m_cardContent->hide();
        m_cardContent->setParent(nullptr);
        m_cardContent->deleteLater();
    }
    m_cardContent = new QWidget(m_card);
    m_card->content()->addWidget(m_cardContent);
    const SchemaState schema = m_cardKey->schema;
    switch (schema.kind()) {
    case SchemaState::Kind::idle:
    case SchemaState::Kind::loading: {
        auto *row = new QHBoxLayout(m_cardContent);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(new ProgressRing(14, Theme::accent(), m_cardContent));
        auto *text = secondaryLabel(QStringLiteral("Reading model settings…"), 11.5, m_cardContent);
        text->setObjectName(QStringLiteral("schemaLoading"));
        row->addWidget(text, 1);
        break;
    }
    case SchemaState::Kind::failed: {
        auto *column = new QVBoxLayout(m_cardContent);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(10);
        auto *message = secondaryLabel(schema.message(), 11.5, m_cardContent);
        message->setObjectName(QStringLiteral("schemaFailure"));
        column->addWidget(message);
        auto *buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        if (!m_cardKey->hasToken) {
            auto *open = new QuietButton(QStringLiteral("Open Settings"), false, m_cardContent);
            open->setObjectName(QStringLiteral("openSettings"));
            connect(open, &QAbstractButton::clicked, this, &SettingsSection::settingsRequested);
            buttons->addWidget(open);
        }
        auto *retry = new QuietButton(QStringLiteral("Retry"), false, m_cardContent);
        retry->setObjectName(QStringLiteral("retrySchema"));
        connect(retry, &QAbstractButton::clicked, this, [this] { m_store.refreshSchema(); });
        buttons->addWidget(retry);
        buttons->addStretch(1);
        column->addLayout(buttons);
        break;
    }
    case SchemaState::Kind::ready: {
        auto *column = new QVBoxLayout(m_cardContent);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(12);
        // Told before any job is queued: the mode's jobs are prompts, or files in upscale.
        if (const auto refusal = schema.schema()->refusal(m_cardKey->mode != Mode::upscale)) {
            auto *note = new TextLabel(refusal->message(), 11.5, QFont::Medium,
                                       TextLabel::Tone::orange, m_cardContent);
            note->setObjectName(QStringLiteral("schemaRefusal"));
            note->setWordWrap(true);
            column->addWidget(note);
        }
        column->addWidget(buildControls(*schema.schema()));
        break;
    }
    }
    m_cardContent->show();
}

QWidget *SettingsSection::buildControls(const ModelSchema &schema)
{
    auto *host = new QWidget(m_cardContent);
    auto *column = new QVBoxLayout(host);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    // The prompt is typed in the composer in the prompt modes.
    const auto [primary, advanced] = schema.inspectorParams(m_cardKey->mode != Mode::upscale);
    if (primary.isEmpty() && advanced.isEmpty()) {
        auto *row = new QHBoxLayout;
        row->setSpacing(6);
        auto *symbol = new QLabel(host);
        symbol->setPixmap(Icons::pixmap(QStringLiteral("wand.and.stars"),
                                        Theme::secondary(palette()), 12, devicePixelRatioF()));
        row->addWidget(symbol);
        auto *text = secondaryLabel(QStringLiteral("No options — this model just runs."), 11, host);
        text->setObjectName(QStringLiteral("noOptions"));
        row->addWidget(text, 1);
        column->addLayout(row);
        return host;
    }
    for (const SchemaParam &param : primary) {
        auto *control = new ParameterControl(m_store, param, host);
        column->addWidget(control);
    }
    if (advanced.isEmpty())
        return host;
    auto *disclosure = new DisclosureButton(
        QStringLiteral("Advanced (") + QString::number(advanced.size()) + QLatin1Char(')'), host);
    disclosure->setObjectName(QStringLiteral("advancedToggle"));
    disclosure->setChecked(m_showAdvanced);
    column->addWidget(disclosure);
    auto *group = new QWidget(host);
    group->setObjectName(QStringLiteral("advancedGroup"));
    auto *groupColumn = new QVBoxLayout(group);
    groupColumn->setContentsMargins(0, 0, 0, 0);
    groupColumn->setSpacing(14);
    for (const SchemaParam &param : advanced) {
        auto *control = new ParameterControl(m_store, param, group);
        groupColumn->addWidget(control);
    }
    group->setVisible(m_showAdvanced);
    column->addWidget(group);
    connect(disclosure, &QAbstractButton::toggled, group, [this, group](bool open) {
        m_showAdvanced = open;
        group->setVisible(open);
    });
    return host;
}
