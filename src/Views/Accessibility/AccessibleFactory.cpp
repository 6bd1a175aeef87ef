#include "Views/Accessibility/AccessibleFactory.h"

#include "Views/Accessibility/JobListAccessible.h"
#include "Views/Accessibility/ModelTabAccessible.h"
#include "Views/Accessibility/SegmentedControlAccessible.h"
#include "Views/Accessibility/StatusBarAccessible.h"
#include "Views/Inspector/ModelTab.h"
#include "Views/Inspector/SegmentedControl.h"
#include "Views/Shell/StatusBar.h"
#include "Views/Workspace/JobListView.h"

#include <utility>

namespace
{

// Asked once per class of an object's hierarchy, most derived first.
QAccessibleInterface *create(const QString &className, QObject *object)
{
    auto is = [&className](const QMetaObject &meta) {
        return className == QLatin1String(meta.className());
    };
    if (is(JobListView::staticMetaObject))
        return new JobListAccessible(static_cast<JobListView *>(object));
    if (is(StatusBar::staticMetaObject))
        return new StatusBarAccessible(static_cast<StatusBar *>(object));
    if (is(SegmentedControl::staticMetaObject))
        return new SegmentedControlAccessible(static_cast<SegmentedControl *>(object));
    if (is(ModelTab::staticMetaObject))
        return new ModelTabAccessible(static_cast<ModelTab *>(object));
    return nullptr;
}

} // namespace

namespace AccessibleFactory
{

void install()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(create);
}

} // namespace AccessibleFactory
