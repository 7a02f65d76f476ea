#include "platform/ZvStatusNotifier.h"

#include "platform/ZvWindowFront.h"
#include "store/ZvSeams.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QtEndian>
#include <unistd.h>

namespace zv {

// ---- Marshalling --------------------------------------------------------------------------

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& p)
{
    arg.beginStructure();
    arg << p.width << p.height << p.argb;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& p)
{
    arg.beginStructure();
    arg >> p.width >> p.height >> p.argb;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& t)
{
    arg.beginStructure();
    arg << t.iconName << t.pixmaps << t.title << t.text;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& t)
{
    arg.beginStructure();
    arg >> t.iconName >> t.pixmaps >> t.title >> t.text;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& l)
{
    arg.beginStructure();
    arg << l.id << l.properties;
    // Each child travels as a variant holding the same structure.
    arg.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayout& child : l.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& l)
{
    arg.beginStructure();
    arg >> l.id >> l.properties;
    l.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant v;
        arg >> v;
        const QDBusArgument inner = v.variant().value<QDBusArgument>();
        DBusMenuLayout child;
        inner >> child;
        l.children.append(child);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& i)
{
    arg.beginStructure();
    arg << i.id << i.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& i)
{
    arg.beginStructure();
    arg >> i.id >> i.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& k)
{
    arg.beginStructure();
    arg << k.id << k.names;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& k)
{
    arg.beginStructure();
    arg >> k.id >> k.names;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& e)
{
    arg.beginStructure();
    arg << e.id << e.eventId << e.data << e.timestamp;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& e)
{
    arg.beginStructure();
    arg >> e.id >> e.eventId >> e.data >> e.timestamp;
    arg.endStructure();
    return arg;
}

void RegisterStatusNotifierTypes()
{
    static const bool once = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuItem>();
        qDBusRegisterMetaType<DBusMenuItemList>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<DBusMenuItemKeysList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        qDBusRegisterMetaType<QList<int>>();
        // The adaptors name the lists by these names: moc looks them up as written.
        qRegisterMetaType<SniPixmapList>("zv::SniPixmapList");
        qRegisterMetaType<DBusMenuItemList>("zv::DBusMenuItemList");
        qRegisterMetaType<DBusMenuItemKeysList>("zv::DBusMenuItemKeysList");
        qRegisterMetaType<DBusMenuEventList>("zv::DBusMenuEventList");
        return true;
    }();
    Q_UNUSED(once)
}

SniPixmapList SniPixmaps(const QIcon& icon)
{
    SniPixmapList out;
    if (icon.isNull()) return out;
    QList<QSize> sizes = icon.availableSizes();
    // Panels are 16 to 48 pixels high, more on HiDPI screens: the sizes a host may scale from.
    for (int s : {16, 22, 24, 32, 48, 64})
        if (!sizes.contains(QSize(s, s))) sizes.append(QSize(s, s));
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) continue;
        SniPixmap p;
        p.width = image.width();
        p.height = image.height();
        p.argb.resize(qsizetype(p.width) * p.height * 4);
        uchar* out32 = reinterpret_cast<uchar*>(p.argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out32 += 4)
                qToBigEndian<quint32>(line[x], out32);
        }
        bool seen = false;
        for (const SniPixmap& q : out)
            seen = seen || (q.width == p.width && q.height == p.height);
        if (!seen) out.append(p);
    }
    return out;
}

QString DBusMenuLabel(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            } else {
                out += QLatin1Char('_');
            }
        } else if (c == QLatin1Char('_')) {
            out += QLatin1String("__");
        } else {
            out += c;
        }
    }
    return out;
}

// ---- The menu -------------------------------------------------------------------------------

TZvDBusMenuExporter::TZvDBusMenuExporter(QObject* parent) : QObject(parent) {}

void TZvDBusMenuExporter::setMenu(QMenu* menu)
{
    QObject* old = m_menuObject.data();
    if (menu ? old == static_cast<QObject*>(menu) : !old) return;
    if (old) {
        old->removeEventFilter(this);
        disconnect(old, nullptr, this, nullptr);
    }
    m_menu = menu;
    m_menuObject = menu;
    if (menu) {
        watch(menu);
        connect(menu, &QObject::destroyed, this, [this] {
            m_menu = nullptr;
            m_menuObject = nullptr;
            changed();
        });
    }
    changed();
}

void TZvDBusMenuExporter::watch(QMenu* menu)
{
    menu->removeEventFilter(this);
    menu->installEventFilter(this);
}

bool TZvDBusMenuExporter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved:
    case QEvent::ActionChanged:
        changed();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TZvDBusMenuExporter::changed()
{
    // Many changes in a row (UpdateActions enables a whole list) make one update.
    if (m_changePending) return;
    m_changePending = true;
    QTimer::singleShot(0, this, [this] {
        m_changePending = false;
        ++m_revision;
        emit layoutUpdated(m_revision, 0);
    });
}

int TZvDBusMenuExporter::idOf(QAction* action)
{
    auto it = m_ids.constFind(action);
    if (it != m_ids.constEnd()) return it.value();
    const int id = m_nextId++;
    m_ids.insert(action, id);
    m_actions.insert(id, action);
    connect(action, &QObject::destroyed, this, [this, action, id] {
        m_ids.remove(action);
        m_actions.remove(id);
    });
    if (QMenu* sub = action->menu()) watch(sub);
    return id;
}

QMenu* TZvDBusMenuExporter::menuOf(int id) const
{
    if (id == 0) return menu();
    const QPointer<QAction> action = m_actions.value(id);
    return action ? action->menu() : nullptr;
}

QVariantMap TZvDBusMenuExporter::properties(int id) const
{
    QVariantMap p;
    if (id == 0) {
        p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        return p;
    }
    const QPointer<QAction> action = m_actions.value(id);
    if (!action) return p;
    if (action->isSeparator()) {
        p.insert(QStringLiteral("type"), QStringLiteral("separator"));
        p.insert(QStringLiteral("visible"), action->isVisible());
        return p;
    }
    p.insert(QStringLiteral("label"), DBusMenuLabel(action->text()));
    p.insert(QStringLiteral("enabled"), action->isEnabled());
    p.insert(QStringLiteral("visible"), action->isVisible());
    if (action->isCheckable()) {
        const bool radio = action->actionGroup() && action->actionGroup()->isExclusive();
        p.insert(QStringLiteral("toggle-type"),
                 radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        p.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu()) p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    const QString iconName = action->icon().name();
    if (!iconName.isEmpty()) p.insert(QStringLiteral("icon-name"), iconName);
    return p;
}

static QVariantMap only(const QVariantMap& all, const QStringList& names)
{
    if (names.isEmpty()) return all;
    QVariantMap out;
    for (const QString& n : names)
        if (all.contains(n)) out.insert(n, all.value(n));
    return out;
}

DBusMenuLayout TZvDBusMenuExporter::layout(int parentId, int depth, const QStringList& names)
{
    DBusMenuLayout l;
    l.id = parentId;
    l.properties = only(properties(parentId), names);
    QMenu* menu = menuOf(parentId);
    if (!menu || depth == 0) return l;
    for (QAction* action : menu->actions()) {
        const int id = idOf(action);
        l.children.append(layout(id, depth < 0 ? -1 : depth - 1, names));
    }
    return l;
}

DBusMenuItemList TZvDBusMenuExporter::groupProperties(const QList<int>& ids, const QStringList& names)
{
    DBusMenuItemList out;
    QList<int> wanted = ids;
    if (wanted.isEmpty()) wanted = m_actions.keys();
    for (int id : wanted)
        if (hasItem(id)) out.append({id, only(properties(id), names)});
    return out;
}

bool TZvDBusMenuExporter::hostEvent(int id, const QString& eventId)
{
    if (!hasItem(id)) return false;
    if (eventId == QLatin1String("clicked")) {
        QPointer<QAction> action = m_actions.value(id);
        // After the answer to the host: the command may end the program (E&xit).
        if (action && action->isEnabled() && !action->menu())
            QTimer::singleShot(0, action, [action] {
                if (action) action->trigger();
            });
    } else if (eventId == QLatin1String("opened")) {
        if (QMenu* m = menuOf(id)) emit m->aboutToShow();
    } else if (eventId == QLatin1String("closed")) {
        if (QMenu* m = menuOf(id)) emit m->aboutToHide();
    }
    return true;
}

bool TZvDBusMenuExporter::aboutToShow(int id)
{
    const uint before = m_revision;
    if (QMenu* m = menuOf(id)) emit m->aboutToShow();
    // A change made by the menu's own aboutToShow is pending: say so, the host reads again.
    return m_changePending || m_revision != before;
}

TZvDBusMenuAdaptor::TZvDBusMenuAdaptor(TZvDBusMenuExporter* exporter)
    : QDBusAbstractAdaptor(exporter), m_exporter(exporter)
{
    connect(exporter, &TZvDBusMenuExporter::layoutUpdated, this, &TZvDBusMenuAdaptor::LayoutUpdated);
}

QString TZvDBusMenuAdaptor::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

uint TZvDBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                   DBusMenuLayout& layout)
{
    layout = m_exporter->layout(parentId, recursionDepth, propertyNames);
    return m_exporter->revision();
}

DBusMenuItemList TZvDBusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                        const QStringList& propertyNames)
{
    return m_exporter->groupProperties(ids, propertyNames);
}

QDBusVariant TZvDBusMenuAdaptor::GetProperty(int id, const QString& name)
{
    return QDBusVariant(m_exporter->properties(id).value(name));
}

void TZvDBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint)
{
    m_exporter->hostEvent(id, eventId);
}

QList<int> TZvDBusMenuAdaptor::EventGroup(const DBusMenuEventList& events)
{
    QList<int> errors;
    for (const DBusMenuEvent& e : events)
        if (!m_exporter->hostEvent(e.id, e.eventId)) errors.append(e.id);
    return errors;
}

bool TZvDBusMenuAdaptor::AboutToShow(int id)
{
    return m_exporter->aboutToShow(id);
}

QList<int> TZvDBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    QList<int> updates;
    for (int id : ids) {
        if (!m_exporter->hasItem(id))
            idErrors.append(id);
        else if (m_exporter->aboutToShow(id))
            updates.append(id);
    }
    return updates;
}

// ---- The item -----------------------------------------------------------------------------

namespace {
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

TZvSniAdaptor::TZvSniAdaptor(TZvStatusNotifierItem* item) : QDBusAbstractAdaptor(item), m_item(item) {}

QString TZvSniAdaptor::id() const
{
    return QCoreApplication::applicationName();
}

QDBusObjectPath TZvSniAdaptor::menu() const
{
    return QDBusObjectPath(m_item->menu() ? kMenuPath : QStringLiteral("/NO_DBUSMENU"));
}

TZvStatusNotifierItem::TZvStatusNotifierItem(QObject* parent) : QObject(parent)
{
    RegisterStatusNotifierTypes();
    static int count = 0;
    ++count;
    // A connection of its own: its name, objects and all go with it when the item goes.
    m_connectionName = QStringLiteral("zv-status-notifier-%1").arg(count);
    m_menuExporter = new TZvDBusMenuExporter(this);
    new TZvDBusMenuAdaptor(m_menuExporter);
    m_adaptor = new TZvSniAdaptor(this);

    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    if (!bus.isConnected()) return;
    const QString service = QStringLiteral("org.kde.StatusNotifierItem-%1-zv%2")
                                .arg(QCoreApplication::applicationPid())
                                .arg(count);
    if (!bus.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors) ||
        !bus.registerObject(kMenuPath, m_menuExporter, QDBusConnection::ExportAdaptors) ||
        !bus.registerService(service))
        return;
    m_service = service;
    // A panel that restarts comes with a new watcher: the item registers again.
    m_watcherWatch = new QDBusServiceWatcher(TZvSniHostWatch::kWatcherService, bus,
                                             QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcherWatch, &QDBusServiceWatcher::serviceRegistered, this, [this] { registerWithWatcher(); });
    registerWithWatcher();
}

TZvStatusNotifierItem::~TZvStatusNotifierItem()
{
    QDBusConnection bus(m_connectionName);
    if (bus.isConnected()) {
        if (!m_service.isEmpty()) bus.unregisterService(m_service);
        bus.unregisterObject(kMenuPath);
        bus.unregisterObject(kItemPath);
    }
    delete m_watcherWatch;
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void TZvStatusNotifierItem::registerWithWatcher()
{
    QDBusConnection bus(m_connectionName);
    QDBusMessage call =
        QDBusMessage::createMethodCall(TZvSniHostWatch::kWatcherService, TZvSniHostWatch::kWatcherPath,
                                       kWatcherInterface, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    // Never blocking: a watcher that hangs must not hold the program up.
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const bool ok = !w->isError();
        w->deleteLater();
        if (ok != m_registered) {
            m_registered = ok;
            emit registeredChanged(ok);
        }
    });
}

QString TZvStatusNotifierItem::title() const
{
    return QCoreApplication::applicationName();
}

void TZvStatusNotifierItem::setIcon(const QIcon& icon)
{
    m_icon = icon;
    m_pixmaps = SniPixmaps(icon);
    // The theme's icon once the program is installed there: sharp at every size.
    m_iconName = icon.name();
    if (m_iconName.isEmpty() && QIcon::hasThemeIcon(QStringLiteral("zorvik-jotboard")))
        m_iconName = QStringLiteral("zorvik-jotboard");
    emit m_adaptor->NewIcon();
}

void TZvStatusNotifierItem::setToolTip(const QString& text)
{
    if (text == m_toolTip) return;
    m_toolTip = text;
    emit m_adaptor->NewToolTip();
}

SniToolTip TZvStatusNotifierItem::toolTip() const
{
    // As Qt's own item has it: the tool tip's text is its title.
    SniToolTip t;
    t.title = m_toolTip;
    return t;
}

void TZvStatusNotifierItem::setMenu(QMenu* menu)
{
    m_menuExporter->setMenu(menu);
    emit m_adaptor->NewMenu();
}

void TZvStatusNotifierItem::hostActivate(int, int)
{
    // After the answer to the host.
    QTimer::singleShot(0, this, [this] { emit activateRequested(); });
}

void TZvStatusNotifierItem::hostSecondaryActivate(int, int)
{
    QTimer::singleShot(0, this, [this] { emit secondaryActivateRequested(); });
}

void TZvStatusNotifierItem::hostContextMenu(int x, int y)
{
    // Hosts read the menu over dbusmenu; one that asks for it here gets it at the pointer.
    QPointer<QMenu> menu = m_menuExporter->menu();
    QTimer::singleShot(0, this, [menu, x, y] {
        if (menu) menu->popup(QPoint(x, y));
    });
}

void TZvStatusNotifierItem::hostActivationToken(const QString& token)
{
    SetActivationToken(token);
}

// ---- The host watch ---------------------------------------------------------------------------

TZvSniHostWatch& TZvSniHostWatch::instance()
{
    static QPointer<TZvSniHostWatch> watch;
    if (!watch) watch = new TZvSniHostWatch(QCoreApplication::instance());
    return *watch;
}

TZvSniHostWatch::TZvSniHostWatch(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    m_watch = new QDBusServiceWatcher(
        kWatcherService, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watch, &QDBusServiceWatcher::serviceRegistered, this, &TZvSniHostWatch::refresh);
    connect(m_watch, &QDBusServiceWatcher::serviceUnregistered, this, &TZvSniHostWatch::refresh);
    bus.connect(kWatcherService, kWatcherPath, kWatcherInterface,
                QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(onHostRegistered()));
    bus.connect(kWatcherService, kWatcherPath, kWatcherInterface,
                QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(onHostRegistered()));
    refresh();
}

void TZvSniHostWatch::onHostRegistered()
{
    refresh();
}

void TZvSniHostWatch::refresh()
{
    bool now = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(kWatcherService)) {
        QDBusMessage get = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
        const QDBusMessage answer = bus.call(get, QDBus::Block, 1000);
        if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty())
            now = answer.arguments().first().value<QDBusVariant>().variant().toBool();
    }
    if (now == m_available) return;
    m_available = now;
    emit availableChanged(now);
}

bool QtChoosesStatusNotifier()
{
    // Qt's own rule: a D-Bus tray on the xcb and wayland platforms when a watcher with a
    // registered host is there the first time a tray icon is made.
    const QString platform = QGuiApplication::platformName();
    const bool dbusTrayPlatform =
        platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    return dbusTrayPlatform && StatusNotifierHostSeam::available();
}

void InstallStatusNotifierHandlers()
{
    StatusNotifierHostSeam::seam().setHandler(
        [](const SeamQuery&) { return TZvSniHostWatch::instance().available(); });
}

} // namespace zv
