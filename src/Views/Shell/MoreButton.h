#pragma once

#include <QToolButton>

// A borderless "…" that opens a menu of actions.
class MoreButton final : public QToolButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoreButton)
public:
    explicit MoreButton(QWidget *parent = nullptr);

    QSize sizeHint() const override { return {26, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
};
