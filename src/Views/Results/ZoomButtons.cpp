#include "Views/Results/ZoomButtons.h"

#include "Views/Theme/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace
{
QFont labelFont()
{
    return Theme::font(11.5, QFont::Medium);
}
} // namespace

ZoomButton::ZoomButton(const QString &text, ZoomMode mode, QWidget *parent)
    : ThemedButton(text, parent), m_mode(mode)
{
    setCheckable(true);
    // Return stays with "Done", the sheet's default button, whatever has focus.
    setAutoDefault(false);
    setFont(labelFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ZoomButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    return {std::max(metrics.horizontalAdvance(text()) + 18, 34), metrics.height() + 8};
}

void ZoomButton::paintButton(QPainter &painter, const QRectF &rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (isChecked() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::primaryAt(palette(), isChecked() ? 0.12 : 0.08));
        painter.drawRoundedRect(rect, 6, 6);
    }
    painter.setFont(labelFont());
    painter.setPen(isChecked() ? Theme::accent() : Theme::secondary(palette()));
    painter.drawText(rect, Qt::AlignCenter, text());
}

ZoomButtons::ZoomButtons(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("zoomButtons"));
    setAccessibleName(QStringLiteral("Zoom"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    struct Entry {
        const char *name;
        QString text;
        ZoomMode mode;
        int key;
        QString help;
    };
    const Entry entries[] = {
        {"zoomFit", QStringLiteral("Fit"), ZoomMode::fitted(), Qt::Key_0,
         QStringLiteral("Fit the result to the window")},
        {"zoomActual", QStringLiteral("1:1"), ZoomMode::ratio(1.0), Qt::Key_1,
         QStringLiteral("Show the result pixel for pixel")},
        {"zoomDouble", QStringLiteral("2×"), ZoomMode::ratio(2.0), Qt::Key_2,
         QStringLiteral("Show the result at twice its size")},
    };
    int index = 0;
    for (const Entry &entry : entries) {
        auto *button = new ZoomButton(entry.text, entry.mode, this);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setAccessibleName(entry.text);
        const QKeySequence keys(QKeyCombination(Qt::ControlModifier, Qt::Key(entry.key)));
        button->setToolTip(entry.help + u" ("_s + keys.toString(QKeySequence::NativeText) + u')');
        row->addWidget(button);
        m_buttons[index++] = button;
        const ZoomMode mode = entry.mode;
        connect(button, &QPushButton::clicked, this, [this, button, mode] {
            button->setChecked(!button->isChecked()); // the zoom itself decides what is lit
            Q_EMIT zoomRequested(mode);
        });
        // The shortcut works anywhere in the sheet, not only with a button focused.
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this, mode] { Q_EMIT zoomRequested(mode); });
    }
}

void ZoomButtons::setCurrent(ZoomMode mode)
{
    for (ZoomButton *button : m_buttons)
        button->setChecked(button->mode() == mode);
}

void ZoomButtons::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::primaryAt(palette(), 0.06));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}
