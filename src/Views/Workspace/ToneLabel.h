#pragma once

#include <QLabel>

// A one-line text in one of the theme's text colours, which follows the palette.
class ToneLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToneLabel)
public:
    enum class Tone { primary, secondary, tertiary };

    ToneLabel(const QString &text, qreal pixels, Tone tone, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Tone m_tone;
};
