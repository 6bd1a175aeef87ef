#pragma once

#include "Views/Theme/Animation.h"

#include <QUrl>
#include <QWidget>

class AppStore;
class TextButton;
class QHBoxLayout;
class QScrollArea;
class SymbolButton;
class TextLabel;

// The composer's row of reference images for models that take an input image: a button and a
// hint while there are none, then a strip of chips (and a plus button for models that take a
// list). The row is a drop target for image files.
class ReferenceRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReferenceRow)
public:
    // What the selected models with a loaded schema make of an input image.
    struct Needs {
        bool acceptsImage = false;
        bool takesList = false;
        bool requiresImage = false;
    };
    static Needs needs(const AppStore &store);

    explicit ReferenceRow(AppStore &store, QWidget *parent = nullptr);

    // Appends the new ones; a model that takes one image keeps only the last.
    void addReferences(const QList<QUrl> &urls);
    bool isTargeted() const { return m_targeted; }

    // "Add reference images…" or "Add reference image…"
    QString addButtonText() const;
    // "required", "optional — or drop them here" or "optional — or drop one here".
    QString hintText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuild();
    void choose();
    void setTargeted(bool targeted);
    static QList<QUrl> images(const QList<QUrl> &urls);

    AppStore &m_store;
    bool m_targeted = false;
    AnimatedValue m_target;
    TextButton *m_add;
    TextLabel *m_hint;
    QScrollArea *m_strip;
    QWidget *m_chips;
    QHBoxLayout *m_chipLayout;
    SymbolButton *m_plus;
};
