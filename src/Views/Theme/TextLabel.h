#pragma once

#include <QLabel>

// A label in one of the theme's text colours and a designed pixel size. The colour is derived from
// the surrounding palette again whenever it changes, so light and dark both read right.
class TextLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextLabel)
public:
    enum class Tone { primary, secondary, tertiary, accent, red, orange, green };

    TextLabel(const QString &text, qreal pixels, QFont::Weight weight = QFont::Normal,
              Tone tone = Tone::primary, QWidget *parent = nullptr);

    Tone tone() const { return m_tone; }
    void setTone(Tone tone);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyTone();

    Tone m_tone;
    bool m_applying = false;
};
