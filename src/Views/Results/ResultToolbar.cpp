#include "Views/Results/ResultToolbar.h"

#include "Views/Theme/QuietButton.h"
#include "Views/Theme/Theme.h"

#include <QHBoxLayout>
#include <QPainter>

ResultToolbar::ResultToolbar(QWidget *parent)
    : QWidget(parent), m_row(new QHBoxLayout(this)), m_heading(new ResultHeading(this)),
      m_reveal(new QuietButton(QStringLiteral("Reveal"), false, this)),
      m_done(new QuietButton(QStringLiteral("Done"), true, this))
{
    setObjectName(QStringLiteral("resultToolbar"));
    m_row->setContentsMargins(16, 10, 16, 10);
    m_row->setSpacing(10);
    m_row->addWidget(m_heading, 1);
    m_row->addWidget(m_reveal);
    m_row->addWidget(m_done);

    m_reveal->setObjectName(QStringLiteral("revealButton"));
    m_reveal->setAccessibleName(QStringLiteral("Reveal"));
    m_reveal->setToolTip(QStringLiteral("Show the result in the File Manager"));
    m_done->setObjectName(QStringLiteral("doneButton"));
    m_done->setAccessibleName(QStringLiteral("Done"));
    // Return closes the sheet whatever has focus: no other button takes the default role.
    m_reveal->setAutoDefault(false);
    m_done->setDefault(true);
    connect(m_reveal, &QPushButton::clicked, this, &ResultToolbar::revealRequested);
    connect(m_done, &QPushButton::clicked, this, &ResultToolbar::doneRequested);
}

void ResultToolbar::addTool(QWidget *tool)
{
    m_row->insertWidget(m_row->indexOf(m_reveal), tool);
}

void ResultToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(Theme::withAlpha(Theme::separator(palette()), 0.4), 1));
    painter.drawLine(QPointF(0, height() - 0.5), QPointF(width(), height() - 0.5));
}
