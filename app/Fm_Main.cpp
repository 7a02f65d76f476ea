#include "app/Fm_Main.h"

#include "app/Dm_Common.h"
#include "app/ZvSyncController.h"
#include "components/ZvFormState.h"
#include "components/ZvTray.h"
#include "components/ZvVersionInfo.h"
#include "components/zvHHComp.h"
#include "frames/ZvFrame.h"
#include "frames/ZvMessages.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvIoBusy.h"
#include "platform/ZvIcons.h"
#include "platform/ZvNotify.h"
#include "platform/ZvSingleInstance.h"
#include "platform/ZvWindowFront.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace zv {

TmainFm* mainFm = nullptr;

namespace {
QString mtr(const char* text)
{
    return QCoreApplication::translate("TmainFm", text);
}

// A picture of our own for a background file that is missing or unreadable: a cosmetic
// file never stops the program from opening its data.
QPixmap fallbackPicture(const QString& name)
{
    QPixmap p(64, 24);
    QColor top(0xFA, 0xFB, 0xFD), bottom(0xEC, 0xEF, 0xF5);
    if (name.startsWith(QLatin1String("group")))
        top = QColor(0xF4, 0xF7, 0xF0), bottom = QColor(0xEC, 0xF1, 0xE6);
    else if (name.startsWith(QLatin1String("itemBackground1")))
        top = QColor(0xF6, 0xF8, 0xFC), bottom = QColor(0xEE, 0xF2, 0xF9);
    else if (name.startsWith(QLatin1String("itemBackground0")))
        top = QColor(0xFF, 0xFF, 0xFF), bottom = QColor(0xF7, 0xF8, 0xFA);
    QPainter painter(&p);
    QLinearGradient g(0, 0, 0, p.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    painter.fillRect(p.rect(), g);
    return p;
}
} // namespace

void TmainFm::setFrameFactories(FrameFactory tasks, FrameFactory memos)
{
    FrameFactorySeam::setFactories(tasks, memos);
}

TmainFm::TmainFm(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent), ProgramFolder(programFolder)
{
    mainFm = this;
    resize(455, 503);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);
    setWindowIcon(ZvImage(ImageList::Tray16, 0));

    PageControl1 = new QTabWidget(this);
    PageControl1->setIconSize(QSize(22, 22));
    TabSheet_task = new QWidget;
    TabSheet_memo = new QWidget;
    PageControl1->addTab(TabSheet_task, ZvImage(ImageList::Main22, 1), mtr("To-Do List"));
    PageControl1->addTab(TabSheet_memo, ZvImage(ImageList::Main22, 2), mtr("Memos"));
    PageControl1->setCurrentIndex(0);
    setCentralWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TmainFm::onTabChanged);

    ZvFormState1 = new TZvFormState(this);
    ZvFormState1->setSection(QStringLiteral("form"));
    ZvFormState1->HookEvents();
    ZvVersionInfo1 = new TZvVersionInfo(this);
    ZVHHComp1 = new TZVHHComp(this);

    Timer_balloon = new QTimer(this);
    Timer_balloon->setInterval(3600000);
    Timer_balloon->setSingleShot(true); // it only stops itself when it fires

    SyncController = new TZvSyncController(this);
    createActions();

    ZvTrayIcon1 = new TZvTrayIcon(this);
    ZvTrayIcon1->setIcon(ZvImage(ImageList::Tray16, 0));
    ZvTrayIcon1->setMinimizeToTray(true);
    ZvTrayIcon1->setCloseToTray(true);
    ZvTrayIcon1->setPopupMenu(PopupMenu_Tray);
    ZvTrayIcon1->OnClick = [this](Qt::MouseButton button, Qt::KeyboardModifiers) {
        if (button != Qt::LeftButton) return;
        Guarded([this] {
            if (commonDm)
                commonDm->Action_UiOpenExecute();
            else
                ZvTrayIcon1->Restore();
        });
    };
    connect(ZvTrayIcon1, &TZvTrayIcon::hiddenToTray, this, [this] { Guarded([this] { onHiddenToTray(); }); });
    connect(ZvTrayIcon1, &TZvTrayIcon::restored, this,
            [this](bool wasHidden) { Guarded([this, wasHidden] { onRestored(wasHidden); }); });

    Guarded([this] { createSteps(); });
    updateTrayCommands();
    Guarded([this] { SyncController->SettingsChanged(); });
}

TmainFm::~TmainFm()
{
    if (mainFm == this) mainFm = nullptr;
}

void TmainFm::createActions()
{
    auto make = [this](QAction*& action, const char* caption, void (TmainFm::*slot)()) {
        action = new QAction(mtr(caption), this);
        connect(action, &QAction::triggered, this,
                [this, slot] { Guarded([this, slot] { (this->*slot)(); }); });
    };
    make(Action_AddTask, "&Add Task", &TmainFm::onTrayAddTask);
    make(Action_PasteTask, "Paste to &Task", &TmainFm::onTrayPasteTask);
    make(Action_AddMemo, "A&dd Memo", &TmainFm::onTrayAddMemo);
    make(Action_PasteMemo, "Paste to &Memo", &TmainFm::onTrayPasteMemo);
    make(Action_Exit, "E&xit", &TmainFm::ExitProgram);
    make(Action_DbBackup, "Database &Backup...", &TmainFm::onDbBackup);
    make(Action_DbRestore, "Database &Restore...", &TmainFm::onDbRestore);
    make(Action_Import, "&Import", &TmainFm::onImport);
    make(Action_ImportICalendar, "Import iCalen&dar...", &TmainFm::onImportICalendar);
    make(Action_UndoRestore, "&Undo Last Restore/Import", &TmainFm::onUndoRestore);

    PopupMenu_Tray = new QMenu(this);
    // "&Open Zorvik Jotboard" comes first, once the shared actions exist.
    PopupMenu_Tray->addSeparator();
    PopupMenu_Tray->addAction(Action_AddTask);
    PopupMenu_Tray->addAction(Action_PasteTask);
    PopupMenu_Tray->addSeparator();
    PopupMenu_Tray->addAction(Action_AddMemo);
    PopupMenu_Tray->addAction(Action_PasteMemo);
    PopupMenu_Tray->addSeparator();
    PopupMenu_Tray->addAction(Action_Exit);
}

void TmainFm::AttachModules(TIoDm* io, TcommonDm* common)
{
    IoDm = io;
    commonDm = common;
    updateUndoRestore();
    if (commonDm && commonDm->Action_UiOpen)
        PopupMenu_Tray->insertAction(PopupMenu_Tray->actions().value(0), commonDm->Action_UiOpen);
    if (IoDm && ZvVersionInfo1) IoDm->setAppVersion(ZvVersionInfo1->GetValue(2));
}

void TmainFm::loadPictures()
{
    const char* names[] = {"toolsbarBackground.bmp", "searchbarBackground.bmp", "groupBackground.bmp",
                           "itemBackground0.bmp", "itemBackground1.bmp"};
    QPixmap* targets[] = {&ToolsbarBackground, &SearchbarBackground, &GroupBackground, &ItemBackground0,
                          &ItemBackground1};
    for (int i = 0; i < 5; ++i) {
        const QString name = QString::fromLatin1(names[i]);
        QPixmap p(ProgramFolder + QStringLiteral("Images/") + name);
        *targets[i] = p.isNull() ? fallbackPicture(name) : p;
    }
}

void TmainFm::createSteps()
{
    // Step 1, the named mutex, is held by the single-instance guard of the program start.
    FirstShow = true;
    Exiting = false;
    loadPictures();
    AlarmSound = ProgramFolder + QStringLiteral("Sounds/Alarm.wav");
    ConfFile = ProgramFolder + QStringLiteral("zvConf.ini");
    {
        const TIniFile ini(ConfFile);
        HintSize = ini.ReadInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20);
        AddOpenEn = ini.ReadBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false);
    }
    ADOConnection1.setConnectionString(TADOConnection::BuildConnectionString(ProgramFolder));
    ADOConnection1.Open();
    TcommonDm::ReadOptions(this);
    ZVHHComp1->setHelpFile(ProgramFolder + QStringLiteral("jotboard-help.html"));
    ZvFormState1->setIniPath(ConfFile);
    m_createdFully = true;
}

QString TmainFm::appVersion() const
{
    return ZvVersionInfo1 ? ZvVersionInfo1->GetValue(2) : QString();
}

const QPixmap& TmainFm::picture(HostPicture which) const
{
    switch (which) {
    case HostPicture::ToolsbarBackground:
        return ToolsbarBackground;
    case HostPicture::SearchbarBackground:
        return SearchbarBackground;
    case HostPicture::GroupBackground:
        return GroupBackground;
    case HostPicture::ItemBackground0:
        return ItemBackground0;
    case HostPicture::ItemBackground1:
        break;
    }
    return ItemBackground1;
}

void TmainFm::setTaskCounts(int privateTasks, int publicTasks)
{
    PrivateTasks = privateTasks;
    PublicTasks = publicTasks;
}

void TmainFm::setMemoCounts(int privateMemos, int publicMemos)
{
    PrivateMemos = privateMemos;
    PublicMemos = publicMemos;
}

bool TmainFm::busy() const
{
    return IoBusy();
}

QPrinter& TmainFm::printer()
{
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

TZvSharedActions TmainFm::sharedActions() const
{
    TZvSharedActions a;
    a.DbBackup = Action_DbBackup;
    a.DbRestore = Action_DbRestore;
    a.Import = Action_Import;
    a.ImportICalendar = Action_ImportICalendar;
    a.UndoRestore = Action_UndoRestore;
    a.SyncNow = SyncController->Action_SyncNow;
    if (commonDm) {
        a.Options = commonDm->Action_Options;
        a.StayOnTop = commonDm->Action_UiStayOnTop;
        a.UiClose = commonDm->Action_UiClose;
        a.HelpContents = commonDm->HelpContents1;
        a.Contact = commonDm->Action_Contact;
        a.Suggestion = commonDm->Action_Suggestion;
        a.Website = commonDm->Action_Website;
        a.Update = commonDm->Action_Update;
        a.Resources = commonDm->Action_Resources;
        a.About = commonDm->Action_About;
    }
    return a;
}

TZvFrame* TmainFm::ActiveFrame() const
{
    return PageControl1->currentIndex() == 1 ? MemoFrame.data() : TaskFrame.data();
}

void TmainFm::InstallMenus(TZvFrame* frame)
{
    // Refill the one menu bar: replacing it would delete the bar and its menus.
    QMenuBar* bar = menuBar();
    bar->clear();
    if (!frame) return;
    for (QMenu* menu : frame->MainMenuMenus())
        bar->addMenu(menu);
}

void TmainFm::postToFrame(TZvFrame* frame, int message)
{
    PostZvMessage(frame, message);
}

void TmainFm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (FirstShow && !event->spontaneous()) Guarded([this] { firstShow(); });
}

void TmainFm::firstShow()
{
    FirstShow = false;
    auto place = [](QWidget* tab, TZvFrame* frame) {
        auto* layout = new QVBoxLayout(tab);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(frame);
    };
    // A kind without a factory leaves its tab empty and its tray commands disabled.
    TaskFrame = FrameFactorySeam::make(TZvFrameKind::Tasks, this, TabSheet_task);
    if (TaskFrame) {
        place(TabSheet_task, TaskFrame);
        postToFrame(TaskFrame, WM_FRAME_INIT);
    }
    MemoFrame = FrameFactorySeam::make(TZvFrameKind::Memos, this, TabSheet_memo);
    if (MemoFrame) {
        place(TabSheet_memo, MemoFrame);
        postToFrame(MemoFrame, WM_FRAME_INIT);
    }
    postToFrame(TaskFrame, WM_FRAME_ACTIVATE);
    updateTrayCommands();
    setWindowTitle(kAppTitle);
    if (commonDm) commonDm->StartupChecks();
}

void TmainFm::onHiddenToTray()
{
    if (Exiting) return;
    ZvFormState1->SaveState();
    if (!Timer_balloon->isActive()) {
        ZvTrayIcon1->ShowBalloonHint(kAppTitle, mtr("Click here to open!"), 1, 10);
        Timer_balloon->start();
    }
}

void TmainFm::onRestored(bool wasHidden)
{
    if (wasHidden && !FirstShow && AddOpenEn) postToFrame(ActiveFrame(), WM_ADD_ITEM);
}

void TmainFm::onTabChanged(int index)
{
    if (m_switchingTabQuietly) return;
    postToFrame(index == 1 ? MemoFrame.data() : TaskFrame.data(), WM_FRAME_ACTIVATE);
}

void TmainFm::trayAdd(int tab, TZvFrame* frame)
{
    if (IoBusy()) return;
    // The window comes back first (its own show may post 2034 to the active frame), then
    // the tab changes without counting as the user's change: no 2025, the menu bar stays.
    ZvTrayIcon1->Restore();
    m_switchingTabQuietly = true;
    PageControl1->setCurrentIndex(tab);
    m_switchingTabQuietly = false;
    postToFrame(frame, WM_ADD_ITEM);
}

void TmainFm::onTrayAddTask()
{
    trayAdd(0, TaskFrame);
}

void TmainFm::onTrayAddMemo()
{
    trayAdd(1, MemoFrame);
}

void TmainFm::onTrayPasteTask()
{
    if (!IoBusy() && TaskFrame) TaskFrame->PasteFromTray();
}

void TmainFm::onTrayPasteMemo()
{
    if (!IoBusy() && MemoFrame) MemoFrame->PasteFromTray();
}

void TmainFm::updateTrayCommands()
{
    // Until a frame exists its tray commands are shown disabled: the clipboard's text is
    // never silently dropped.
    Action_AddTask->setEnabled(TaskFrame);
    Action_PasteTask->setEnabled(TaskFrame);
    Action_AddMemo->setEnabled(MemoFrame);
    Action_PasteMemo->setEnabled(MemoFrame);
}

void TmainFm::reloadFrames()
{
    postToFrame(TaskFrame, WM_FRAME_INIT);
    postToFrame(MemoFrame, WM_FRAME_INIT);
}

void TmainFm::ShowSyncCommands(bool on)
{
    // In the tray menu only while sync is on: off, the menu is the one it always was.
    const bool shown = PopupMenu_Tray->actions().contains(SyncController->Action_SyncNow);
    if (on == shown) return;
    if (on) {
        m_syncSeparator = PopupMenu_Tray->insertSeparator(Action_Exit);
        PopupMenu_Tray->insertAction(m_syncSeparator, SyncController->Action_SyncNow);
    } else {
        PopupMenu_Tray->removeAction(SyncController->Action_SyncNow);
        PopupMenu_Tray->removeAction(m_syncSeparator);
        delete m_syncSeparator;
        m_syncSeparator = nullptr;
    }
}

void TmainFm::ReloadTables(const QSet<QString>& tables)
{
    // Rows changed under the frame's undo steps: they would put back what is no longer there.
    const auto reload = [&](TZvFrame* frame, const char* table) {
        if (!frame || !tables.contains(QLatin1String(table))) return;
        frame->ItemsChangedElsewhere();
        postToFrame(frame, WM_FRAME_INIT);
    };
    reload(TaskFrame, "tasks");
    reload(MemoFrame, "memos");
}

void TmainFm::onDbBackup()
{
    if (IoDm && !IoBusy()) IoDm->BackupDatabase();
}

void TmainFm::onDbRestore()
{
    if (IoDm && !IoBusy()) afterBulkChange(IoDm->RestoreDatabase());
}

void TmainFm::onImport()
{
    if (IoDm && !IoBusy()) afterBulkChange(IoDm->ImportDatabase());
}

void TmainFm::onImportICalendar()
{
    if (IoDm && !IoBusy()) afterBulkChange(IoDm->ImportICalendar());
}

void TmainFm::onUndoRestore()
{
    if (!IoDm || IoBusy()) return;
    if (IoDm->UndoLastRestoreImport()) {
        for (TZvFrame* frame : {TaskFrame.data(), MemoFrame.data()})
            if (frame) frame->ItemsChangedElsewhere();
        reloadFrames();
    }
    updateUndoRestore();
}

void TmainFm::afterBulkChange(bool reload)
{
    // A failed run may have stored part of its rows too: once its copy was taken, anything
    // may have changed.
    if (IoDm->SnapshotTaken())
        for (TZvFrame* frame : {TaskFrame.data(), MemoFrame.data()})
            if (frame) frame->ItemsChangedElsewhere();
    if (reload) reloadFrames();
    updateUndoRestore();
}

void TmainFm::updateUndoRestore()
{
    Action_UndoRestore->setEnabled(IoDm && IoDm->CanUndoRestoreImport());
}

void TmainFm::customEvent(QEvent* event)
{
    if (int(event->type()) == WM_UPDATE_PROMPT) Guarded([] { TcommonDm::ShowUpdatePrompt(); });
    QMainWindow::customEvent(event);
}

void TmainFm::closeEvent(QCloseEvent* event)
{
    // Only our own Exit gets here with the tray component's consent; without a tray
    // host a close request ends the program the way Exit does, so nothing is stranded.
    if (!m_exitDone) {
        event->ignore();
        Guarded([this] { ExitProgram(); });
        return;
    }
    QMainWindow::closeEvent(event);
}

void TmainFm::ExitProgram()
{
    if (m_exitDone) return;
    if (IoBusy()) {
        // A backup, restore or import is running: it stops as if cancelled (the rows
        // posted so far stay stored), then Exit runs.
        TIoBusyNotifier::requestCancel();
        // A question or file dialog of the operation is answered for the user.
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        QTimer::singleShot(100, this, [this] { Guarded([this] { ExitProgram(); }); });
        return;
    }
    Exiting = true;
    // A sync stops where it is: every slice it applied is stored, the rest comes next time.
    SyncController->Stop();
    ZvFormState1->SaveState();
    if (MemoFrame) MemoFrame->FinishEditing();
    if (TaskFrame) TaskFrame->FinishEditing();
    delete MemoFrame.data();
    delete TaskFrame.data();
    ADOConnection1.checkpoint();
    m_exitDone = true;
    ZvTrayIcon1->setAllowClose(true);
    close();
    QCoreApplication::exit(0);
}

void TmainFm::BringForwardFromSecondStart(const QString& activationToken)
{
    // A window hidden in the tray stays hidden; a shown one comes to the front, and a
    // minimised one back from the task bar as it was (a maximised window stays maximised).
    if (!isVisible()) {
        // Wayland: the tray may be out of sight, and nothing else would show that the start
        // was seen.
        if (OnWayland()) announceIfNotForward();
        return;
    }
    BringToFront(this, activationToken);
    if (OnWayland()) {
        // The compositor may refuse the activation (no token, or a stale one); it says
        // nothing about it, so look a moment later.
        QTimer::singleShot(kActivationCheckMs, this, [this] { Guarded([this] { announceIfNotForward(); }); });
    }
}

void TmainFm::announceIfNotForward()
{
    if (isVisible() && isActiveWindow()) return;
    TZvNotifications::instance().announce(mtr("Zorvik Jotboard is already running"),
                                          isVisible() ? QString()
                                                      : mtr("Its window is in the notification area."));
}

void TmainFm::HandleInstanceRequest(const InstanceRequest& request, TZvInstanceReply reply)
{
    const QString& command = request.command;
    if (command == QLatin1String("activate")) {
        BringForwardFromSecondStart(request.activationToken);
        reply.succeed();
    } else if (command == QLatin1String("show")) {
        SetActivationToken(request.activationToken);
        ZvTrayIcon1->Restore();
        if (OnWayland())
            QTimer::singleShot(kActivationCheckMs, this,
                               [this] { Guarded([this] { announceIfNotForward(); }); });
        reply.succeed();
    } else if (command == QLatin1String("new-task") || command == QLatin1String("new-memo")) {
        QAction* add = command == QLatin1String("new-task") ? Action_AddTask : Action_AddMemo;
        if (IoBusy()) return reply.fail(mtr("Zorvik Jotboard is busy with a backup, restore or import"));
        if (!add->isEnabled()) return reply.fail(mtr("Zorvik Jotboard cannot add items now"));
        SetActivationToken(request.activationToken);
        add->trigger();
        reply.succeed();
    } else if (command == QLatin1String("add-task") || command == QLatin1String("add-memo")) {
        const QString text = CrLfLines(request.text);
        if (!request.hasText || TrimBoth(text).isEmpty()) return reply.fail(mtr("the text is empty"));
        addFromOutside(command == QLatin1String("add-task"), text, reply, 0);
    } else if (command == QLatin1String("sync")) {
        SyncController->SyncNow(reply);
    } else if (command == QLatin1String("state")) {
        // What the window shows, for scripts that cannot look at it (Wayland has no xdotool).
        const QJsonObject state{
            {QStringLiteral("platform"), QGuiApplication::platformName()},
            {QStringLiteral("window"), !isVisible()    ? QStringLiteral("hidden")
                                       : isMinimized() ? QStringLiteral("minimized")
                                                       : QStringLiteral("shown")},
            {QStringLiteral("active"), isVisible() && isActiveWindow()},
            {QStringLiteral("tray"), ZvTrayIcon1->trayAvailable()},
            {QStringLiteral("stayOnTop"), commonDm && commonDm->Action_UiStayOnTop->isEnabled()},
            {QStringLiteral("width"), normalGeometry().width()},
            {QStringLiteral("height"), normalGeometry().height()}};
        reply.succeed(QString(), QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact)));
    } else {
        reply.fail(mtr("unknown command '%1'").arg(command));
    }
}

void TmainFm::addFromOutside(bool task, const QString& text, TZvInstanceReply reply, int waitedMs)
{
    TZvFrame* frame = task ? TaskFrame.data() : MemoFrame.data();
    // Not before the frame has loaded (its load would show the row twice), and not while a
    // backup, restore or import works on the database: the item waits for them a while.
    if (!frame || !frame->Loaded() || IoBusy()) {
        if (waitedMs >= kHandOffWaitMs) {
            reply.fail(IoBusy() ? mtr("Zorvik Jotboard is busy with a backup, restore or import")
                                : mtr("Zorvik Jotboard cannot add items now"));
            return;
        }
        QTimer::singleShot(100, this, [this, task, text, reply, waitedMs]() mutable {
            Guarded([&] { addFromOutside(task, text, reply, waitedMs + 100); });
            if (!reply.answered()) reply.fail(mtr("the request failed"));
        });
        return;
    }
    try {
        // Stored at once, shown in the tree, the tray hint refreshed; the window stays as it is
        // and an edit under way goes on.
        reply.succeed(frame->AddTextFromOutside(text));
    } catch (const EZvError& e) {
        // Told to the process that asked, which says it on its standard error.
        reply.fail(e.message());
    }
}

} // namespace zv
