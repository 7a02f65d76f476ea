#pragma once

#include "store/ZvSeams.h"

#include <QList>
#include <QPixmap>
#include <QWidget>

class QAction;
class QMenu;
class QPrinter;

namespace zv {

class TADOConnection;
class TZvTrayIcon;
class TZvFrame;

// The two lists, each on its tab.
enum class TZvFrameKind
{
    Tasks,
    Memos
};

// The commands of the shared-actions module and the main window that the frames put in
// their menus. Any of them may be missing (a test host); the frames then leave them out.
struct TZvSharedActions
{
    QAction* Options = nullptr;
    QAction* DbBackup = nullptr;
    QAction* DbRestore = nullptr;
    QAction* UndoRestore = nullptr; // "&Undo Last Restore/Import"
    QAction* Import = nullptr;
    QAction* ImportICalendar = nullptr;
    QAction* StayOnTop = nullptr;
    QAction* UiClose = nullptr;
    QAction* HelpContents = nullptr;
    QAction* Contact = nullptr;
    QAction* Suggestion = nullptr;
    QAction* Website = nullptr;
    QAction* Update = nullptr;
    QAction* Resources = nullptr;
    QAction* About = nullptr;
    QAction* SyncNow = nullptr;
};

enum class HostPicture
{
    ToolsbarBackground,
    SearchbarBackground,
    GroupBackground,
    ItemBackground0,
    ItemBackground1
};

// What a frame reads from the window that hosts it. The main window implements it;
// frame tests supply a small host of their own.
class TZvFrameHost
{
public:
    virtual ~TZvFrameHost() = default;
    virtual QString confFile() const = 0;
    virtual QString programFolder() const = 0;
    virtual QString alarmSound() const = 0;
    virtual QString appVersion() const = 0;
    virtual int hintSize() const = 0;
    virtual const QPixmap& picture(HostPicture which) const = 0;
    virtual TADOConnection& connection() = 0;
    virtual TZvTrayIcon* trayIcon() const = 0; // may be null
    virtual void setTaskCounts(int privateTasks, int publicTasks) = 0;
    virtual void setMemoCounts(int privateMemos, int publicMemos) = 0;
    virtual void installMenus(TZvFrame* frame) = 0;
    virtual TZvSharedActions sharedActions() const = 0;
    virtual QWidget* window() const = 0;
    // A backup, restore or import is running: the frames' commands and timers hold off.
    virtual bool busy() const = 0;
    // The printer both frames print on, so the print dialog keeps its choices.
    virtual QPrinter& printer() = 0;
};

// What the main window needs of the frames on its two tabs. The frames handle the
// posted messages 2024, 2025, 2034, 2035 and 2036 themselves (customEvent).
class TZvFrame : public QWidget
{
    Q_OBJECT
public:
    // Both lists are drawn in Tahoma, 13 pixels high.
    explicit TZvFrame(QWidget* parent);

    // The menus the frame installs as the main window's menu bar when it is activated.
    virtual QList<QMenu*> MainMenuMenus() const = 0;
    // The tray's Paste command: the clipboard text becomes one new item.
    virtual void PasteFromTray() = 0;
    // A text from outside the window (the command line) becomes one new item, stored as
    // the tray's Paste stores it, except that an edit under way goes on. Returns the new
    // id; a failed insert raises the database's error.
    virtual QString AddTextFromOutside(const QString& text) = 0;
    // Exit and session end: an edit in progress is stored.
    virtual void FinishEditing() = 0;
    // The tree has been loaded at least once (message 2024 has run to its end).
    virtual bool Loaded() const { return false; }
    // Items were changed by something other than the frame's own commands (a restore, an
    // import, a sync): its undo steps would put back rows that are no longer what they
    // were. With no ids every step goes; otherwise every step goes when any step touches
    // one of those items, and they stay when none does.
    virtual void ItemsChangedElsewhere(const QStringList& ids = {}) { Q_UNUSED(ids) }
    // A node is being edited in place: nothing from outside may change the rows meanwhile.
    virtual bool Editing() const { return false; }
    // The sync's state in a panel of its own at the right of the status bar (the first
    // panels follow the selection); empty hides it.
    virtual void ShowSyncState(const QString& /*text*/, const QString& /*tip*/) {}
};

// ---- Frame factories ----------------------------------------------------------------
// The frames come from their own units, above the main window's view of them; the main
// window asks for them here.
struct FrameRequest
{
    TZvFrameKind kind = TZvFrameKind::Tasks;
    TZvFrameHost* host = nullptr;
    QWidget* tab = nullptr;
};

class FrameFactorySeam
{
public:
    using Seam = TZvSeam<FrameRequest, TZvFrame*>;
    using Factory = TZvFrame* (*)(TZvFrameHost* host, QWidget* tab);
    // The frame of that kind, or none (its tab stays empty) without a factory.
    static TZvFrame* make(TZvFrameKind kind, TZvFrameHost* host, QWidget* tab);
    // A null factory makes no frame of its kind.
    static void setFactories(Factory tasks, Factory memos);
    static Seam& seam();
};

} // namespace zv
