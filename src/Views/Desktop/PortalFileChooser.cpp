#include "Views/Desktop/PortalFileChooser.h"

#include "Views/Desktop/ChooserFilters.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace
{
const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString chooserInterface = u"org.freedesktop.portal.FileChooser"_s;
const QString requestInterface = u"org.freedesktop.portal.Request"_s;

// One rule of a portal filter: kind 0 is a glob pattern, kind 1 a MIME type.
struct FilterRule {
    uint kind = 0;
    QString pattern;
};
// A named filter, (sa(us)) on the bus.
struct Filter {
    QString name;
    QList<FilterRule> rules;
};

QDBusArgument &operator<<(QDBusArgument &argument, const FilterRule &rule)
{
    argument.beginStructure();
    argument << rule.kind << rule.pattern;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, FilterRule &rule)
{
    argument.beginStructure();
    argument >> rule.kind >> rule.pattern;
    argument.endStructure();
    return argument;
}
QDBusArgument &operator<<(QDBusArgument &argument, const Filter &filter)
{
    argument.beginStructure();
    argument << filter.name << filter.rules;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, Filter &filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.rules;
    argument.endStructure();
    return argument;
}

QList<Filter> filtersFor(const Desktop::OpenRequest &request)
{
    QList<Filter> filters;
    if (!request.mimeTypes.isEmpty()) {
        Filter images{ChooserFilters::imagesName(), {}};
        for (const QString &type : request.mimeTypes)
            images.rules.append({1, type});
        filters.append(images);
    }
    if (request.offerAllFiles || filters.isEmpty())
        filters.append({ChooserFilters::allFilesName(), {{0, u"*"_s}}});
    return filters;
}

// The window the dialog belongs to, as the portal names windows; X11 only, since Qt 6.4 cannot
// export a Wayland surface handle.
QString parentWindow(QWidget *parent)
{
    if (!parent || QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return u"x11:"_s + QString::number(parent->window()->winId(), 16);
}

// Holds back pointer and key input to this program's windows while the portal's dialog is up,
// as a modal dialog would; painting and timers go on.
class InputHold final : public QObject
{
public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    Q_DISABLE_COPY_MOVE(InputHold)

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

// Waits for the request's one Response signal.
class ResponseWait final : public QObject
{
    Q_OBJECT
public:
    QEventLoop loop;
    bool answered = false;
    uint response = 2;
    QVariantMap results;

public Q_SLOTS:
    void respond(uint code, const QVariantMap &values)
    {
        if (answered)
            return;
        answered = true;
        response = code;
        results = values;
        loop.quit();
    }
};
} // namespace

namespace PortalFileChooser
{
std::optional<QList<QUrl>> open(const QDBusConnection &bus, const Desktop::OpenRequest &request,
                                QWidget *parent)
{
    QDBusConnection connection(bus);
    if (!connection.isConnected())
        return std::nullopt;
    static const bool registered = [] {
        qDBusRegisterMetaType<FilterRule>();
        qDBusRegisterMetaType<QList<FilterRule>>();
        qDBusRegisterMetaType<Filter>();
        qDBusRegisterMetaType<QList<Filter>>();
        return true;
    }();
    Q_UNUSED(registered);

    // The request's object path is known before the call, so its answer cannot slip by before
    // we listen for it.
    static uint requests = 0;
    const QString token = u"moonforge"_s + QString::number(++requests);
    const QString sender = connection.baseService().mid(1).replace(u'.', u'_');
    const QString expected = portalPath + u"/request/"_s + sender + u'/' + token;

    ResponseWait wait;
    QStringList listened{expected};
    connection.connect(portalService, expected, requestInterface, u"Response"_s, &wait,
                       SLOT(respond(uint, QVariantMap)));

    const QList<Filter> filters = filtersFor(request);
    QVariantMap options{{u"handle_token"_s, token},
                        {u"modal"_s, true},
                        {u"multiple"_s, request.allowMultiple},
                        {u"filters"_s, QVariant::fromValue(filters)},
                        {u"current_filter"_s, QVariant::fromValue(filters.constFirst())}};
    if (!request.acceptLabel.isEmpty())
        options.insert(u"accept_label"_s, request.acceptLabel);
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, chooserInterface, u"OpenFile"_s);
    call << parentWindow(parent) << request.title << options;

    bool failed = false;
    QDBusPendingCallWatcher watcher(connection.asyncCall(call));
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &wait, [&] {
        const QDBusPendingReply<QDBusObjectPath> reply = watcher;
        if (reply.isError()) {
            failed = true;
            wait.loop.quit();
            return;
        }
        // Older portals choose the path themselves.
        const QString handle = reply.value().path();
        if (handle != expected) {
            listened.append(handle);
            connection.connect(portalService, handle, requestInterface, u"Response"_s, &wait,
                               SLOT(respond(uint, QVariantMap)));
        }
    });
    // A portal that goes away mid-dialog never answers.
    QDBusServiceWatcher gone(portalService, connection,
                             QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&gone, &QDBusServiceWatcher::serviceUnregistered, &wait, [&] {
        failed = !wait.answered;
        wait.loop.quit();
    });
    {
        const InputHold hold;
        wait.loop.exec();
    }
    for (const QString &path : std::as_const(listened))
        connection.disconnect(portalService, path, requestInterface, u"Response"_s, &wait,
                              SLOT(respond(uint, QVariantMap)));
    if (failed || !wait.answered)
        return std::nullopt;
    // 1: dismissed by the person; 2: ended some other way. Neither chose anything.
    if (wait.response != 0)
        return QList<QUrl>{};
    QList<QUrl> chosen;
    for (const QString &uri : wait.results.value(u"uris"_s).toStringList())
        chosen.append(QUrl(uri));
    return chosen;
}
} // namespace PortalFileChooser

#include "PortalFileChooser.moc"
