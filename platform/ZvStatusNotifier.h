#pragma once

#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QDBusServiceWatcher;

// The program's own StatusNotifierItem, for a watcher that appears after the start.
//
// Qt chooses between a StatusNotifierItem and an XEmbed tray icon once per process, at the
// first tray icon: a program started before the panel (autostart) never gets an item on a
// desktop whose tray is the D-Bus one, however often it makes its QSystemTrayIcon again.
// This item speaks the same protocol over Qt D-Bus (org.kde.StatusNotifierItem, its menu
// over com.canonical.dbusmenu) with what the tray icon shows: title, icon, tool tip, menu
// and activation.

namespace zv {

// ---- D-Bus types of the two protocols ---------------------------------------------------
struct SniPixmap // (iiay): width, height, ARGB32 pixels in network byte order
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using SniPixmapList = QList<SniPixmap>;

struct SniToolTip // (sa(iiay)ss): icon name, pixmaps, title, text
{
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString text;
};

struct DBusMenuLayout // (ia{sv}av): id, properties, children (each a variant of the same)
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

struct DBusMenuItem // (ia{sv})
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;

struct DBusMenuItemKeys // (ias)
{
    int id = 0;
    QStringList names;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

struct DBusMenuEvent // (isvu)
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// Registers the types above with Qt D-Bus (once).
void RegisterStatusNotifierTypes();

// The icon as the protocol carries it: one ARGB32 picture per size.
SniPixmapList SniPixmaps(const QIcon& icon);
// A menu caption in dbusmenu's form: "&" before the mnemonic becomes "_", "&&" a plain
// "&", a literal "_" is doubled.
QString DBusMenuLabel(const QString& text);

// ---- A QMenu served over com.canonical.dbusmenu -----------------------------------------
class TZvDBusMenuExporter : public QObject
{
    Q_OBJECT
public:
    explicit TZvDBusMenuExporter(QObject* parent = nullptr);
    void setMenu(QMenu* menu);
    QMenu* menu() const { return m_menuObject ? m_menu : nullptr; }
    uint revision() const { return m_revision; }

    DBusMenuLayout layout(int parentId, int depth, const QStringList& names);
    DBusMenuItemList groupProperties(const QList<int>& ids, const QStringList& names);
    bool hasItem(int id) const { return id == 0 || m_actions.contains(id); }
    QVariantMap properties(int id) const;
    // An event of the host ("clicked", "opened", "closed"); false for an unknown id.
    bool hostEvent(int id, const QString& eventId);
    // The host is about to show a menu: returns whether its layout changed meanwhile.
    bool aboutToShow(int id);

signals:
    void layoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int idOf(QAction* action);
    QMenu* menuOf(int id) const;
    void watch(QMenu* menu);
    void changed();

    // The menu is reached through its QObject part only while it may be going: a QMenu
    // being destroyed is no QMenu any more by the time its destroyed signal comes.
    QPointer<QObject> m_menuObject;
    QMenu* m_menu = nullptr;
    QHash<QAction*, int> m_ids;
    QHash<int, QPointer<QAction>> m_actions;
    int m_nextId = 1;
    uint m_revision = 1;
    bool m_changePending = false;
};

class TZvDBusMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit TZvDBusMenuAdaptor(TZvDBusMenuExporter* exporter);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   zv::DBusMenuLayout& layout);
    zv::DBusMenuItemList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const zv::DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const zv::DBusMenuItemList& updatedProps,
                                const zv::DBusMenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    TZvDBusMenuExporter* m_exporter;
};

// ---- The item ------------------------------------------------------------------------------
class TZvStatusNotifierItem : public QObject
{
    Q_OBJECT
public:
    explicit TZvStatusNotifierItem(QObject* parent = nullptr);
    ~TZvStatusNotifierItem() override;

    // The bus name it serves under ("org.kde.StatusNotifierItem-PID-N"), empty when the
    // session bus could not be reached.
    QString serviceName() const { return m_service; }
    bool registered() const { return m_registered; }

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& text);
    void setMenu(QMenu* menu);
    QMenu* menu() const { return m_menuExporter->menu(); }

    // Read by the adaptor.
    QString title() const;
    QString iconName() const { return m_iconName; }
    SniPixmapList iconPixmaps() const { return m_pixmaps; }
    SniToolTip toolTip() const;

    // Called by the adaptor for the host's calls.
    void hostActivate(int x, int y);
    void hostSecondaryActivate(int x, int y);
    void hostContextMenu(int x, int y);
    void hostActivationToken(const QString& token);

signals:
    void activateRequested();          // Activate: a click on the icon
    void secondaryActivateRequested(); // SecondaryActivate: a middle click
    void registeredChanged(bool registered);

private:
    void registerWithWatcher();

    QString m_connectionName;
    QString m_service;
    bool m_registered = false;
    QIcon m_icon;
    QString m_iconName;
    SniPixmapList m_pixmaps;
    QString m_toolTip;
    TZvDBusMenuExporter* m_menuExporter = nullptr;
    class TZvSniAdaptor* m_adaptor = nullptr;
    QDBusServiceWatcher* m_watcherWatch = nullptr;
};

class TZvSniAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(zv::SniPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(zv::SniPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(zv::SniPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(zv::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
public:
    explicit TZvSniAdaptor(TZvStatusNotifierItem* item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const { return m_item->title(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return m_item->iconName(); }
    zv::SniPixmapList iconPixmap() const { return m_item->iconPixmaps(); }
    QString emptyName() const { return QString(); }
    zv::SniPixmapList noPixmaps() const { return {}; }
    zv::SniToolTip toolTip() const { return m_item->toolTip(); }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const;

public slots:
    void Activate(int x, int y) { m_item->hostActivate(x, y); }
    void SecondaryActivate(int x, int y) { m_item->hostSecondaryActivate(x, y); }
    void ContextMenu(int x, int y) { m_item->hostContextMenu(x, y); }
    void Scroll(int, const QString&) {}
    void ProvideXdgActivationToken(const QString& token) { m_item->hostActivationToken(token); }

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void NewMenu();

private:
    TZvStatusNotifierItem* m_item;
};

// ---- Is there a host? -----------------------------------------------------------------------
// Whether an org.kde.StatusNotifierWatcher with a registered host is on the session bus,
// kept up to date from the bus's own signals (asking costs nothing). The program installs
// it as the StatusNotifierHostSeam's handler.
class TZvSniHostWatch : public QObject
{
    Q_OBJECT
public:
    static TZvSniHostWatch& instance();
    bool available() const { return m_available; }
    // Asks the bus now (also done whenever the watcher comes, goes or reports a host).
    void refresh();

    static inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

signals:
    void availableChanged(bool available);

private slots:
    void onHostRegistered();

private:
    explicit TZvSniHostWatch(QObject* parent);
    bool m_available = false;
    QDBusServiceWatcher* m_watch = nullptr;
};

// The program's handler of StatusNotifierHostSeam (the watch above).
void InstallStatusNotifierHandlers();

// Whether Qt makes its tray icons StatusNotifierItems in this process. Qt decides when the
// first tray icon is made, by the same question: ask it just before.
bool QtChoosesStatusNotifier();

} // namespace zv

Q_DECLARE_METATYPE(zv::SniPixmap)
Q_DECLARE_METATYPE(zv::SniToolTip)
Q_DECLARE_METATYPE(zv::DBusMenuLayout)
Q_DECLARE_METATYPE(zv::DBusMenuItem)
Q_DECLARE_METATYPE(zv::DBusMenuItemKeys)
Q_DECLARE_METATYPE(zv::DBusMenuEvent)
