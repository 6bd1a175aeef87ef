#include "Views/Inspector/ModelPicker.h"

#include "Services/AppStore.h"
#include "Services/Coroutine.h"
#include "Services/SettingsWriter.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/ModelList.h"
#include "Views/Inspector/PickerHeader.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

const QString ModelPicker::compareKey = QStringLiteral("compareModels");

namespace
{
// The panel: a card-filled rounded rectangle with a hairline between the search row, the list and
// the compare setting.
class PickerPanel final : public QWidget
{
public:
    explicit PickerPanel(QWidget *parent) : QWidget(parent) {}
    QList<QWidget *> dividersAfter;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::cardStroke(palette()), 1));
        painter.setBrush(Theme::cardFill(palette()));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11, 11);
        painter.setPen(QPen(Theme::withAlpha(Theme::separator(palette()), 0.5), 1));
        for (QWidget *above : dividersAfter) {
            const qreal y = above->geometry().bottom() + 0.5;
            painter.drawLine(QPointF(1, y), QPointF(width() - 1, y));
        }
    }
};
} // namespace

QString ModelPicker::rejectedTokenText()
{
    return QStringLiteral("Replicate rejected the API token.");
}

ModelPicker::ModelPicker(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_header(new PickerHeader(this)),
      m_panel(new PickerPanel(this)), m_search(new QLineEdit(m_panel)),
      m_ring(new ProgressRing(10, Theme::accent(), m_panel)),
      m_clear(new PlainButton(QStringLiteral("xmark.circle.fill"), QString(),
                              PlainButton::Tint::tertiary, m_panel)),
      m_list(new ModelList(m_panel)),
      m_use(new PlainButton(QStringLiteral("plus.circle"), QString(), PlainButton::Tint::primary,
                            m_panel)),
      m_status(new TextLabel(QString(), 11, QFont::Normal, TextLabel::Tone::secondary, m_panel)),
      m_rejection(new QWidget(m_panel)),
      m_compareBox(new QCheckBox(QStringLiteral("Compare several models at once"), m_panel)),
      m_reveal(this, 0)
{
    setObjectName(QStringLiteral("modelPicker"));
    m_compare = store.settingsWriter().value(compareKey, false).toBool();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(m_header);
    column->addWidget(m_panel);
    connect(m_header, &QAbstractButton::clicked, this, [this] { setExpanded(!m_expanded); });

    auto *panel = new QVBoxLayout(m_panel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(0);
    auto *searchRow = new QWidget(m_panel);
    searchRow->setObjectName(QStringLiteral("searchRow"));
    searchRow->installEventFilter(this);
    auto *searchLayout = new QHBoxLayout(searchRow);
    searchLayout->setContentsMargins(10, 8, 10, 8);
    searchLayout->setSpacing(6);
    auto *glass = new QLabel(searchRow);
    glass->setPixmap(Icons::pixmap(QStringLiteral("magnifyingglass"), Theme::secondary(palette()),
                                   11, devicePixelRatioF()));
    searchLayout->addWidget(glass);
    m_search->setParent(searchRow);
    m_search->setObjectName(QStringLiteral("modelSearch"));
    m_search->setAccessibleName(QStringLiteral("Search models"));
    m_search->setPlaceholderText(QStringLiteral("Search every Replicate model…"));
    m_search->setFont(Theme::font(11.5));
    m_search->setFrame(false);
    // A plain field: the panel's own fill shows through.
    QPalette plain = m_search->palette();
    plain.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(plain);
    m_search->installEventFilter(this);
    searchLayout->addWidget(m_search, 1);
    m_ring->setParent(searchRow);
    m_ring->setObjectName(QStringLiteral("searchProgress"));
    searchLayout->addWidget(m_ring);
    m_clear->setParent(searchRow);
    m_clear->setObjectName(QStringLiteral("clearSearch"));
    m_clear->setAccessibleName(QStringLiteral("Clear search"));
    m_clear->setToolTip(QStringLiteral("Clear search"));
    m_clear->setSymbolSize(10);
    searchLayout->addWidget(m_clear);
    panel->addWidget(searchRow);

    m_rejection->setObjectName(QStringLiteral("pickerTokenRejected"));
    auto *rejectionRow = new QHBoxLayout(m_rejection);
    rejectionRow->setContentsMargins(10, 8, 10, 8);
    rejectionRow->setSpacing(8);
    auto *rejectionText =
        new TextLabel(rejectedTokenText(), 11, QFont::Medium, TextLabel::Tone::orange, m_rejection);
    rejectionText->setObjectName(QStringLiteral("pickerTokenRejectedText"));
    rejectionText->setWordWrap(true);
    rejectionRow->addWidget(rejectionText, 1);
    auto *openSettings = new QuietButton(QStringLiteral("Open Settings"), false, m_rejection);
    openSettings->setObjectName(QStringLiteral("pickerOpenSettings"));
    connect(openSettings, &QAbstractButton::clicked, this, &ModelPicker::settingsRequested);
    rejectionRow->addWidget(openSettings);
    m_rejection->hide();
    panel->addWidget(m_rejection);

    // A column exactly 300 px high: the rows, then the "Use owner/name" row or the empty-list
    // text under them.
    auto *body = new QWidget(m_panel);
    body->setFixedHeight(listHeight);
    auto *bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(0, 0, 0, 0);
    bodyColumn->setSpacing(0);
    m_list->setParent(body);
    bodyColumn->addWidget(m_list);
    m_use->setParent(body);
    m_use->setObjectName(QStringLiteral("useModel"));
    m_use->setTextFont(Theme::font(11));
    m_use->setSymbolTint(PlainButton::Tint::accent);
    m_use->setSymbolSize(10);
    m_use->setPadding(11, 6);
    bodyColumn->addWidget(m_use, 0, Qt::AlignLeft);
    m_status->setParent(body);
    m_status->setObjectName(QStringLiteral("pickerStatus"));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setContentsMargins(18, 18, 18, 18);
    bodyColumn->addWidget(m_status);
    bodyColumn->addStretch(1);
    panel->addWidget(body);

    auto *compareRow = new QWidget(m_panel);
    auto *compareLayout = new QHBoxLayout(compareRow);
    compareLayout->setContentsMargins(10, 7, 10, 7);
    m_compareBox->setObjectName(QStringLiteral("compareModels"));
    m_compareBox->setFont(Theme::font(11));
    m_compareBox->setChecked(m_compare);
    compareLayout->addWidget(m_compareBox);
    panel->addWidget(compareRow);
    static_cast<PickerPanel *>(m_panel)->dividersAfter = {searchRow, body};
    m_panel->hide();

    m_debounce.setSingleShot(true);
    m_debounce.setInterval(searchDelayMs);
    connect(&m_debounce, &QTimer::timeout, this, &ModelPicker::startSearch);
    connect(&m_reveal, &AnimatedValue::changed, this, &ModelPicker::applyReveal);
    connect(m_search, &QLineEdit::textChanged, this, &ModelPicker::queryChanged);
    connect(m_clear, &QAbstractButton::clicked, this, [this] {
        m_search->clear();
        m_search->setFocus();
    });
    connect(m_list, &ModelList::picked, this, &ModelPicker::pick);
    connect(m_list, &ModelList::removeRequested, this,
            [this](const CatalogModel &model) { m_store.removeCustom(model); });
    connect(m_use, &QAbstractButton::clicked, this, &ModelPicker::pickPasted);
    connect(m_compareBox, &QCheckBox::toggled, this, &ModelPicker::setCompareModels);

    connect(&store, &AppStore::stateChanged, this, &ModelPicker::refresh);
    connect(&store, &AppStore::catalogsChanged, this, &ModelPicker::refresh);
    connect(&store, &AppStore::modeChanged, this, [this] {
        setExpanded(false);
        refresh();
    });
    refresh();
}

ModelPicker::~ModelPicker() = default;

void ModelPicker::setExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    m_header->setExpanded(expanded);
    m_reveal.springTo(expanded ? 1 : 0, 0.18);
    applyReveal();
    if (expanded) {
        refresh();
        m_search->setFocus(Qt::OtherFocusReason);
    } else {
        // A reopened panel starts unfiltered: the query and the service's results go with it.
        ++m_searchSerial;
        m_debounce.stop();
        m_searching = false;
        m_remote.clear();
        m_search->clear();
    }
}

void ModelPicker::applyReveal()
{
    const qreal shown = m_reveal.value();
    if (!m_expanded && shown <= 0.001) {
        m_panel->hide();
        return;
    }
    m_panel->show();
    // The panel grows from its top edge; its content keeps its size and is clipped meanwhile.
    m_panel->setMaximumHeight(shown >= 0.999 ? QWIDGETSIZE_MAX
                                             : qRound(shown * m_panel->sizeHint().height()));
}

void ModelPicker::setCompareModels(bool compare)
{
    if (compare == m_compare)
        return;
    m_compare = compare;
    m_compareBox->setChecked(compare);
    m_store.settingsWriter().write(compareKey, compare);
    if (!compare)
        m_store.selectOnly(m_store.focusedModel());
    refresh();
}

QList<CatalogModel> ModelPicker::results() const
{
    return InspectorText::results(m_store.models(), m_remote, m_store.selectedModels(),
                                  m_store.state().selectedSlugs, m_search->text());
}

void ModelPicker::queryChanged()
{
    // Each keystroke puts off the service search; an answer still on its way is for an older
    // query and will be dropped.
    ++m_searchSerial;
    m_debounce.stop();
    m_searching = false;
    if (m_search->text().trimmed().size() < 2)
        m_remote.clear();
    else if (m_expanded)
        m_debounce.start();
    refresh();
}

void ModelPicker::startSearch()
{
    const QString query = m_search->text().trimmed();
    if (query.size() < 2 || !m_expanded)
        return;
    m_searching = true;
    refresh();
    search(query, m_searchSerial);
}

QCoro::Task<void> ModelPicker::search(QString query, quint64 serial)
{
    const QPointer<ModelPicker> self(this);
    auto request = m_store.directory().searchModels(query);
    QList<CatalogModel> found = co_await request;
    if (!self || serial != m_searchSerial)
        co_return;
    m_remote = found;
    m_searching = false;
    refresh();
}

void ModelPicker::refresh()
{
    const QList<CatalogModel> selected = m_store.selectedModels();
    m_header->setSummary(InspectorText::summary(selected));
    if (!m_expanded)
        return;
    const QList<CatalogModel> rows = results();
    m_list->setRows(rows, m_store.state().selectedSlugs, m_compare);
    m_pasted = InspectorText::pastedModel(m_search->text(), rows);
    const bool empty = rows.isEmpty();
    const bool hasQuery = !m_search->text().isEmpty();
    m_clear->setVisible(hasQuery && !m_searching);
    m_ring->setVisible(m_searching);
    if (m_pasted) {
        m_use->setLabel(QStringLiteral("Use ") + m_pasted->slug());
        m_use->setAccessibleName(QStringLiteral("Use ") + m_pasted->slug());
    }
    m_use->setVisible(m_pasted.has_value());
    // Without the service's answer the list holds only the built-in models: say why.
    const bool rejected = m_store.directory().tokenRejected();
    m_rejection->setVisible(rejected);
    m_status->setText(m_searching ? QStringLiteral("Searching…")
                      : rejected  ? rejectedTokenText()
                                  : QStringLiteral("No models match."));
    m_status->setVisible(!m_pasted && empty);
    // The rows take the column, or only their own height when the "Use" row goes below them.
    m_list->setVisible(!empty);
    int rowsHeight = listHeight;
    if (m_pasted && !empty) {
        rowsHeight = 10;
        for (int row = 0; row < rows.size() && rowsHeight < listHeight; ++row)
            rowsHeight += m_list->sizeHintForRow(row);
        rowsHeight = qMin(rowsHeight, listHeight - m_use->sizeHint().height());
    }
    m_list->setMaximumHeight(rowsHeight);
}

void ModelPicker::pick(const CatalogModel &model)
{
    if (m_compare) {
        m_store.toggle(model);
        return;
    }
    m_store.selectOnly(model);
    setExpanded(false);
}

void ModelPicker::pickPasted()
{
    if (!m_pasted)
        return;
    const CatalogModel model = *m_pasted;
    m_search->clear();
    pick(model);
}

bool ModelPicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Down && m_list->model()->rowCount() > 0) {
            m_list->setFocus(Qt::TabFocusReason);
            if (!m_list->currentIndex().isValid())
                m_list->setCurrentIndex(m_list->model()->index(0, 0));
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_pasted) {
            pickPasted();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            setExpanded(false);
            m_header->setFocus();
            return true;
        }
    }
    // A click anywhere on the search row puts the caret in the field.
    if (watched != m_search && event->type() == QEvent::MouseButtonPress)
        m_search->setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, event);
}
