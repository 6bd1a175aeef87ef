#pragma once

#include <QList>
#include <QPoint>
#include <QUrl>
#include <QWidget>

// The toolbar's title and the line under it, painted on one line each and cut with "…" when the
// toolbar is narrow. The title doubles as a handle: dragging it hands the shown result file to
// whatever it is dropped on (a file manager, an editor, a chat).
class ResultHeading final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultHeading)
public:
    struct Segment {
        enum class Kind { plain, result, arrow };
        QString text;
        Kind kind = Kind::plain;
    };

    explicit ResultHeading(QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    const QList<Segment> &subtitle() const { return m_subtitle; }
    // The subtitle as plain text, for screen readers and tests.
    QString subtitleText() const;
    void setSubtitle(const QList<Segment> &segments);
    // The file a drag of the title carries; empty turns dragging off.
    void setDragFile(const QUrl &file);
    QUrl dragFile() const { return m_dragFile; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateAccessibility();

    QString m_title;
    QList<Segment> m_subtitle;
    QUrl m_dragFile;
    QPoint m_pressAt;
    bool m_pressed = false;
};
