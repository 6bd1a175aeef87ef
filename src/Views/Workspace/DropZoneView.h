#pragma once

#include "Views/Theme/Animation.h"

#include <QWidget>

class AccentButton;
class AppStore;

// What the upscale workspace shows while it has no jobs: a dashed panel inviting a drop, with a
// breathing glow, a symbol that bounces as a drag comes and goes, and "Choose Images…". The
// panel itself takes no drops: the whole workspace does and tells it through setTargeted.
class DropZoneView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DropZoneView)
public:
    explicit DropZoneView(AppStore &store, QWidget *parent = nullptr);

    void setTargeted(bool targeted);
    bool isTargeted() const { return m_targeted; }

    // "Drop images here", or "Drop to add" while targeted.
    QString title() const;
    // The note under the panel when two or more models are selected; empty otherwise.
    QString compareText() const;
    // The panel's rectangle at rest, in widget coordinates.
    QRectF zoneRect() const;
    // How far the glow has swelled, 0 … 1; still at 0 with animations off.
    qreal breath() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void placeButton();
    void paintIllustration(QPainter &painter, const QPointF &centre, qreal targeted);

    AppStore &m_store;
    bool m_targeted = false;
    AnimatedValue m_target;
    AnimatedValue m_bounce;
    RepeatingValue m_breath;
    AccentButton *m_choose;
};
