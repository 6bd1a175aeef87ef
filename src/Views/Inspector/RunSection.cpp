#include "Views/Inspector/RunSection.h"

#include "Services/AppStore.h"
#include "Services/CostPlanner.h"
#include "Services/JobTracker.h"
#include "Services/Pricing.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Inspector/SpendLimitField.h"
#include "Views/Theme/GlowButton.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

RunSection::RunSection(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store),
      m_token(new PlainButton(QStringLiteral("key.fill"), QStringLiteral("Add Replicate API token"),
                              PlainButton::Tint::orange, this)),
      m_estimateRow(new QWidget(this)),
      m_estimate(
          new TextLabel(QString(), 11, QFont::Normal, TextLabel::Tone::secondary, m_estimateRow)),
      m_run(new GlowButton(QString(), this)),
      m_reveal(new QCheckBox(QStringLiteral("Reveal in File Manager when done"), this))
{
    setObjectName(QStringLiteral("runSection"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 14);
    column->setSpacing(8);

    m_token->setObjectName(QStringLiteral("addToken"));
    m_token->setFilled(true);
    m_token->setPadding(10, 7);
    m_token->setSymbolSize(11);
    connect(m_token, &QAbstractButton::clicked, this, &RunSection::settingsRequested);
    column->addWidget(m_token);

    auto *estimateLayout = new QHBoxLayout(m_estimateRow);
    estimateLayout->setContentsMargins(0, 0, 0, 0);
    estimateLayout->setSpacing(5);
    auto *tag = new QLabel(m_estimateRow);
    tag->setPixmap(
        Icons::pixmap(QStringLiteral("tag"), Theme::secondary(palette()), 11, devicePixelRatioF()));
    estimateLayout->addWidget(tag);
    m_estimate->setObjectName(QStringLiteral("estimate"));
    estimateLayout->addWidget(m_estimate, 1);
    column->addWidget(m_estimateRow);
    column->addWidget(new SpendLimitField(store, this));

    m_run->setObjectName(QStringLiteral("runButton"));
    m_run->setSymbol(QStringLiteral("wand.and.stars"));
    connect(m_run, &QAbstractButton::clicked, this, [this] {
        if (m_store.isRunning())
            m_store.cancelRun();
        else
            m_store.startRun();
    });
    column->addWidget(m_run);

    m_reveal->setObjectName(QStringLiteral("revealWhenDone"));
    m_reveal->setFont(Theme::font(11));
    {
        QPalette pal = m_reveal->palette();
        pal.setColor(QPalette::WindowText, Theme::secondary(palette()));
        m_reveal->setPalette(pal);
    }
    connect(m_reveal, &QCheckBox::toggled, this,
            [this](bool reveal) { m_store.setRevealWhenDone(reveal); });
    column->addWidget(m_reveal, 0, Qt::AlignLeft);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(0);
    connect(&m_refresh, &QTimer::timeout, this, &RunSection::refresh);
    const auto schedule = [this] { m_refresh.start(); };
    connect(&store, &AppStore::jobsChanged, this, schedule);
    connect(&store, &AppStore::modeChanged, this, schedule);
    // What is pending follows the variants' statuses; previews alone change nothing here. The
    // tracker's notice already comes once per turn.
    connect(
        &store.jobTracker(), &JobTracker::jobsUpdated, this,
        [this](const QList<ImageJobPtr> &, JobTracker::Changes changes) {
            if (changes.testAnyFlags(JobTracker::Change::status | JobTracker::Change::variants)) {
                m_refresh.stop();
                refresh();
            }
        });
    connect(&store, &AppStore::stateChanged, this, schedule);
    connect(&store, &AppStore::runningChanged, this, schedule);
    connect(&store, &AppStore::tokenChanged, this, schedule);
    connect(&store, &AppStore::pricesChanged, this, schedule);
    connect(&store, &AppStore::schemaStatesChanged, this, schedule);
    connect(&store, &AppStore::revealWhenDoneChanged, this, schedule);
    // Files are read many a second while a drop is inspected: the estimate follows at most
    // ten times a second.
    m_sizesRead.setSingleShot(true);
    m_sizesRead.setInterval(100);
    connect(&m_sizesRead, &QTimer::timeout, this, schedule);
    connect(&store, &AppStore::sourcesInspected, this, [this] {
        if (!m_sizesRead.isActive())
            m_sizesRead.start();
    });
    refresh();
}

void RunSection::refresh()
{
    const bool running = m_store.isRunning();
    const bool hasToken = m_store.tokens().hasToken();
    const int pending = static_cast<int>(m_store.pendingPairs().size());
    m_token->setVisible(!hasToken);

    std::optional<CostEstimate> estimate;
    if (!running && hasToken && pending > 0)
        estimate = m_store.estimatedCost();
    m_estimateRow->setVisible(estimate.has_value());
    if (estimate) {
        m_estimate->setText(CostPlanner::estimateLabel(*estimate));
        m_estimateRow->setToolTip(CostPlanner::estimateHelp(*estimate));
        m_estimate->setToolTip(CostPlanner::estimateHelp(*estimate));
    }

    if (running) {
        m_run->setText(QStringLiteral("Stop"));
        m_run->setSymbol(QString());
        m_run->setDestructive(true);
        m_run->setEnabled(true);
    } else {
        m_run->setText(InspectorText::runTitle(m_store.mode(), pending));
        m_run->setSymbol(QStringLiteral("wand.and.stars"));
        m_run->setDestructive(false);
        m_run->setEnabled(hasToken && pending > 0);
    }
    m_run->setAccessibleName(m_run->text());
    if (m_reveal->isChecked() != m_store.revealWhenDone()) {
        const QSignalBlocker block(m_reveal);
        m_reveal->setChecked(m_store.revealWhenDone());
    }
}

void RunSection::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(Theme::withAlpha(Theme::separator(palette()), 0.35), 1));
    painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));
}
