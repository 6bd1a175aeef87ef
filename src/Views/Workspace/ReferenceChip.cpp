#include "Views/Workspace/ReferenceChip.h"

#include "Views/Theme/Theme.h"
#include "Views/Workspace/SymbolButton.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace
{
constexpr int nameLimit = 150;
constexpr int chipHeight = 21;
constexpr int leftPadding = 8;
constexpr int buttonSide = 13;
QFont chipFont()
{
    return Theme::font(10.5);
}
} // namespace

ReferenceChip::ReferenceChip(const QUrl &url, QWidget *parent)
    : QWidget(parent), m_url(url),
      m_remove(new SymbolButton(u"xmark"_s, buttonSide, u"Remove "_s + url.fileName(), this))
{
    setObjectName(u"referenceChip"_s);
    setToolTip(url.isLocalFile() ? url.toLocalFile() : url.toString());
    setAccessibleName(url.fileName());
    m_remove->setObjectName(u"removeReferenceButton"_s);
    m_remove->setToolTip(u"Remove "_s + url.fileName());
    connect(m_remove, &QPushButton::clicked, this, [this] { Q_EMIT removeRequested(m_url); });
    setFixedSize(sizeHint());
}

QString ReferenceChip::shownName() const
{
    return QFontMetrics(chipFont()).elidedText(m_url.fileName(), Qt::ElideMiddle, nameLimit);
}

QSize ReferenceChip::sizeHint() const
{
    const int text = QFontMetrics(chipFont()).horizontalAdvance(shownName());
    return {leftPadding + text + 4 + buttonSide + 4, chipHeight};
}

void ReferenceChip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_remove->move(width() - 4 - buttonSide, (chipHeight - buttonSide) / 2);
}

void ReferenceChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::primaryAt(palette(), 0.08));
    painter.drawRoundedRect(rect(), chipHeight / 2.0, chipHeight / 2.0);
    painter.setPen(Theme::primary(palette()));
    painter.setFont(chipFont());
    painter.drawText(QRect(leftPadding, 0, width() - leftPadding - buttonSide - 8, chipHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, shownName());
}
