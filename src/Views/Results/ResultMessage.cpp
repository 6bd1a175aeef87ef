#include "Views/Results/ResultMessage.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

ResultMessage::ResultMessage(const QString &symbol, qreal symbolSize, bool offersRetry,
                             QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_symbolSize(symbolSize), m_symbolSpace(new QWidget(this)),
      m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("resultMessage"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(10);
    column->addStretch();
    m_symbolSpace->setFixedSize(int(symbolSize), int(symbolSize));
    column->addWidget(m_symbolSpace, 0, Qt::AlignHCenter);
    m_label->setObjectName(QStringLiteral("resultMessageText"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setFont(Theme::font(13));
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_label);
    if (offersRetry) {
        m_retry = new QuietButton(QStringLiteral("Try Again"), true, this);
        m_retry->setObjectName(QStringLiteral("tryAgainButton"));
        m_retry->setAutoDefault(false);
        m_retry->setAccessibleName(QStringLiteral("Try Again"));
        column->addWidget(m_retry, 0, Qt::AlignHCenter);
        connect(m_retry, &QPushButton::clicked, this, &ResultMessage::retryRequested);
    }
    column->addStretch();
    applyPalette();
}

QString ResultMessage::text() const
{
    return m_label->text();
}

void ResultMessage::setText(const QString &text)
{
    m_label->setText(text);
    setAccessibleName(text);
}

void ResultMessage::applyPalette()
{
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, Theme::secondary(palette()));
    m_label->setPalette(labelPalette);
}

void ResultMessage::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Icons::paint(painter, QRectF(m_symbolSpace->geometry()), m_symbol, Theme::secondary(palette()));
}

void ResultMessage::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
    QWidget::changeEvent(event);
}
