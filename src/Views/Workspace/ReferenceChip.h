#pragma once

#include <QUrl>
#include <QWidget>

class SymbolButton;

// One reference image in the composer: its file name, cut in the middle past 150 pixels, on a
// capsule, with a button that takes it out. The tooltip is the full path.
class ReferenceChip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReferenceChip)
public:
    explicit ReferenceChip(const QUrl &url, QWidget *parent = nullptr);

    QUrl url() const { return m_url; }
    // The name as shown, after cutting.
    QString shownName() const;
    SymbolButton *removeButton() const { return m_remove; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    void removeRequested(const QUrl &url);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QUrl m_url;
    SymbolButton *m_remove;
};
