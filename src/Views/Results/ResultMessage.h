#pragma once

#include <QWidget>

class QLabel;
class QuietButton;

// What a viewer shows instead of a picture or a clip: a symbol, a message of one or two lines and,
// when the trouble may pass, "Try Again".
class ResultMessage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultMessage)
public:
    ResultMessage(const QString &symbol, qreal symbolSize, bool offersRetry,
                  QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QuietButton *retryButton() const { return m_retry; }

Q_SIGNALS:
    void retryRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyPalette();

    QString m_symbol;
    qreal m_symbolSize;
    QWidget *m_symbolSpace;
    QLabel *m_label;
    QuietButton *m_retry = nullptr;
};
