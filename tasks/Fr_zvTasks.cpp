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
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace zv {

namespace {

TtaskReminderDlg* g_reminderOnScreen = nullptr;

bool dueDayPassed(const TTaskInfo& r)
{
    return r.dueFlag && CalendarDay(r.dueTime) < CalendarDay(Now());
}

// The task frame's own commands, beside the ones both lists have (frames/ZvFrameKinds.cpp).
std::vector<TZvCommandDecl> taskCommands()
{
    using B = TZvBar;
    using F = TzvTasksFrame;
    // The groups of the Tasks menu and the task pop-up: 4 completion, 5 the settings.
    return {
        {.name = "Action_TaskComplete",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "&Mark Complete"),
         .run = Run(&F::Action_TaskCompleteExecute),
         .enabling = TZvEnabling::Selection,
         .places = {{B::ItemsMenu, 4, 0}, {B::NodePopup, 4, 0}}},
        {.name = "Action_TaskDueSet",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "Set D&ue Date..."),
         .run = Run(&F::Action_TaskDueSetExecute),
         .enabling = TZvEnabling::Selection,
         .places = {{B::ItemsMenu, 5, 0}, {B::NodePopup, 5, 0}}},
        {.name = "Action_TaskReminderSet",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "&Set Reminder..."),
         .run = Run(&F::Action_TaskReminderSetExecute),
         .enabling = TZvEnabling::Selection,
         .places = {{B::ItemsMenu, 5, 1}, {B::NodePopup, 5, 1}}},
        {.name = "Action_SetColor",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "Set C&olor..."),
         .run = Run(&F::Action_SetColorExecute),
         .enabling = TZvEnabling::Selection,
         .places = {{B::ItemsMenu, 5, 2}, {B::NodePopup, 5, 2}}},
        // The view stays usable during an edit (but disabled).
        {.name = "Action_ViewDate",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "View &Date"),
         .hint = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "View Date "),
         .image = TaskImage::ViewDate,
         .run = Run(&F::Action_ViewDateExecute),
         .guard = TZvGuard::None,
         .kind = TZvCommandKind::Checkable,
         .places = {{B::ToolBarTop, 2, 1}, {B::ViewMenu, 0, 1}}},
        {.name = "Menu_ViewAll",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "&All Tasks"),
         .run = Run(&F::Menu_ViewAllClick),
         .guard = TZvGuard::None,
         .kind = TZvCommandKind::Radio,
         .places = {{B::ViewMenu, 1, 0}}},
        {.name = "Menu_Complete",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "&Complete Tasks"),
         .run = Run(&F::Menu_CompleteClick),
         .guard = TZvGuard::None,
         .kind = TZvCommandKind::Radio,
         .places = {{B::ViewMenu, 1, 1}}},
        {.name = "Menu_Incomplete",
         .caption = QT_TRANSLATE_NOOP("zv::TzvTasksFrame", "&Incomplete Tasks"),
         .run = Run(&F::Menu_IncompleteClick),
         .guard = TZvGuard::None,
         .kind = TZvCommandKind::Radio,
         .places = {{B::ViewMenu, 1, 2}}},
    };
}

} // namespace

TZvFrame* CreateTasksFrame(TZvFrameHost* host, QWidget* tab)
{
    return new TzvTasksFrame(host, tab);
}

TzvTasksFrame::TzvTasksFrame(TZvFrameHost* host, QWidget* parent)
    : TZvRecordFrame<TTaskInfo>(host, FrameTraits(TZvFrameKind::Tasks), taskCommands(), parent),
      Comb_ViewRange(new QComboBox(this)), Timer1(new QTimer(this))
{
    Comb_ViewRange->setFixedWidth(121);
    Comb_ViewRange->setToolTip(tr("View Range"));
    Comb_ViewRange->addItems({tr("View All Tasks"), tr("View Complete"), tr("View Incomplete")});
    connect(Comb_ViewRange, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { Comb_ViewRangeChange(); }); });
    BuildLayout(Comb_ViewRange);

    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });

    tree()->events.Checked = [this](TZvNode* n) { VtTasksChecked(n); };
    Edt_Search->Reset();
    UpdateActions();
}

TzvTasksFrame::~TzvTasksFrame()
{
    Timer1->stop();
}

int TzvTasksFrame::SearchBoxWidth() const
{
    return ToolBar_Bottom->width() - Comb_ViewRange->width() - Btn_Search->sizeHint().width() - 10 - 16;
}

// ---- display ------------------------------------------------------------------------------

QString TzvTasksFrame::DisplayText(TZvNode* node) const
{
    const TTaskInfo& r = *Info(node);
    if (!Action_ViewDate->isChecked() || node == EditNode()) return r.content;
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
    if (node == EditNode()) return;
    if (r.checkFlag) {
        font.setItalic(true);
        if (tree()->isSelected(node)) return; // the selection colours apply
        color = ZvSystemColor(kZvColorGrayText);
    } else if (r.content.isEmpty()) {
        color = ZvSystemColor(kZvColorGrayText);
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
            r.imageIndex = TaskImage::Reminder;
        else if (r.dueFlag)
            r.imageIndex = dueDayPassed(r) ? TaskImage::DuePassed : TaskImage::DueSet;
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
    // The View menu's choice follows the range box (no choice for a range out of bounds).
    const int range = Comb_ViewRange->currentIndex();
    QAction* radios[] = {Menu_ViewAll, Menu_Complete, Menu_Incomplete};
    for (int i = 0; i < 3; ++i)
        radios[i]->setChecked(i == range);
    Comb_ViewRange->setEnabled(idle);
    if (first)
        Action_TaskComplete->setText(Info(first)->checkFlag ? tr("Unmark Complete") : tr("Mark Complete"));
}

// ---- filter -------------------------------------------------------------------------------

namespace {

// Complete Tasks shows the done ones, Incomplete Tasks the others.
bool InRange(const TTaskInfo& task, int range)
{
    return task.checkFlag == (range == 1);
}

} // namespace

bool TzvTasksFrame::Passes(TZvNode* node, bool searching) const
{
    // Under All Tasks the record is not read for the range.
    if (!PassesAll() && !InRange(*Info(node), Comb_ViewRange->currentIndex())) return false;
    return TZvRecordFrame::Passes(node, searching);
}

std::function<bool(const TZvNode*)> TzvTasksFrame::RangeRule() const
{
    if (PassesAll()) return {};
    return [range = Comb_ViewRange->currentIndex()](const TZvNode* n) { return InRange(*Info(n), range); };
}

bool TzvTasksFrame::PassesAll() const
{
    // Complete Tasks and Incomplete Tasks hide some; All Tasks, or no range, none.
    const int range = Comb_ViewRange->currentIndex();
    return range != 1 && range != 2;
}

void TzvTasksFrame::Comb_ViewRangeChange()
{
    if (Initialising()) return;
    FilterTasks();
    UpdateActions();
    tree()->setFocus();
    TIniFile(host()->confFile())
        .WriteInteger(traits().iniSection, QStringLiteral("viewRange"), Comb_ViewRange->currentIndex());
}

void TzvTasksFrame::RangeClicked(QAction* item, int index)
{
    if (item->isChecked()) selectRange(index);
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
    if (Initialising()) return;
    tree()->invalidateAll();
    TIniFile(host()->confFile())
        .WriteBool(traits().iniSection, QStringLiteral("viewDateEn"), Action_ViewDate->isChecked());
}

// ---- completion, colours, due dates ------------------------------------------------------------

void TzvTasksFrame::VtTasksChecked(TZvNode* node)
{
    TTaskInfo& r = *Info(node);
    RecordStep(StepName(node->isChecked() ? "Complete %1" : "Reopen %1", 1), {node}, false, [&] {
        r.checkFlag = node->isChecked();
        r.checkTime = Now();
        if (!r.tid.isEmpty()) Rows::Write(*ADOQuery1, r, TTaskFields::Completion);
        // One item's check state changes nothing but its own group's filter.
        if (!m_completingMany) FilterItem(node);
    });
    UpdateActions();
}

void TzvTasksFrame::Action_TaskCompleteExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    const bool target = !Info(selected.front())->checkFlag;
    const auto count =
        std::count_if(selected.begin(), selected.end(), [&](TZvNode* n) { return n->isChecked() != target; });
    // One step for all of them: each check event joins it.
    RecordStep(StepName(target ? "Complete %1" : "Reopen %1", int(count)), selected, false, [&] {
        m_completingMany = true;
        const auto done = ScopeExit([this] { m_completingMany = false; });
        for (TZvNode* n : selected)
            if (n->isChecked() != target) tree()->setChecked(n, target, true);
        FilterTasks();
    });
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
    RecordStep(StepName("Color %1", int(selected.size())), selected, false, [&] {
        tree()->beginUpdate();
        const auto done = ScopeExit([t = tree()] { t->endUpdate(); });
        for (TZvNode* s : selected) {
            TTaskInfo& r = *Info(s);
            r.textColor = dlg.TextColor;
            r.backgroundColor = dlg.BackgroundColor;
            if (!r.tid.isEmpty()) Rows::Write(*ADOQuery1, r, TTaskFields::Colors);
            tree()->invalidateNode(s);
        }
    });
}

void TzvTasksFrame::Action_TaskDueSetExecute()
{
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TDueSetDlg dlg(host()->window());
    dlg.dueFlag = Info(selected.front())->dueFlag;
    dlg.dueTime = Info(selected.front())->dueTime;
    if (dlg.exec() != QDialog::Accepted) return;
    storeOnEach(StepName("Due Date for %1", int(selected.size())), selected, &TTaskInfo::dueFlag,
                &TTaskInfo::dueTime, dlg.dueFlag, dlg.dueTime, TTaskFields::Due);
}

void TzvTasksFrame::storeOnEach(const QString& stepName, const std::vector<TZvNode*>& nodes,
                                bool TTaskInfo::*flag, TDateTime TTaskInfo::*time, bool flagValue,
                                TDateTime timeValue, TTaskFields fields)
{
    // Every task gets the same value, row by row, and is unselected once stored.
    RecordStep(stepName, nodes, false, [&] {
        for (TZvNode* s : nodes) {
            TTaskInfo& r = *Info(s);
            r.*flag = flagValue;
            r.*time = timeValue;
            Rows::Write(*ADOQuery1, r, fields);
            tree()->invalidateNode(s);
            tree()->setSelected(s, false);
        }
    });
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
    storeOnEach(StepName("Reminder for %1", int(selected.size())), selected, &TTaskInfo::alarmFlag,
                &TTaskInfo::alarmTime, dlg.alarmFlag, dlg.alarmTime, TTaskFields::Alarm);
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
    for (TZvNode* n = t->firstTopLevel(); n && !node; n = t->nextNode(n))
        if (Info(n)->tid == tid) node = n;
    // Snoozed or dismissed, the reminder is a change of the user's like any other.
    RecordStep(armed ? tr("Snooze Reminder") : tr("Dismiss Reminder"), {node}, false, [&] {
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
    });
}

// ---- clipboard and exchange ------------------------------------------------------------------

} // namespace zv
