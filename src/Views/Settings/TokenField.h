#pragma once

#include <QWidget>

class QLineEdit;

// A masked, single-line field for the API token on a rounded panel whose outline says what is
// going on: red while the last token was rejected, the accent while the field has focus, a faint
// line otherwise.
class TokenField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TokenField)
public:
    explicit TokenField(QWidget *parent = nullptr);

    QLineEdit *lineEdit() const { return m_edit; }
    QString text() const;
    bool isRejected() const { return m_rejected; }
    void setRejected(bool rejected);
    // The outline's colour in the current state.
    QColor borderColour() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyColours();

    QLineEdit *m_edit;
    bool m_rejected = false;
};
