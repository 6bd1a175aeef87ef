#pragma once

#include "Views/Theme/ThemedButton.h"

// A low-emphasis button: a medium-weight label on a faint fill; the label is accent-coloured when
// prominent.
class QuietButton final : public ThemedButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuietButton)
public:
    explicit QuietButton(const QString &text, bool prominent = false, QWidget *parent = nullptr);

    bool isProminent() const { return m_prominent; }
    void setProminent(bool prominent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The same look for delegates that paint a button without a widget.
    static void paint(QPainter &painter, const QRectF &rect, const QString &text, bool prominent,
                      bool pressed, bool enabled, const QPalette &palette);
    static QSize sizeFor(const QString &text);

protected:
    void paintButton(QPainter &painter, const QRectF &rect) override;

private:
    bool m_prominent;
};
