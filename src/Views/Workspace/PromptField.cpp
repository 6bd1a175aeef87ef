#include "Views/Workspace/PromptField.h"

#include "Views/Theme/Theme.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <cmath>

PromptField::PromptField(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("promptField"));
    setAccessibleName(QStringLiteral("Prompt"));
    setFont(Theme::font(13));
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    document()->setDocumentMargin(0);
    setViewportMargins(innerPadding, innerPadding, innerPadding, innerPadding);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    setPalette(colours);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { fitHeight(); });
    fitHeight();
}

int PromptField::shownLines() const
{
    return m_lines;
}

// The plain-text layout measures the document in lines, wrapped ones included.
void PromptField::fitHeight()
{
    const int lines = int(std::ceil(document()->documentLayout()->documentSize().height()));
    m_lines = std::clamp(lines, minimumLines, maximumLines);
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    setFixedHeight(m_lines * lineHeight + 2 * innerPadding + 2);
}

void PromptField::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    fitHeight();
}

bool PromptField::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Ctrl+Return queues a prompt being typed; with nothing to queue it is the window's Run
        // command, so queueing and then running is the same key pressed twice.
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers().testFlag(Qt::ControlModifier) && !toPlainText().trimmed().isEmpty()) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::Paint) {
        // The field's own surface, around the text's viewport.
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool focused = hasFocus();
        const qreal width = focused ? 1.5 : 0.5;
        painter.setBrush(Theme::primaryAt(palette(), 0.05));
        painter.setPen(
            QPen(focused ? Theme::withAlpha(Theme::accent(), 0.8) : Theme::cardStroke(palette()),
                 width));
        painter.drawRoundedRect(
            QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2),
            Theme::cardRadius, Theme::cardRadius);
        return true;
    }
    return QPlainTextEdit::event(event);
}

void PromptField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::ShiftModifier) {
            textCursor().insertText(QStringLiteral("\n"));
            ensureCursorVisible();
        } else {
            Q_EMIT submitted();
        }
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void PromptField::focusInEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusInEvent(event);
    update();
}

void PromptField::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    update();
}
