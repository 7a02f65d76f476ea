#include "tasks/Fr_zvTasks.h"

#include "components/ZvStatusBar.h"
#include "components/ZvTray.h"
#include "frames/ZvFrameKinds.h"
#include "frames/ZvMessages.h"
#include "interchange/ZvExchange.h"
#include "platform/ZvColors.h"
#include "platform/ZvNotify.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "platform/ZvWindowFront.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Dlg_DueSet.h"
#include "tasks/Dlg_ReminderSet.h"
#include "tasks/Dlg_taskReminder.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace zv {

namespace {

TtaskReminderDlg* g_reminderOnScreen = nullptr;

bool dueDayPassed(const TTaskInfo& r)
{
    return r.dueFlag && CalendarDay(r.dueTime) < CalendarDay(Now());
}

} // namespace

TZvFrame* CreateTasksFrame(TZvFrameHost* host, QWidget* tab)
{
    return new TzvTasksFrame(host, tab);
}

TtaskReminderDlg* TzvTasksFrame::ReminderOnScreen()
{
    return g_reminderOnScreen;
}

TzvTasksFrame::TzvTasksFrame(TZvFrameHost* host, QWidget* parent)
    : TZvRecordFrame<TTaskInfo>(host, FrameTraits(TZvFrameKind::Tasks), parent)
{
    createActions();
    createMenus();

    Comb_ViewRange = new QComboBox(this);
    Comb_ViewRange->setFixedWidth(121);
    Comb_ViewRange->setToolTip(tr("View Range"));
    Comb_ViewRange->addItems({tr("View All Tasks"), tr("View Complete"), tr("View Incomplete")});
    connect(Comb_ViewRange, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { Comb_ViewRangeChange(); }); });

    ToolBar_Top->addAction(Action_ViewDate);
    BuildLayout(Comb_ViewRange);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });

    wireTaskTree();
    ResetSearchBox();
    UpdateActions();
}

TzvTasksFrame::~TzvTasksFrame()
{
    Timer1->stop();
}

void TzvTasksFrame::createActions()
{
    std::tie(Action_TaskAdd, Action_SubTaskAdd, Action_TaskEdit, Action_TaskDelete, Action_MoveTo,
             Action_CopyTask, Action_PasteTask) = OwnNamedCommands();
    const auto run = [this](void (TzvTasksFrame::*handler)()) {
        return [this, handler] { (this->*handler)(); };
    };
    Action_TaskReminderSet =
        MakeAction(tr("&Set Reminder..."), {}, -1, run(&TzvTasksFrame::Action_TaskReminderSetExecute));
    Action_TaskDueSet =
        MakeAction(tr("Set D&ue Date..."), {}, -1, run(&TzvTasksFrame::Action_TaskDueSetExecute));
    Action_TaskComplete =
        MakeAction(tr("&Mark Complete"), {}, -1, run(&TzvTasksFrame::Action_TaskCompleteExecute));
    Action_ViewDate = MakeAction(tr("View &Date"), tr("View Date "), 8,
                                 run(&TzvTasksFrame::Action_ViewDateExecute), Guard::None);
    Action_ViewDate->setCheckable(true);
    Action_SetColor = MakeAction(tr("Set C&olor..."), {}, -1, run(&TzvTasksFrame::Action_SetColorExecute));

    m_rangeGroup = new QActionGroup(this);
    m_rangeGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    auto radio = [this](const char* caption, int index) {
        auto* a = new QAction(tr(caption), this);
        a->setCheckable(true);
        m_rangeGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, a, index] {
            Guarded([this, a, index] {
                if (a->isChecked()) selectRange(index);
            });
        });
        return a;
    };
    Menu_ViewAll = radio("&All Tasks", 0);
    Menu_Complete = radio("&Complete Tasks", 1);
    Menu_Incomplete = radio("&Incomplete Tasks", 2);
}

void TzvTasksFrame::createMenus()
{
    Menu_Moveto = new QMenu(tr("&Move To"), this);
    MainMoveTo = new QMenu(tr("&Move to"), this);
    MainMoveTo->setToolTip(tr("Move tasks to other group"));

    PopupMenu_Task = new QMenu(this);
    for (QAction* a : {Action_TaskAdd, Action_SubTaskAdd})
        PopupMenu_Task->addAction(a);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addAction(Action_Email);
    PopupMenu_Task->addAction(Action_Save);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addAction(Action_TaskEdit);
    PopupMenu_Task->addAction(Action_TaskDelete);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addAction(Action_CopyTask);
    PopupMenu_Task->addAction(Action_PasteTask);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addAction(Action_TaskComplete);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addAction(Action_TaskDueSet);
    PopupMenu_Task->addAction(Action_TaskReminderSet);
    PopupMenu_Task->addAction(Action_SetColor);
    PopupMenu_Task->addSeparator();
    PopupMenu_Task->addMenu(Menu_Moveto);

    PopupMenu_Null = new QMenu(this);
    PopupMenu_Null->addAction(Action_TaskAdd);
    PopupMenu_Null->addAction(Action_SubTaskAdd);
    PopupMenu_Null->addSeparator();
    PopupMenu_Null->addAction(Action_PasteTask);
    SetPopupMenus(PopupMenu_Task, PopupMenu_Null);

    auto* view = new QMenu(tr("&View"), this);
    view->addAction(Action_ViewList);
    view->addAction(Action_ViewDate);
    view->addSeparator();
    view->addAction(Menu_ViewAll);
    view->addAction(Menu_Complete);
    view->addAction(Menu_Incomplete);
    view->addSeparator();
    view->addAction(Action_ExpandAll);
    view->addAction(Action_CollapseAll);

    auto* tasks = new QMenu(tr("&Tasks"), this);
    tasks->addAction(Action_TaskAdd);
    tasks->addAction(Action_SubTaskAdd);
    tasks->addSeparator();
    tasks->addAction(Action_Email);
    tasks->addAction(Action_Save);
    tasks->addSeparator();
    tasks->addAction(Action_TaskEdit);
    tasks->addAction(Action_TaskDelete);
    tasks->addSeparator();
    tasks->addAction(Action_TaskComplete);
    tasks->addSeparator();
    tasks->addAction(Action_TaskDueSet);
    tasks->addAction(Action_TaskReminderSet);
    tasks->addAction(Action_SetColor);
    tasks->addSeparator();
    tasks->addMenu(MainMoveTo);

    SetMainMenus({FileMenu(Action_Export, Action_SaveAll, Action_Print),
                  EditMenu(Action_CopyTask, Action_PasteTask, Action_SelectAll, Action_Deselect), view, tasks,
                  HelpMenu()});

    SetActionSets(
        {Action_TaskAdd,         Action_SubTaskAdd,  Action_TaskEdit, Action_TaskDelete, Action_TaskComplete,
         Action_TaskReminderSet, Action_TaskDueSet,  Action_ViewAsc,  Action_ViewDate,   Action_ViewList,
         Action_ExpandAll,       Action_CollapseAll, Action_SaveAll,  Action_Save,       Action_Email,
         Action_Print,           Action_SetColor,    Action_MoveTo,   Action_CopyTask,   Action_PasteTask,
         Action_SelectAll,       Action_Deselect},
        {Action_TaskAdd, Action_SubTaskAdd, Action_ViewAsc, Action_ViewDate, Action_ViewList,
         Action_ExpandAll, Action_CollapseAll, Action_SaveAll, Action_Save, Action_Email, Action_Print,
         Action_CopyTask, Action_PasteTask, Action_SelectAll, Action_Deselect},
        {Action_SetColor, Action_TaskEdit, Action_TaskDelete, Action_TaskReminderSet, Action_TaskDueSet,
         Action_TaskComplete, Action_MoveTo},
        {Menu_Moveto, MainMoveTo});
}

void TzvTasksFrame::wireTaskTree()
{
    tree()->events.Checked = [this](TZvNode* n) { VtTasksChecked(n); };
}

int TzvTasksFrame::SearchBoxWidth() const
{
    return ToolBar_Bottom->width() - Comb_ViewRange->width() - Btn_Search->sizeHint().width() - 10 - 16;
}

// ---- display ------------------------------------------------------------------------------

QString TzvTasksFrame::DisplayText(TZvNode* node) const
{
    const TTaskInfo& r = *Info(node);
    if (!Action_ViewDate->isChecked() || node == editNode) return r.content;
    if (r.checkFlag)
        return r.content + QStringLiteral(" -- ") + tr("Created: ") + DateText(r.createTime) +
               tr("  Completed: ") + DateText(r.checkTime);
    QString text = r.content + QStringLiteral(" -- ") + tr("Created: ") + DateText(r.createTime);
    if (r.dueFlag) text += tr("  Due: ") + DateText(r.dueTime);
    if (r.alarmFlag) text += tr("  Alarm: ") + DateTimeText(r.alarmTime);
    return text;
}

void TzvTasksFrame::PaintNodeText(TZvNode* node, QFont& font, QColor& color) const
{
    const TTaskInfo& r = *Info(node);
    if (!r.checkFlag && dueDayPassed(r)) font.setBold(true);
    if (node == editNode) return;
    if (r.checkFlag) {
        font.setItalic(true);
        if (tree()->isSelected(node)) return; // the selection colours apply
        color = ZvSystemColor(int(0xFF000011));
    } else if (r.content.isEmpty()) {
        color = ZvSystemColor(int(0xFF000011));
        font.setItalic(true);
    } else if (r.textColor != 0) {
        color = ZvSystemColor(r.textColor);
    }
}

int TzvTasksFrame::NodeImage(TZvNode* node) const
{
    TTaskInfo& r = *Info(node);
    r.imageIndex = -1;
    if (!r.checkFlag) {
        if (r.alarmFlag)
            r.imageIndex = 22;
        else if (r.dueFlag)
            r.imageIndex = dueDayPassed(r) ? 23 : 24;
    }
    return r.imageIndex;
}

QString TzvTasksFrame::StatusText(const TTaskInfo& r) const
{
    if (r.checkFlag) return DateTimeText(r.checkTime) + tr(" completed");
    QString text;
    if (r.dueFlag) text = tr("Due date") + QStringLiteral(": ") + DateText(r.dueTime);
    if (!text.isEmpty()) text += QStringLiteral("  ");
    if (r.alarmFlag) text += tr("Reminder time") + QStringLiteral(": ") + DateTimeText(r.alarmTime);
    if (text.isEmpty()) text = DateTimeText(r.createTime) + tr(" created");
    return text;
}

void TzvTasksFrame::UpdateTrayHint()
{
    QString hint = tr("Incomplete Tasks:");
    // Only the first four are listed: no more are read.
    int number = 0;
    for (const QString& content : FirstIncompleteTasks(*ADOQuery1, 4)) {
        QString text = SingleLine(content);
        if (text.size() > host()->hintSize())
            text = text.left(std::max(0, host()->hintSize())) + QStringLiteral("...");
        hint += QStringLiteral("\r(%1) ").arg(++number) + text;
        if (number == 4) {
            hint += QStringLiteral("\r ...");
            break;
        }
    }
    if (number == 0) hint += QStringLiteral("\r") + tr("None");
    if (TZvTrayIcon* tray = host()->trayIcon()) tray->setHint(hint);
}

// ---- initialising and loading -------------------------------------------------------------

void TzvTasksFrame::ReadViewSettings(TIniFile& ini)
{
    Action_ViewDate->setChecked(ini.ReadBool(traits().iniSection, QStringLiteral("viewDateEn"), false));
    const int range = ini.ReadInteger(traits().iniSection, QStringLiteral("viewRange"), 0);
    Comb_ViewRange->setCurrentIndex(range >= 0 && range < Comb_ViewRange->count() ? range : -1);
}

void TzvTasksFrame::InitDone()
{
    UpdateTrayHint();
    Timer1->start();
}

void TzvTasksFrame::NodeCreated(TZvNode* node)
{
    tree()->setCheckBox(node, true);
    tree()->setChecked(node, Info(node)->checkFlag);
}

void TzvTasksFrame::BeforeAdd()
{
    if (Comb_ViewRange->currentIndex() == 1) selectRange(0); // the new, incomplete task must be seen
}

void TzvTasksFrame::TextStored()
{
    FilterTasks();
    UpdateActions();
}

void TzvTasksFrame::UpdateFrameActions(bool idle, TZvNode* first)
{
    const int range = Comb_ViewRange->currentIndex();
    QAction* radios[] = {Menu_ViewAll, Menu_Complete, Menu_Incomplete};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setChecked(i == range);
        radios[i]->setEnabled(idle);
    }
    Comb_ViewRange->setEnabled(idle);
    if (first)
        Action_TaskComplete->setText(Info(first)->checkFlag ? tr("Unmark Complete") : tr("Mark Complete"));
}

// ---- filter -------------------------------------------------------------------------------

bool TzvTasksFrame::Passes(TZvNode* node, bool searching) const
{
    const int range = Comb_ViewRange->currentIndex();
    const bool done = Info(node)->checkFlag;
    if ((done && range == 2) || (!done && range == 1)) return false;
    return TZvRecordFrame::Passes(node, searching);
}

void TzvTasksFrame::Comb_ViewRangeChange()
{
    if (initialising) return;
    FilterTasks();
    UpdateActions();
    tree()->setFocus();
    TIniFile(host()->confFile())
        .WriteInteger(traits().iniSection, QStringLiteral("viewRange"), Comb_ViewRange->currentIndex());
}

void TzvTasksFrame::selectRange(int index)
{
    if (Comb_ViewRange->currentIndex() != index)
        Comb_ViewRange->setCurrentIndex(index); // runs the range change
    else
        Comb_ViewRangeChange();
}

void TzvTasksFrame::Action_ViewDateExecute()
{
    if (initialising) return;
    tree()->invalidateAll();
    TIniFile(host()->confFile())
        .WriteBool(traits().iniSection, QStringLiteral("viewDateEn"), Action_ViewDate->isChecked());
}

// ---- entry and editing ----------------------------------------------------------------------

// ---- completion, colours, due dates ------------------------------------------------------------

void TzvTasksFrame::VtTasksChecked(TZvNode* node)
{
    TTaskInfo& r = *Info(node);
    r.checkFlag = node->isChecked();
    r.checkTime = Now();
    if (!r.tid.isEmpty()) Rows::Write(*ADOQuery1, r, TTaskFields::Completion);
    FilterTasks();
    UpdateActions();
}

void TzvTasksFrame::Action_TaskCompleteExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    const bool target = !Info(selected.front())->checkFlag;
    for (TZvNode* n : selected)
        if (n->isChecked() != target) tree()->setChecked(n, target, true);
    UpdateActions();
}

void TzvTasksFrame::Action_SetColorExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TColorSetDlg dlg(host()->window());
    dlg.TextColor = Info(selected.front())->textColor;
    dlg.BackgroundColor = Info(selected.front())->backgroundColor;
    if (dlg.exec() != QDialog::Accepted) return;
    tree()->beginUpdate();
    const auto done = ScopeExit([t = tree()] { t->endUpdate(); });
    for (TZvNode* s : selected) {
        TTaskInfo& r = *Info(s);
        r.textColor = dlg.TextColor;
        r.backgroundColor = dlg.BackgroundColor;
        if (!r.tid.isEmpty()) Rows::Write(*ADOQuery1, r, TTaskFields::Colors);
        tree()->invalidateNode(s);
    }
}

void TzvTasksFrame::Action_TaskDueSetExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TDueSetDlg dlg(host()->window());
    dlg.dueFlag = Info(selected.front())->dueFlag;
    dlg.dueTime = Info(selected.front())->dueTime;
    if (dlg.exec() != QDialog::Accepted) return;
    storeOnEach(selected, &TTaskInfo::dueFlag, &TTaskInfo::dueTime, dlg.dueFlag, dlg.dueTime,
                TTaskFields::Due);
}

void TzvTasksFrame::storeOnEach(const std::vector<TZvNode*>& nodes, bool TTaskInfo::*flag,
                                TDateTime TTaskInfo::*time, bool flagValue, TDateTime timeValue,
                                TTaskFields fields)
{
    // Every task gets the same value, row by row, and is unselected once stored.
    for (TZvNode* s : nodes) {
        TTaskInfo& r = *Info(s);
        r.*flag = flagValue;
        r.*time = timeValue;
        Rows::Write(*ADOQuery1, r, fields);
        tree()->invalidateNode(s);
        tree()->setSelected(s, false);
    }
}

// ---- reminders ------------------------------------------------------------------------------

void TzvTasksFrame::Action_TaskReminderSetExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TReminderSetDlg dlg(host()->window());
    dlg.alarmFlag = Info(selected.front())->alarmFlag;
    dlg.alarmTime = Info(selected.front())->alarmTime;
    if (dlg.exec() != QDialog::Accepted) return;
    storeOnEach(selected, &TTaskInfo::alarmFlag, &TTaskInfo::alarmTime, dlg.alarmFlag, dlg.alarmTime,
                TTaskFields::Alarm);
}

void TzvTasksFrame::Timer1Timer()
{
    if (g_reminderOnScreen || Busy()) return;
    const TDateTime now = Now();
    TZvTree* t = tree();
    TZvNode* due = nullptr;
    // Due when not later than now; times less than a millisecond apart count as equal.
    // Visited in tree order, hidden tasks too.
    const auto isDue = [now](const TZvNode* n) {
        const TTaskInfo& r = *Info(n);
        return r.alarmFlag && !r.checkFlag && !r.tid.isEmpty() && MillisecondsBetween(now, r.alarmTime) <= 0;
    };
    for (TZvNode* top = t->firstTopLevel(); top && !due; top = t->nextSibling(top)) {
        if (isDue(top)) {
            due = top;
            break;
        }
        for (int i = 0, count = top->childCount(); i < count; ++i)
            if (isDue(top->child(i))) {
                due = top->child(i);
                break;
            }
    }
    if (!due) return;
    // The dialog runs a nested event loop in which the tree may be reloaded: keep the id,
    // not the node.
    const QString tid = Info(due)->tid;
    TtaskReminderDlg dlg(host()->alarmSound(), host()->window());
    dlg.text = Info(due)->content;
    g_reminderOnScreen = &dlg;
    // The desktop's notifications carry it too (another workspace, a full-screen window);
    // a click there brings the dialog to the front.
    TZvNotifications::instance().reminderShown(tid, dlg.text, [&dlg] { BringToFront(&dlg); });
    const auto clear = ScopeExit([tid] {
        g_reminderOnScreen = nullptr;
        TZvNotifications::instance().reminderClosed(tid);
    });
    // Exit or the session's end may free this frame inside the dialog's event loop: then
    // nothing of it may be touched afterwards (the row keeps its reminder for next time).
    const QPointer<TzvTasksFrame> alive(this);
    dlg.exec();
    if (!alive) return;
    const bool armed = !dlg.dismissed;
    const TDateTime next = dlg.nextAlarm;
    g_reminderOnScreen = nullptr;

    TZvNode* node = nullptr;
    for (TZvNode* n = t->firstNode(); n && !node; n = t->nextNode(n))
        if (Info(n)->tid == tid) node = n;
    if (node) {
        Info(node)->alarmFlag = armed;
        Info(node)->alarmTime = next;
    }
    TTaskInfo reminder;
    reminder.tid = tid;
    reminder.alarmFlag = armed;
    reminder.alarmTime = next;
    Rows::Write(*ADOQuery1, reminder, TTaskFields::Alarm);
    if (node) t->invalidateNode(node);
}

// ---- clipboard and exchange ------------------------------------------------------------------

void TzvTasksFrame::Action_ExportExecute()
{
    ExportSelection(host()->window(), SelectionRecords(), host()->appVersion());
}

} // namespace zv
