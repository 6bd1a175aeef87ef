#include "Views/Inspector/InspectorView.h"

#include "Services/AppStore.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/ModelPicker.h"
#include "Views/Inspector/OutputSection.h"
#include "Views/Inspector/RunSection.h"
#include "Views/Inspector/SettingsSection.h"
#include "Views/Theme/SectionLabel.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

InspectorView::InspectorView(AppStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("inspector"));
    setAccessibleName(QStringLiteral("Inspector"));
    setFixedWidth(columnWidth);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("inspectorScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget;
    auto *sections = new QVBoxLayout(content);
    sections->setContentsMargins(14, 14, 14, 16);
    sections->setSpacing(20);
    sections->addWidget(buildModelsSection());
    m_settings = new SettingsSection(store, content);
    sections->addWidget(m_settings);
    m_output = new OutputSection(store, content);
    sections->addWidget(m_output);
    sections->addStretch(1);
    scroll->setWidget(content);
    // setWidget() turns the content's background filling on; the backdrop must show through.
    content->setAutoFillBackground(false);
    column->addWidget(scroll, 1);

    m_run = new RunSection(store, this);
    column->addWidget(m_run);

    connect(m_settings, &SettingsSection::settingsRequested, this,
            &InspectorView::settingsRequested);
    connect(m_run, &RunSection::settingsRequested, this, &InspectorView::settingsRequested);
    connect(&store, &AppStore::stateChanged, this, &InspectorView::refreshModels);
    connect(&store, &AppStore::modeChanged, this, &InspectorView::refreshModels);
    refreshModels();
}

QWidget *InspectorView::buildModelsSection()
{
    auto *section = new QWidget(this);
    section->setObjectName(QStringLiteral("modelsSection"));
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_count = new TextLabel(QString(), 10, QFont::Medium, TextLabel::Tone::accent, section);
    m_count->setObjectName(QStringLiteral("selectedCount"));
    column->addWidget(new SectionLabel(QStringLiteral("Models"), m_count, section));
    m_picker = new ModelPicker(m_store, section);
    connect(m_picker, &ModelPicker::settingsRequested, this, &InspectorView::settingsRequested);
    column->addWidget(m_picker);
    m_hint = new TextLabel(QString(), 11, QFont::Normal, TextLabel::Tone::secondary, section);
    m_hint->setObjectName(QStringLiteral("modelsHint"));
    m_hint->setWordWrap(true);
    column->addWidget(m_hint);
    return section;
}

void InspectorView::refreshModels()
{
    m_count->setText(QString::number(m_store.state().selectedSlugs.size()) +
                     QStringLiteral(" selected"));
    m_hint->setText(QStringLiteral("Pick more than one to run every ") +
                    InspectorText::sourceNoun(m_store.mode().value_or(Mode::upscale)) +
                    QStringLiteral(" through each and compare."));
}
