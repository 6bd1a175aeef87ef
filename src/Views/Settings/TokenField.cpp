#include "Views/Settings/TokenField.h"

#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

TokenField::TokenField(QWidget *parent) : QWidget(parent), m_edit(new QLineEdit(this))
{
    m_edit->setObjectName(QStringLiteral("tokenEdit"));
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setFrame(false);
    m_edit->setFont(Theme::font(13));
    m_edit->setPlaceholderText(QStringLiteral("r8_…"));
    m_edit->setAccessibleName(QStringLiteral("API token"));
    m_edit->installEventFilter(this);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->addWidget(m_edit);
    setFocusProxy(m_edit);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyColours();
}

QString TokenField::text() const
{
    return m_edit->text();
}

void TokenField::setRejected(bool rejected)
{
    if (m_rejected == rejected)
        return;
    m_rejected = rejected;
    update();
}

QColor TokenField::borderColour() const
{
    if (m_rejected)
        return Theme::withAlpha(Theme::red(palette()), 0.6);
    if (m_edit->hasFocus())
        return Theme::withAlpha(Theme::accent(), 0.8);
    return Theme::primaryAt(palette(), 0.08);
}

QSize TokenField::sizeHint() const
{
    return {240, m_edit->sizeHint().height() + 12};
}

bool TokenField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return QWidget::eventFilter(watched, event);
}

void TokenField::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

void TokenField::applyColours()
{
    // The panel paints the field's background; the edit itself stays clear.
    QPalette editPalette = m_edit->palette();
    editPalette.setColor(QPalette::Base, Qt::transparent);
    m_edit->setPalette(editPalette);
    update();
}

void TokenField::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    painter.setBrush(Theme::isDark(palette()) ? Theme::primaryAt(palette(), 0.06)
                                              : palette().color(QPalette::Base));
    painter.setPen(QPen(borderColour(), m_edit->hasFocus() || m_rejected ? 1.5 : 1));
    painter.drawRoundedRect(face, 8, 8);
}
