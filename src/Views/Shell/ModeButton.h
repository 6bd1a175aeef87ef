#pragma once

#include <QAbstractButton>

// The header's way back to the launcher: a chevron, then the mode's title above a subtitle that
// sums up the work. The whole area is one button.
class ModeButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModeButton)
public:
    explicit ModeButton(QWidget *parent = nullptr);

    QString title() const { return m_title; }
    QString subtitle() const { return m_subtitle; }
    void setTexts(const QString &title, const QString &subtitle);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString m_title;
    QString m_subtitle;
    bool m_keyboardFocus = false;
};
