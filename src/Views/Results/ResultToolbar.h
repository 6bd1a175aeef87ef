#pragma once

#include "Views/Results/ResultHeading.h"

#include <QWidget>

class QHBoxLayout;
class QuietButton;

// The bar along the top of both result viewers: the heading, any tools of the viewer (the zoom
// buttons), "Reveal" and "Done" (the dialog's default button, so Return closes). A hairline at
// 40 % opacity separates it from what follows.
class ResultToolbar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultToolbar)
public:
    explicit ResultToolbar(QWidget *parent = nullptr);

    ResultHeading *heading() const { return m_heading; }
    QuietButton *revealButton() const { return m_reveal; }
    QuietButton *doneButton() const { return m_done; }
    // Puts a viewer's own tool before "Reveal".
    void addTool(QWidget *tool);

Q_SIGNALS:
    void revealRequested();
    void doneRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_row;
    ResultHeading *m_heading;
    QuietButton *m_reveal;
    QuietButton *m_done;
};
