#include "Views/Theme/SectionLabel.h"

#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

SectionLabel::SectionLabel(const QString &text, QWidget *trailing, QWidget *parent)
    : QWidget(parent), m_label(new QLabel(text.toUpper(), this)), m_trailing(trailing)
{
    QFont font = Theme::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    m_label->setFont(font);
    m_label->setAccessibleName(text);
    setAccessibleName(text);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(m_label);
    row->addStretch(1);
    if (m_trailing)
        row->addWidget(m_trailing);
    applyColours();
}

QString SectionLabel::text() const
{
    return m_label->accessibleName();
}

void SectionLabel::setText(const QString &text)
{
    m_label->setText(text.toUpper());
    m_label->setAccessibleName(text);
    setAccessibleName(text);
}

void SectionLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

void SectionLabel::applyColours()
{
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, Theme::secondary(this->palette()));
    m_label->setPalette(palette);
}
