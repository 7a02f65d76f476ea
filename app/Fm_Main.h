#pragma once

#include "frames/ZvFrame.h"
#include "store/ZvDateTime.h"
#include "store/ZvDb.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <memory>

class QAction;
class QMenu;
class QTabWidget;
class QTimer;

namespace zv {

class TZvTrayIcon;
class TZvInstanceReply;
struct InstanceRequest;
class TZvFormState;
class TZvVersionInfo;
class TZVHHComp;
class TIoDm;
class TcommonDm;
class TZvSyncController;

// The one main window: its two tabs host the task and memo frames; it owns the
// connection, the shared pictures, the settings-file path and the tray icon.
class TmainFm : public QMainWindow, public TZvFrameHost
{
    Q_OBJECT
public:
    explicit TmainFm(const QString& programFolder, QWidget* parent = nullptr);
    ~TmainFm() override;

    // ---- Shared state read by the other units ----
    QString ProgramFolder; // ends with "/"
    QString ConfFile;
    QString AlarmSound;
    int HintSize = 20;
    bool AddOpenEn = false;
    bool RunMinimizedEn = false;
    bool VisitWebEn = true;
    TDateTime VisitWeb = 0;
    bool FirstShow = true;
    bool Exiting = false;

    QPixmap ToolsbarBackground, SearchbarBackground, GroupBackground, ItemBackground0, ItemBackground1;

    int PrivateTasks = 0, PublicTasks = 0, PrivateMemos = 0, PublicMemos = 0;

    TADOConnection ADOConnection1;

    TZvTrayIcon* ZvTrayIcon1 = nullptr;
    TZvFormState* ZvFormState1 = nullptr;
    TZvVersionInfo* ZvVersionInfo1 = nullptr;
    TZVHHComp* ZVHHComp1 = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet_task = nullptr;
    QWidget* TabSheet_memo = nullptr;
    QPointer<TZvFrame> TaskFrame;
    QPointer<TZvFrame> MemoFrame;

    QAction* Action_AddTask = nullptr;
    QAction* Action_PasteTask = nullptr;
    QAction* Action_AddMemo = nullptr;
    QAction* Action_PasteMemo = nullptr;
    QAction* Action_Exit = nullptr;
    QAction* Action_DbBackup = nullptr;
    QAction* Action_DbRestore = nullptr;
    QAction* Action_Import = nullptr;
    QAction* Action_ImportICalendar = nullptr;
    QAction* Action_UndoRestore = nullptr; // "&Undo Last Restore/Import"
    QMenu* PopupMenu_Tray = nullptr;
    QTimer* Timer_balloon = nullptr;

    TIoDm* IoDm = nullptr;
    TcommonDm* commonDm = nullptr;
    TZvSyncController* SyncController = nullptr;

    // Whether the creation ran to its end (a failing step skips the later ones).
    bool CreatedFully() const { return m_createdFully; }

    // ---- TZvFrameHost ----
    QString confFile() const override { return ConfFile; }
    QString programFolder() const override { return ProgramFolder; }
    QString alarmSound() const override { return AlarmSound; }
    QString appVersion() const override;
    int hintSize() const override { return HintSize; }
    const QPixmap& picture(HostPicture which) const override;
    TADOConnection& connection() override { return ADOConnection1; }
    TZvTrayIcon* trayIcon() const override { return ZvTrayIcon1; }
    void setTaskCounts(int privateTasks, int publicTasks) override;
    void setMemoCounts(int privateMemos, int publicMemos) override;
    void installMenus(TZvFrame* frame) override { InstallMenus(frame); }
    TZvSharedActions sharedActions() const override;
    QWidget* window() const override { return const_cast<TmainFm*>(this); }
    bool busy() const override;
    QPrinter& printer() override; // PrintDialog's printer, shared by both frames

    // The frame of the active tab.
    TZvFrame* ActiveFrame() const;
    // Installs a frame's menus as the one menu bar (refilled, never replaced).
    void InstallMenus(TZvFrame* frame);

    // The modules made after the window: the tray menu gets "&Open Zorvik Jotboard".
    void AttachModules(TIoDm* io, TcommonDm* common);

    // Runs the steps of "E&xit": placement saved, frames freed (an edit in progress is
    // stored), window closed, event loop ended. Also used at log-off and on SIGTERM.
    void ExitProgram();
    // A later start of the program asked this one to come forward (with the activation
    // token it was given, if any).
    void BringForwardFromSecondStart(const QString& activationToken = QString());
    // "Sync Now" in the tray menu (before "E&xit") while sync is on, and not at all while off.
    void ShowSyncCommands(bool on);
    // The frames of these tables ("tasks", "memos") load their trees again from the rows.
    void ReloadTables(const QSet<QString>& tables);
    // A later process handed over a command: come forward (a start without options),
    // --show, --new-task, --new-memo, --add-task, --add-memo, --sync, and "state" (what the
    // window shows, as JSON, for test scripts). Answered through reply.
    void HandleInstanceRequest(const InstanceRequest& request, TZvInstanceReply reply);
    // How long a handed-over item may wait for its frame (loading, a backup, restore or
    // import running) before the later process is told.
    static constexpr int kHandOffWaitMs = 8000;
    // How long after an activation request on Wayland the window is looked at.
    static constexpr int kActivationCheckMs = 750;

    // The frame factories: the frames come from their own units.
    using FrameFactory = TZvFrame* (*)(TZvFrameHost* host, QWidget* tab);
    static void setFrameFactories(FrameFactory tasks, FrameFactory memos);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    std::unique_ptr<QPrinter> m_printer;
    void createSteps();
    void loadPictures();
    void createActions();
    void firstShow();
    void onHiddenToTray();
    void onRestored(bool wasHidden);
    void onTabChanged(int index);
    void trayAdd(int tab, TZvFrame* frame);
    void onTrayAddTask();
    void onTrayAddMemo();
    void onTrayPasteTask();
    void onTrayPasteMemo();
    void onDbBackup();
    void onDbRestore();
    void onImport();
    void onImportICalendar();
    void onUndoRestore();
    // After a restore or an import: steps of the frames' undo stacks would put back rows
    // that are no longer what they were.
    void afterBulkChange(bool reload);
    void updateUndoRestore();
    void updateTrayCommands();
    void postToFrame(TZvFrame* frame, int message);
    void reloadFrames();
    void addFromOutside(bool task, const QString& text, TZvInstanceReply reply, int waitedMs);
    // On Wayland a window that could not come forward says so in a notification.
    void announceIfNotForward();

    bool m_createdFully = false;
    bool m_switchingTabQuietly = false;
    bool m_exitDone = false;
    QAction* m_syncSeparator = nullptr;
};

// The one main window instance.
extern TmainFm* mainFm;

} // namespace zv
