#pragma once

#include "Views/Theme/Animation.h"

#include <QWidget>

// Shown over a workspace that already has jobs while files are dragged over it: a dim layer with
// a dashed accent panel saying "Add to queue". It never takes the pointer.
class DropOverlay final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DropOverlay)
public:
    explicit DropOverlay(QWidget *parent = nullptr);

    // Fades in or out; hidden once faded out.
    void setShown(bool shown);
    bool isShown() const { return m_shown; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_shown = false;
    AnimatedValue m_opacity;
};
