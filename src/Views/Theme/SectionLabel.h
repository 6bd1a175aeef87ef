#pragma once

#include <QWidget>

class QLabel;

// A small bold heading in the secondary colour with widened letter spacing; an optional widget
// sits at its right end. Screen readers hear it as a heading.
class SectionLabel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SectionLabel)
public:
    explicit SectionLabel(const QString &text, QWidget *trailing = nullptr,
                          QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QWidget *trailing() const { return m_trailing; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyColours();

    QLabel *m_label;
    QWidget *m_trailing;
};
