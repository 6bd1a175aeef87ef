#include "Views/Workspace/ReferenceRow.h"

#include "Services/AppStore.h"
#include "Services/ImageFile.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/TextButton.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/ReferenceChip.h"
#include "Views/Workspace/SymbolButton.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace
{
constexpr int symbolSide = 14;
constexpr int stripHeight = 21;
} // namespace

ReferenceRow::Needs ReferenceRow::needs(const AppStore &store)
{
    Needs needs;
    const auto &schemas = store.directory().schemaStates();
    for (const QString &slug : store.state().selectedSlugs) {
        const auto it = schemas.constFind(slug);
        if (it == schemas.cend() || !it->isReady() || !it->schema() || !it->schema()->imageKey)
            continue;
        needs.acceptsImage = true;
        needs.takesList = needs.takesList || it->schema()->imageIsArray;
        needs.requiresImage = needs.requiresImage || it->schema()->imageIsRequired;
    }
    return needs;
}

ReferenceRow::ReferenceRow(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_target(this, 0),
      m_add(new TextButton(QString(), TextButton::Look::link, 12, this)),
      m_hint(new TextLabel(QString(), 11, QFont::Normal, TextLabel::Tone::tertiary, this)),
      m_strip(new QScrollArea(this)), m_chips(new QWidget), m_chipLayout(new QHBoxLayout(m_chips)),
      m_plus(new SymbolButton(u"plus"_s, 18, u"Add another reference image"_s, this))
{
    setObjectName(u"referenceRow"_s);
    setAccessibleName(u"Reference images"_s);
    setAcceptDrops(true);
    m_add->setObjectName(u"addReferenceButton"_s);
    m_hint->setObjectName(u"referenceHint"_s);
    m_strip->setObjectName(u"referenceStrip"_s);
    m_plus->setObjectName(u"addAnotherReferenceButton"_s);
    m_plus->setToolTip(u"Add another reference image"_s);
    m_plus->setWeight(Icons::Weight::semibold);
    m_plus->setTone(SymbolButton::Tone::secondary);

    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(5);
    m_chipLayout->setSizeConstraint(QLayout::SetFixedSize);
    m_strip->setWidget(m_chips);
    m_strip->setFrameShape(QFrame::NoFrame);
    m_strip->setFixedHeight(stripHeight);
    m_strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_strip->viewport()->setAutoFillBackground(false);
    m_chips->setAutoFillBackground(false);
    m_strip->viewport()->installEventFilter(this);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(8);
    row->addSpacing(symbolSide);
    row->addWidget(m_add);
    row->addWidget(m_hint);
    // The strip is as wide as its chips, up to the room there is; the plus button follows it.
    m_strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_strip->setMinimumWidth(0);
    row->addWidget(m_strip);
    row->addWidget(m_plus);
    row->addStretch(1);

    connect(m_add, &QPushButton::clicked, this, &ReferenceRow::choose);
    connect(m_plus, &QPushButton::clicked, this, &ReferenceRow::choose);
    connect(&store, &AppStore::draftChanged, this, &ReferenceRow::rebuild);
    connect(&store, &AppStore::schemaStatesChanged, this, &ReferenceRow::rebuild);
    connect(&store, &AppStore::stateChanged, this, &ReferenceRow::rebuild);
    rebuild();
}

QString ReferenceRow::addButtonText() const
{
    return needs(m_store).takesList ? u"Add reference images…"_s : u"Add reference image…"_s;
}

QString ReferenceRow::hintText() const
{
    const Needs n = needs(m_store);
    if (n.requiresImage)
        return u"required"_s;
    return n.takesList ? u"optional — or drop them here"_s : u"optional — or drop one here"_s;
}

QSize ReferenceRow::sizeHint() const
{
    return {QWidget::sizeHint().width(), stripHeight + 12};
}

void ReferenceRow::rebuild()
{
    const QList<QUrl> references = m_store.draftReferences();
    const Needs n = needs(m_store);
    const bool empty = references.isEmpty();
    m_add->setText(addButtonText());
    m_add->setAccessibleName(m_add->text());
    m_add->updateGeometry();
    m_hint->setText(hintText());
    m_add->setVisible(empty);
    m_hint->setVisible(empty);
    m_strip->setVisible(!empty);
    m_plus->setVisible(!empty && n.takesList);

    QList<QUrl> shown;
    for (int i = 0; i < m_chipLayout->count(); ++i)
        if (auto *chip = qobject_cast<ReferenceChip *>(m_chipLayout->itemAt(i)->widget()))
            shown.append(chip->url());
    if (shown == references)
        return;
    while (QLayoutItem *item = m_chipLayout->takeAt(0)) {
        // A chip may be going because its own remove button was clicked: it is let go now
        // and deleted once that click has returned.
        QWidget *chip = item->widget();
        chip->hide();
        chip->setParent(nullptr);
        chip->deleteLater();
        delete item;
    }
    for (const QUrl &url : references) {
        auto *chip = new ReferenceChip(url, m_chips);
        connect(chip, &ReferenceChip::removeRequested, this, [this](const QUrl &gone) {
            QList<QUrl> kept = m_store.draftReferences();
            kept.removeAll(gone);
            m_store.setDraftReferences(kept);
        });
        m_chipLayout->addWidget(chip);
    }
    m_chipLayout->activate();
    m_strip->setMaximumWidth(m_chips->sizeHint().width());
}

void ReferenceRow::addReferences(const QList<QUrl> &urls)
{
    QList<QUrl> references = m_store.draftReferences();
    for (const QUrl &url : urls)
        if (!references.contains(url))
            references.append(url);
    // A model that takes one image uses the last one given.
    if (!needs(m_store).takesList && references.size() >= 2)
        references = {references.last()};
    m_store.setDraftReferences(references);
}

void ReferenceRow::choose()
{
    const QList<QUrl> chosen = m_store.chooseReferenceImages();
    if (!chosen.isEmpty())
        addReferences(chosen);
}

QList<QUrl> ReferenceRow::images(const QList<QUrl> &urls)
{
    QList<QUrl> kept;
    for (const QUrl &url : urls)
        if (url.isLocalFile() && ImageFile::isImage(url))
            kept.append(url);
    return kept;
}

void ReferenceRow::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    m_target.easeOutTo(targeted ? 1 : 0, 0.15);
}

void ReferenceRow::dragEnterEvent(QDragEnterEvent *event)
{
    if (images(event->mimeData()->urls()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setTargeted(true);
}

void ReferenceRow::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void ReferenceRow::dragLeaveEvent(QDragLeaveEvent *event)
{
    QWidget::dragLeaveEvent(event);
    setTargeted(false);
}

void ReferenceRow::dropEvent(QDropEvent *event)
{
    setTargeted(false);
    const QList<QUrl> kept = images(event->mimeData()->urls());
    if (kept.isEmpty()) {
        event->ignore();
        return;
    }
    addReferences(kept);
    event->acceptProposedAction();
}

bool ReferenceRow::eventFilter(QObject *watched, QEvent *event)
{
    // The strip has no scroll bar; a wheel turned over it scrolls it sideways.
    if (watched == m_strip->viewport() && event->type() == QEvent::Wheel) {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const QPoint delta =
            wheel->pixelDelta().isNull() ? wheel->angleDelta() / 4 : wheel->pixelDelta();
        QScrollBar *bar = m_strip->horizontalScrollBar();
        bar->setValue(bar->value() - (delta.x() != 0 ? delta.x() : delta.y()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ReferenceRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal t = m_target.value();
    const QPalette &colours = palette();
    painter.setBrush(Theme::withAlpha(Theme::accent(), 0.04 + 0.08 * t));
    const qreal width = 0.5 + 1.0 * t;
    QColor stroke = Theme::cardStroke(colours);
    const QColor accent = Theme::withAlpha(Theme::accent(), 0.9);
    stroke = QColor::fromRgbF(float(stroke.redF() + (accent.redF() - stroke.redF()) * t),
                              float(stroke.greenF() + (accent.greenF() - stroke.greenF()) * t),
                              float(stroke.blueF() + (accent.blueF() - stroke.blueF()) * t),
                              float(stroke.alphaF() + (accent.alphaF() - stroke.alphaF()) * t));
    QPen pen(stroke, width);
    pen.setDashPattern({5 / width, 4 / width});
    painter.setPen(pen);
    const QRectF shape = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    painter.drawRoundedRect(shape, Theme::cardRadius, Theme::cardRadius);
    Icons::paint(painter, QRectF(10, (height() - symbolSide) / 2.0, symbolSide, symbolSide),
                 u"photo"_s, Theme::secondary(colours));
}
