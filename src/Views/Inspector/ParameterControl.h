#pragma once

#include "Models/ModelSchema.h"

#include <QWidget>

#include <optional>

class AppStore;
class PlainButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSlider;
class ToggleSwitch;

// Edits one parameter of the focused model: a header (title, a dot while the value differs from
// the model's default, the value for numbers, a reset button) over the widget for its kind. Every
// change is stored at once as an override; refresh() shows what the store holds.
class ParameterControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ParameterControl)
public:
    ParameterControl(AppStore &store, const SchemaParam &param, QWidget *parent = nullptr);
    ~ParameterControl() override;

    const SchemaParam &param() const { return m_param; }
    // Re-reads the value and the override from the store. Text the user is typing is kept while
    // it still stands for the stored value; once editing ends the field shows what is stored.
    void refresh();

    // Decimal sliders move in steps of a hundred-thousandth of their range.
    static constexpr int sliderSteps = 100000;

protected:
    // Ends the editing of several lines when they lose focus.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Widget { none, text, multiline, integerSlider, numberSlider, field, choice, toggle };
    static Widget widgetFor(const SchemaParam &param);

    void buildWidget();
    void showValue(bool keepTypedText);
    void write(const std::optional<ParamValue> &value);
    void fieldEdited(const QString &text);
    void sliderMoved(int position);
    double sliderValue(int position) const;
    int sliderPosition(double value) const;
    void fitTextHeight();

    AppStore &m_store;
    SchemaParam m_param;
    Widget m_widget;
    QLabel *m_dot = nullptr;
    QLabel *m_badge = nullptr;
    PlainButton *m_reset = nullptr;
    QLineEdit *m_line = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QSlider *m_slider = nullptr;
    QComboBox *m_choice = nullptr;
    ToggleSwitch *m_switch = nullptr;
    // The value the editor last showed or stored: text being typed stays while the store still
    // holds it.
    std::optional<ParamValue> m_shown;
    bool m_updating = false;
};
