#include "Views/Inspector/ParameterControl.h"

#include "Models/DecimalText.h"
#include "Services/AppStore.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Inspector/ToggleSwitch.h"
#include "Views/Inspector/WheelGuard.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

using Type = SchemaParam::Kind::Type;

namespace
{
QPixmap dotPixmap()
{
    QPixmap dot(QSize(8, 8));
    dot.setDevicePixelRatio(2);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::accent());
    painter.drawEllipse(QRectF(0, 0, 4, 4));
    return dot;
}

bool hasRange(const SchemaParam::Kind &kind)
{
    return kind.min && kind.max && *kind.min < *kind.max;
}

// A slider counts in int: bounds beyond it (a seed up to 2^32 - 1) would leave it stuck at one
// position, so such integers are typed instead.
bool fitsIntSlider(const SchemaParam::Kind &kind)
{
    return hasRange(kind) && std::ceil(*kind.min) >= std::numeric_limits<int>::min() &&
           std::floor(*kind.max) <= std::numeric_limits<int>::max();
}
} // namespace

ParameterControl::ParameterControl(AppStore &store, const SchemaParam &param, QWidget *parent)
    : QWidget(parent), m_store(store), m_param(param), m_widget(widgetFor(param))
{
    const QString name = QStringLiteral("parameter:") + param.key;
    setObjectName(name);
    setAccessibleName(param.title);
    if (param.help)
        setToolTip(*param.help);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    auto *header = new QHBoxLayout;
    header->setSpacing(5);
    auto *title = new QLabel(param.title, this);
    title->setFont(Theme::font(11.5, QFont::Medium));
    header->addWidget(title);
    m_dot = new QLabel(this);
    m_dot->setObjectName(name + QStringLiteral(":changed"));
    m_dot->setPixmap(dotPixmap());
    m_dot->setFixedSize(4, 4);
    m_dot->setToolTip(QStringLiteral("Changed from the model default"));
    m_dot->setAccessibleName(QStringLiteral("Changed from the model default"));
    header->addWidget(m_dot, 0, Qt::AlignVCenter);
    header->addStretch(1);
    if (param.kind.type == Type::integer || param.kind.type == Type::number) {
        m_badge = new TextLabel(QString(), 11, QFont::Medium, TextLabel::Tone::secondary, this);
        m_badge->setObjectName(name + QStringLiteral(":value"));
        header->addWidget(m_badge);
    }
    m_reset = new PlainButton(QStringLiteral("arrow.uturn.backward"), QString(),
                              PlainButton::Tint::secondary, this);
    m_reset->setObjectName(name + QStringLiteral(":reset"));
    m_reset->setToolTip(QStringLiteral("Reset to default"));
    m_reset->setAccessibleName(QStringLiteral("Reset ") + param.title +
                               QStringLiteral(" to default"));
    m_reset->setSymbolSize(10);
    connect(m_reset, &QAbstractButton::clicked, this, [this] { write(std::nullopt); });
    header->addWidget(m_reset);
    column->addLayout(header);
    buildWidget();
    connect(&store, &AppStore::stateChanged, this, &ParameterControl::refresh);
    refresh();
}

ParameterControl::~ParameterControl()
{
    // The editors lose focus while the base class deletes them: nothing of this control may run
    // then.
    if (m_line)
        m_line->disconnect(this);
    if (m_text)
        m_text->removeEventFilter(this);
}

ParameterControl::Widget ParameterControl::widgetFor(const SchemaParam &param)
{
    switch (param.kind.type) {
    case Type::text:
        return param.kind.multiline ? Widget::multiline : Widget::text;
    case Type::integer:
        return fitsIntSlider(param.kind) ? Widget::integerSlider : Widget::field;
    case Type::number:
        return hasRange(param.kind) ? Widget::numberSlider : Widget::field;
    case Type::choice:
        return Widget::choice;
    case Type::toggle:
        return Widget::toggle;
    case Type::uri:
        return Widget::none;
    }
    return Widget::none;
}

void ParameterControl::buildWidget()
{
    const QString editorName = objectName() + QStringLiteral(":editor");
    const QString help = m_param.help ? InspectorText::shortHelp(*m_param.help) : QString();
    QWidget *editor = nullptr;
    switch (m_widget) {
    case Widget::none:
        return;
    case Widget::text:
    case Widget::field:
        m_line = new QLineEdit(this);
        m_line->setFont(Theme::font(11.5));
        if (m_widget == Widget::text) {
            m_line->setPlaceholderText(help);
            connect(m_line, &QLineEdit::textEdited, this, [this](const QString &text) {
                write(text.isEmpty() ? std::nullopt : std::optional(ParamValue::string(text)));
            });
        } else {
            connect(m_line, &QLineEdit::textEdited, this, &ParameterControl::fieldEdited);
        }
        connect(m_line, &QLineEdit::editingFinished, this, [this] { showValue(false); });
        editor = m_line;
        break;
    case Widget::multiline:
        m_text = new QPlainTextEdit(this);
        m_text->setFont(Theme::font(11.5));
        m_text->setPlaceholderText(help);
        m_text->setTabChangesFocus(true);
        m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        m_text->installEventFilter(this);
        connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
            fitTextHeight();
            if (m_updating)
                return;
            const QString text = m_text->toPlainText();
            write(text.isEmpty() ? std::nullopt : std::optional(ParamValue::string(text)));
        });
        editor = m_text;
        break;
    case Widget::integerSlider:
    case Widget::numberSlider:
        m_slider = new QSlider(Qt::Horizontal, this);
        if (m_widget == Widget::integerSlider) {
            m_slider->setRange(static_cast<int>(std::ceil(*m_param.kind.min)),
                               static_cast<int>(std::floor(*m_param.kind.max)));
            m_slider->setPageStep(1);
        } else {
            m_slider->setRange(0, sliderSteps);
            m_slider->setSingleStep(sliderSteps / 100);
            m_slider->setPageStep(sliderSteps / 10);
        }
        {
            QPalette pal = m_slider->palette();
            pal.setColor(QPalette::Highlight, Theme::accent());
            m_slider->setPalette(pal);
        }
        connect(m_slider, &QSlider::valueChanged, this, &ParameterControl::sliderMoved);
        WheelGuard::install(m_slider);
        editor = m_slider;
        break;
    case Widget::choice:
        m_choice = new QComboBox(this);
        m_choice->setFont(Theme::font(11.5));
        m_choice->addItems(m_param.kind.options);
        connect(m_choice, &QComboBox::activated, this, [this](int index) {
            write(ParamValue::string(m_param.kind.options.value(index)));
        });
        WheelGuard::install(m_choice);
        editor = m_choice;
        break;
    case Widget::toggle:
        m_switch = new ToggleSwitch(help.isEmpty() ? QStringLiteral("Enabled") : help, this);
        connect(m_switch, &QAbstractButton::clicked, this,
                [this](bool on) { write(ParamValue::boolean(on)); });
        editor = m_switch;
        break;
    }
    editor->setObjectName(editorName);
    if (editor->accessibleName().isEmpty() || m_widget == Widget::toggle)
        editor->setAccessibleName(m_param.title);
    layout()->addWidget(editor);
}

void ParameterControl::write(const std::optional<ParamValue> &value)
{
    // What the editor now stands for; set first, because the store reports the change at once.
    m_shown = value ? value : m_param.defaultValue;
    m_store.setValue(value, m_param);
}

void ParameterControl::fieldEdited(const QString &text)
{
    QString decimal = text;
    decimal.replace(QLatin1Char(','), QLatin1Char('.'));
    std::optional<double> number = parseDecimal(decimal);
    // "1e999" reads as infinity, which no preferences document can hold: junk like any other.
    if (number && !std::isfinite(*number))
        number.reset();
    if (!number) {
        // Half-typed text stays on screen; only an empty field goes back to the default.
        if (text.isEmpty())
            write(std::nullopt);
        return;
    }
    if (m_param.kind.type == Type::integer) {
        const double whole = std::trunc(*number);
        if (whole < -9.2e18 || whole > 9.2e18)
            return;
        write(ParamValue::integer(static_cast<qint64>(whole)));
    } else {
        write(ParamValue::number(*number));
    }
}

double ParameterControl::sliderValue(int position) const
{
    const double min = *m_param.kind.min;
    const double max = *m_param.kind.max;
    return min + (max - min) * position / sliderSteps;
}

int ParameterControl::sliderPosition(double value) const
{
    const double min = *m_param.kind.min;
    const double max = *m_param.kind.max;
    return static_cast<int>(
        std::lround(std::clamp((value - min) / (max - min), 0.0, 1.0) * sliderSteps));
}

void ParameterControl::sliderMoved(int position)
{
    if (m_updating)
        return;
    if (m_widget == Widget::integerSlider) {
        write(ParamValue::integer(position));
        return;
    }
    // Two decimals, halves away from zero.
    write(ParamValue::number(std::round(sliderValue(position) * 100) / 100));
}

void ParameterControl::fitTextHeight()
{
    const QFontMetrics metrics(m_text->font());
    const int lines = std::clamp(static_cast<int>(m_text->document()->size().height()), 2, 5);
    const int chrome =
        2 * (m_text->frameWidth() + static_cast<int>(m_text->document()->documentMargin())) + 2;
    m_text->setFixedHeight(lines * metrics.lineSpacing() + chrome);
}

bool ParameterControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::FocusOut)
        showValue(false);
    return QWidget::eventFilter(watched, event);
}

void ParameterControl::refresh()
{
    showValue(true);
}

void ParameterControl::showValue(bool keepTypedText)
{
    const std::optional<ParamValue> value = m_store.value(m_param);
    const bool overridden = m_store.isOverridden(m_param);
    m_dot->setVisible(overridden);
    m_reset->setVisible(overridden);
    if (m_badge)
        m_badge->setText(value ? value->displayString() : QString(QChar(0x2014)));
    const bool typing =
        keepTypedText && ((m_line && m_line->hasFocus()) || (m_text && m_text->hasFocus()));
    const bool sameAsShown = value == m_shown;
    m_updating = true;
    if (m_line && !(typing && sameAsShown)) {
        QString text;
        if (value)
            text =
                m_widget == Widget::text
                    ? (value->kind() == ParamValue::Kind::string ? value->stringValue() : QString())
                    : value->displayString();
        if (m_line->text() != text)
            m_line->setText(text);
    }
    if (m_text && !(typing && sameAsShown)) {
        const QString text =
            value && value->kind() == ParamValue::Kind::string ? value->stringValue() : QString();
        if (m_text->toPlainText() != text)
            m_text->setPlainText(text);
        fitTextHeight();
    }
    if (m_slider) {
        const std::optional<double> number = value ? value->doubleValue() : std::nullopt;
        const double shown = number.value_or(*m_param.kind.min);
        m_slider->setValue(m_widget == Widget::integerSlider
                               ? static_cast<int>(std::clamp<double>(shown, m_slider->minimum(),
                                                                     m_slider->maximum()))
                               : sliderPosition(shown));
    }
    if (m_choice) {
        // A stored value that is no longer offered shows the first option; the override stays
        // until the user picks.
        const int index =
            value ? static_cast<int>(m_param.kind.options.indexOf(value->displayString())) : -1;
        m_choice->setCurrentIndex(m_param.kind.options.isEmpty() ? -1 : qMax(0, index));
    }
    if (m_switch)
        m_switch->setChecked(value && value->kind() == ParamValue::Kind::boolean &&
                             value->boolValue());
    m_updating = false;
    m_shown = value;
}
