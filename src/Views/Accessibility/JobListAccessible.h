#pragma once

#include <QAccessibleWidget>
#include <QHash>

#include <memory>

class ImageJob;
class JobListView;
class JobRowAccessible;

// The job list as screen readers see it: a list whose items are the painted rows. A row's
// interface is made when a client first asks for it and kept per job, so it stays the same
// object while other rows come and go; arrivals, changes and departures are announced.
class JobListAccessible final : public QAccessibleWidget
{
public:
    explicit JobListAccessible(JobListView *view);
    ~JobListAccessible() override;
    Q_DISABLE_COPY_MOVE(JobListAccessible)

    QAccessible::Role role() const override { return QAccessible::List; }
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

private:
    JobListView *view() const;
    // The interface of the row at `index` (model row), made on first use.
    JobRowAccessible *row(int index) const;
    JobRowAccessible *existingRow(int index) const;
    void announceRows(int first, int last);
    void forgetRows(int first, int last);
    void forgetAll();
    void announceFocus();

    mutable QHash<const ImageJob *, QAccessible::Id> m_rows;
    // Context of the connections to the view and its model: they end with this interface.
    std::unique_ptr<QObject> m_watch;
};
