#pragma once

#include <QAbstractButton>

// One model's tab above the settings card: its title on a capsule, accent-tinted when it is the
// model whose settings are shown.
class ModelTab final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelTab)
public:
    ModelTab(const QString &title, bool focused, QWidget *parent = nullptr);

    bool isFocusedModel() const { return m_focused; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_focused;
};
