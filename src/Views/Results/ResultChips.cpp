#include "Views/Results/ResultChips.h"

#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>

namespace
{
QFont chipFont()
{
    return Theme::font(11.5, QFont::Medium);
}
} // namespace

ResultChip::ResultChip(const QString &title, QWidget *parent) : ThemedButton(title, parent)
{
    setCheckable(true);
    // Return stays with "Done", the sheet's default button, whatever has focus.
    setAutoDefault(false);
    setFont(chipFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
}

QSize ResultChip::sizeHint() const
{
    const QFontMetrics metrics(chipFont());
    return {metrics.horizontalAdvance(text()) + 24, metrics.height() + 10};
}

void ResultChip::paintButton(QPainter &painter, const QRectF &rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = rect.height() / 2;
    painter.setPen(Qt::NoPen);
    if (isChecked()) {
        painter.setBrush(Theme::accentGradient(rect));
    } else {
        painter.setBrush(Theme::primaryAt(palette(), isDown() ? 0.14 : 0.07));
    }
    painter.drawRoundedRect(rect, radius, radius);
    painter.setFont(chipFont());
    painter.setPen(isChecked() ? QColor(Qt::white) : Theme::secondary(palette()));
    painter.drawText(rect, Qt::AlignCenter, text());
}

ResultChips::ResultChips(QWidget *parent)
    : QWidget(parent), m_row(new QHBoxLayout(this)),
      m_leftCaption(new TextLabel(QStringLiteral("Left"), 11.5, QFont::Medium,
                                  TextLabel::Tone::tertiary, this)),
      m_leftPicker(new QComboBox(this)),
      m_rightCaption(new TextLabel(QStringLiteral("Right"), 11.5, QFont::Medium,
                                   TextLabel::Tone::tertiary, this))
{
    setObjectName(QStringLiteral("resultChips"));
    setAccessibleName(QStringLiteral("Results"));
    m_leftPicker->setObjectName(QStringLiteral("leftSidePicker"));
    m_leftPicker->setAccessibleName(QStringLiteral("Left side"));
    m_leftPicker->setToolTip(QStringLiteral("What the left side of the divider shows"));
    m_leftPicker->setFont(chipFont());
    m_leftPicker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_leftCaption->setBuddy(m_leftPicker);
    m_row->setContentsMargins(16, 8, 16, 8);
    m_row->setSpacing(6);
    m_row->addWidget(m_leftCaption);
    m_row->addWidget(m_leftPicker);
    // The gap between the sides goes with them.
    m_rightCaption->setContentsMargins(14, 0, 0, 0);
    m_row->addWidget(m_rightCaption);
    // Only a view with two sides (the compare view) gives the left one its choices.
    for (QWidget *side :
         {static_cast<QWidget *>(m_leftCaption), static_cast<QWidget *>(m_leftPicker),
          static_cast<QWidget *>(m_rightCaption)})
        side->hide();
    m_row->addStretch();
    // Arrow keys on the menu choose at once (activated), as a pick from its list does.
    connect(m_leftPicker, &QComboBox::activated, this, &ResultChips::leftChosen);
}

void ResultChips::setLeftChoices(const QString &first, const QStringList &titles)
{
    m_leftCaption->show();
    m_leftPicker->show();
    m_rightCaption->show();
    QStringList items{first};
    items.append(titles);
    QStringList current;
    for (int i = 0; i < m_leftPicker->count(); ++i)
        current.append(m_leftPicker->itemText(i));
    if (current == items)
        return;
    const QSignalBlocker quiet(m_leftPicker);
    m_leftPicker->clear();
    m_leftPicker->addItems(items);
}

void ResultChips::setLeftCurrent(int index)
{
    const QSignalBlocker quiet(m_leftPicker);
    m_leftPicker->setCurrentIndex(index);
}

void ResultChips::setTitles(const QStringList &titles)
{
    // A chip may be the sender of the click that led here: it goes once the click is over.
    for (ResultChip *chip : std::as_const(m_chips)) {
        m_row->removeWidget(chip);
        chip->hide();
        chip->deleteLater();
    }
    m_chips.clear();
    m_current = -1;
    const int chipsStart = m_row->indexOf(m_rightCaption) + 1;
    for (const QString &title : titles) {
        auto *chip = new ResultChip(title, this);
        const int index = int(m_chips.size());
        chip->setObjectName(QStringLiteral("resultChip%1").arg(index));
        connect(chip, &QPushButton::clicked, this, [this, index] {
            // A click toggles a checkable button; the owner's setCurrent puts the state right.
            setCurrent(m_current);
            Q_EMIT chosen(index);
        });
        // After the left menu, its caption and spacing and the right side's caption.
        m_row->insertWidget(chipsStart + index, chip);
        m_chips.append(chip);
    }
}

void ResultChips::setCurrent(int index)
{
    m_current = index;
    for (int i = 0; i < m_chips.size(); ++i)
        m_chips[i]->setChecked(i == index);
}

int ResultChips::neighbour(int step) const
{
    if (m_chips.isEmpty())
        return -1;
    return std::clamp(std::max(m_current, 0) + step, 0, int(m_chips.size()) - 1);
}

void ResultChips::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(Theme::withAlpha(Theme::separator(palette()), 0.4), 1));
    painter.drawLine(QPointF(0, height() - 0.5), QPointF(width(), height() - 0.5));
}
