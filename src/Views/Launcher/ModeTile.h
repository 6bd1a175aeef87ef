#pragma once

#include "Models/Mode.h"
#include "Views/Theme/Animation.h"

#include <QAbstractButton>

// One mode on the launcher: its symbol in the accent gradient, its title and blurb on a card that
// grows a little and takes an accent outline while the pointer is over it.
class ModeTile final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModeTile)
public:
    explicit ModeTile(Mode mode, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    bool isHovering() const { return m_hovering; }
    // The face's scale right now: 1 at rest, 1.02 under the pointer.
    qreal scale() const;

    QSize sizeHint() const override;

    static constexpr QSize faceSize{168, 152};
    // Room around the face so that the hover scale stays inside the widget.
    static constexpr int hoverMargin = 3;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setHovering(bool hovering);

    Mode m_mode;
    bool m_hovering = false;
    AnimatedValue m_hover;
};
