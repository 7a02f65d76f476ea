#include "Fr_zvTasks.h"

#include "Dlg_ColorSet.h"
#include "Dlg_DueSet.h"
#include "Dlg_ReminderSet.h"
#include "Dlg_taskReminder.h"
#include "ZvColors.h"
#include "ZvExchange.h"
#include "ZvGuard.h"
#include "ZvIniFile.h"
#include "ZvMessages.h"
#include "ZvScopeExit.h"
#include "ZvStatusBar.h"
#include "ZvSystem.h"
#include "ZvTray.h"
#include "ZvTree.h"
#include "pU_Funcs.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace zv {

namespace {

QString ttr(const char* text)
{
    return QCoreApplication::translate("TzvTasksFrame", text);
}

const QString kSection = QStringLiteral("task");

TZvFrameTraits taskTraits()
{
    TZvFrameTraits t;
    t.table = QStringLiteral("tasks");
    t.idColumn = QStringLiteral("tid");
    t.iniSection = kSection;
    t.treeHint = ttr("Double click to add a Task!");
    t.tipTexts = {QString(), ttr("Click here to Add a new Item."),
                  ttr("Click here to finish Edit. Press Esc cancel."), ttr("Search no result")};
    t.tipIcons = {-1, 15, 16, 19};
    t.emptyTipKind = 1;
    t.editTipKind = 2;
    t.searchTipKind = 3;
    t.tipBeforeRemove = false;
    t.subNumberSuffix = QString();
    t.images16 = ImageList::Task16;
    t.images22 = ImageList::Task22;
    t.searchIdleImage = 20;
    t.searchActiveImage = 21;
    return t;
}

TtaskReminderDlg* g_reminderOnScreen = nullptr;

bool dueDayPassed(const TTaskInfo& r)
{
    return r.dueFlag && CalendarDay(r.dueTime) < CalendarDay(Now());
}

// The columns of one tasks row into a record (expandFlag only for a top-level row).
void readTask(TADOQuery& q, TTaskInfo& r, bool topLevel)
{
    r.tid = q.FieldByName(QStringLiteral("tid")).AsString();
    r.pid = q.FieldByName(QStringLiteral("pid")).AsString();
    r.content = q.FieldByName(QStringLiteral("content")).AsString();
    r.checkFlag = q.FieldByName(QStringLiteral("checkFlag")).AsBoolean();
    r.dueFlag = q.FieldByName(QStringLiteral("dueFlag")).AsBoolean();
    r.alarmFlag = q.FieldByName(QStringLiteral("alarmFlag")).AsBoolean();
    r.expandFlag = topLevel && q.FieldByName(QStringLiteral("expandFlag")).AsBoolean();
    r.textColor = q.FieldByName(QStringLiteral("textColor")).AsInteger();
    r.backgroundColor = q.FieldByName(QStringLiteral("backgroundColor")).AsInteger();
    r.createTime = q.FieldByName(QStringLiteral("createTime")).AsDateTime();
    r.editTime = q.FieldByName(QStringLiteral("editTime")).AsDateTime();
    r.checkTime = q.FieldByName(QStringLiteral("checkTime")).AsDateTime();
    r.alarmTime = q.FieldByName(QStringLiteral("alarmTime")).AsDateTime();
    r.dueTime = q.FieldByName(QStringLiteral("dueTime")).AsDateTime();
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

TTaskInfo* TzvTasksFrame::Info(const TZvNode* node)
{
    return node ? static_cast<TTaskInfo*>(node->data()) : nullptr;
}

TzvTasksFrame::TzvTasksFrame(TZvFrameHost* host, QWidget* parent) : TZvItemFrame(host, taskTraits(), parent)
{
    createActions();
    createMenus();

    Comb_ViewRange = new QComboBox(this);
    Comb_ViewRange->setFixedWidth(121);
    Comb_ViewRange->setToolTip(ttr("View Range"));
    Comb_ViewRange->addItems({ttr("View All Tasks"), ttr("View Complete"), ttr("View Incomplete")});
    connect(Comb_ViewRange, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { Comb_ViewRangeChange(); }); });

    for (QAction* a : {Action_TaskAdd, Action_SubTaskAdd, Action_TaskEdit, Action_TaskDelete})
        ToolBar_Top->addAction(a);
    ToolBar_Top->addSeparator();
    for (QAction* a : {Action_ViewAsc, Action_ExpandAll, Action_CollapseAll})
        ToolBar_Top->addAction(a);
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(Action_ViewList);
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
    Guarded([this] { FinishEditing(); });
}

void TzvTasksFrame::createActions()
{
    auto make = [this](const char* caption, const char* hint, int image, void (TzvTasksFrame::*handler)()) {
        auto* a = new QAction(ttr(caption), this);
        if (hint) a->setToolTip(ttr(hint));
        if (image >= 0) a->setIcon(ZvImage(ImageList::Task16, image));
        if (handler)
            connect(a, &QAction::triggered, this,
                    [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
        return a;
    };
    Action_TaskAdd = make("Add &Task        Enter", "Add Task", 15, &TzvTasksFrame::Action_TaskAddExecute);
    Action_SubTaskAdd =
        make("&Add Sub-Task  Ctrl+Enter", "Add Sub-Task", 3, &TzvTasksFrame::Action_SubTaskAddExecute);
    Action_TaskEdit =
        make("&Edit            F2", "Edit Task or Sub-Task", 4, &TzvTasksFrame::Action_TaskEditExecute);
    Action_TaskDelete =
        make("&Delete", "Delete Task or Sub-Task", 5, &TzvTasksFrame::Action_TaskDeleteExecute);
    Action_TaskReminderSet =
        make("&Set Reminder...", nullptr, -1, &TzvTasksFrame::Action_TaskReminderSetExecute);
    Action_TaskDueSet = make("Set D&ue Date...", nullptr, -1, &TzvTasksFrame::Action_TaskDueSetExecute);
    Action_TaskComplete = make("&Mark Complete", nullptr, -1, &TzvTasksFrame::Action_TaskCompleteExecute);
    Action_ViewAsc = make("Sort Direction", nullptr, 10, &TzvTasksFrame::Action_ViewAscExecute);
    Action_ViewList = make("View &List", "List View Tasks", 11, &TzvTasksFrame::Action_ViewListExecute);
    Action_ViewList->setCheckable(true);
    Action_ViewDate = make("View &Date", "View Date ", 8, &TzvTasksFrame::Action_ViewDateExecute);
    Action_ViewDate->setCheckable(true);
    Action_ExpandAll = make("&Expand All", "Expand all", 13, nullptr);
    connect(Action_ExpandAll, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (canRun()) ExpandAllExecute(true);
        });
    });
    Action_CollapseAll = make("&Collapse All", "Collapse all", 14, nullptr);
    connect(Action_CollapseAll, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (canRun()) ExpandAllExecute(false);
        });
    });
    Action_Print = make("&Print...", nullptr, 29, nullptr);
    Action_MoveTo = make("&Move to", nullptr, -1, nullptr); // carries no target of its own
    Action_CopyTask = make("&Copy             Ctrl+C", nullptr, -1, &TzvTasksFrame::Action_CopyTaskExecute);
    Action_PasteTask = make("&Paste            Ctrl+V", nullptr, -1, &TzvTasksFrame::Action_PasteTaskExecute);
    Action_SelectAll = make("&Select All       Ctrl+A", nullptr, -1, nullptr);
    connect(Action_SelectAll, &QAction::triggered, this, [this] { Guarded([this] { SelectAllExecute(); }); });
    Action_Deselect = make("&Deselect", nullptr, -1, nullptr);
    connect(Action_Deselect, &QAction::triggered, this, [this] { Guarded([this] { DeselectExecute(); }); });
    Action_SetColor = make("Set C&olor...", nullptr, -1, &TzvTasksFrame::Action_SetColorExecute);
    Action_Export = make("&Export...", nullptr, -1, &TzvTasksFrame::Action_ExportExecute);
    Action_Email = make("E-mai&l Task...", nullptr, -1, nullptr);
    Action_Save = make("Sa&ve Task...", nullptr, -1, nullptr);
    Action_SaveAll = make("&Save All...", nullptr, 28, nullptr);

    m_rangeGroup = new QActionGroup(this);
    m_rangeGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    auto radio = [this](const char* caption, int index) {
        auto* a = new QAction(ttr(caption), this);
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
    const TZvSharedActions shared = host()->sharedActions();
    auto add = [](QMenu* m, QAction* a) {
        if (a) m->addAction(a);
    };

    Menu_Moveto = new QMenu(ttr("&Move To"), this);
    MainMoveTo = new QMenu(ttr("&Move to"), this);
    MainMoveTo->setToolTip(ttr("Move tasks to other group"));

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

    auto* file = new QMenu(ttr("&File"), this);
    add(file, shared.Options);
    file->addSeparator();
    add(file, shared.DbBackup);
    add(file, shared.DbRestore);
    file->addSeparator();
    file->addAction(Action_Export);
    add(file, shared.Import);
    file->addSeparator();
    file->addAction(Action_SaveAll);
    file->addAction(Action_Print);
    file->addSeparator();
    add(file, shared.StayOnTop);
    file->addSeparator();
    add(file, shared.UiClose);

    auto* edit = new QMenu(ttr("&Edit"), this);
    edit->addAction(Action_CopyTask);
    edit->addAction(Action_PasteTask);
    edit->addSeparator();
    edit->addAction(Action_SelectAll);
    edit->addAction(Action_Deselect);

    auto* view = new QMenu(ttr("&View"), this);
    view->addAction(Action_ViewList);
    view->addAction(Action_ViewDate);
    view->addSeparator();
    view->addAction(Menu_ViewAll);
    view->addAction(Menu_Complete);
    view->addAction(Menu_Incomplete);
    view->addSeparator();
    view->addAction(Action_ExpandAll);
    view->addAction(Action_CollapseAll);

    auto* tasks = new QMenu(ttr("&Tasks"), this);
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

    auto* help = new QMenu(ttr("&Help"), this);
    for (QAction* a : shared.Help) {
        if (a)
            help->addAction(a);
        else
            help->addSeparator();
    }
    SetMainMenus({file, edit, view, tasks, help});
}

void TzvTasksFrame::wireTaskTree()
{
    TZvTreeEvents& e = tree()->events;
    e.GetText = [this](TZvNode* n) { return NodeText(n); };
    e.PaintText = [this](TZvNode* n, QFont& font, QColor& color) { paintText(n, font, color); };
    e.BeforeCellPaint = [this](TZvNode* n, QPainter* p, const QRect& r) {
        PaintBackground(n, p, r, Info(n)->backgroundColor);
    };
    e.GetImageIndex = [this](TZvNode* n) { return imageIndex(n); };
    e.ImageProvider = [](int index) { return ZvImage(ImageList::Task16, index); };
    e.Checked = [this](TZvNode* n) { VtTasksChecked(n); };
    e.GetPopupMenu = [this](TZvNode* n, const QPoint& pos) {
        QMenu* menu = n ? PopupMenu_Task : PopupMenu_Null;
        menu->popup(pos);
    };
}

TZvItemRef TzvTasksFrame::Item(TZvNode* node) const
{
    TTaskInfo* r = Info(node);
    return {&r->tid, &r->pid, &r->content, &r->expandFlag};
}

bool TzvTasksFrame::canRun() const
{
    return !editNode && !Busy();
}

bool TzvTasksFrame::ListViewOn() const
{
    return Action_ViewList->isChecked();
}

int TzvTasksFrame::SearchBoxWidth() const
{
    return ToolBar_Bottom->width() - Comb_ViewRange->width() - Btn_Search->sizeHint().width() - 10 - 16;
}

// ---- display ------------------------------------------------------------------------------

QString TzvTasksFrame::NodeText(TZvNode* node) const
{
    const TTaskInfo& r = *Info(node);
    if (r.content.isEmpty() && node != editNode) return ttr("Input content here");
    QString text;
    if (!Action_ViewDate->isChecked() || node == editNode) {
        text = r.content;
    } else if (r.checkFlag) {
        text = r.content + QStringLiteral(" -- ") + ttr("Created: ") + DateText(r.createTime) +
               ttr("  Completed: ") + DateText(r.checkTime);
    } else {
        text = r.content + QStringLiteral(" -- ") + ttr("Created: ") + DateText(r.createTime);
        if (r.dueFlag) text += ttr("  Due: ") + DateText(r.dueTime);
        if (r.alarmFlag) text += ttr("  Alarm: ") + DateTimeText(r.alarmTime);
    }
    if (ListViewOn() && node != editNode) return ListViewText(node, text);
    return text;
}

void TzvTasksFrame::paintText(TZvNode* node, QFont& font, QColor& color) const
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

int TzvTasksFrame::imageIndex(TZvNode* node) const
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
    if (r.checkFlag) return DateTimeText(r.checkTime) + ttr(" completed");
    QString text;
    if (r.dueFlag) text = ttr("Due date") + QStringLiteral(": ") + DateText(r.dueTime);
    if (!text.isEmpty()) text += QStringLiteral("  ");
    if (r.alarmFlag) text += ttr("Reminder time") + QStringLiteral(": ") + DateTimeText(r.alarmTime);
    if (text.isEmpty()) text = DateTimeText(r.createTime) + ttr(" created");
    return text;
}

void TzvTasksFrame::OnSelectionChange(TZvNode* node)
{
    if (!node) {
        ShowRandomStatusTip();
        return;
    }
    StatusImage->hide();
    ZvStatusBar1->setPanelText(1, StatusText(*Info(node)));
}

void TzvTasksFrame::UpdateTrayHint()
{
    QString hint = ttr("Incomplete Tasks:");
    // Only the first four rows are listed: read no more than that.
    ADOQuery1->setMaxRecords(4);
    try {
        // A NULL flag loads as incomplete, and "checkFlag=False" alone would not match it.
        OpenQuery(*ADOQuery1,
                  QStringLiteral("select content from tasks where (checkFlag=False or checkFlag is null) "
                                 "order by content ASC"));
    } catch (...) {
        ADOQuery1->setMaxRecords(0);
        throw;
    }
    ADOQuery1->setMaxRecords(0);
    int number = 0;
    for (ADOQuery1->First(); !ADOQuery1->Eof(); ADOQuery1->Next()) {
        QString text = SingleLine(ADOQuery1->FieldByName(QStringLiteral("content")).AsString());
        if (text.size() > host()->hintSize())
            text = text.left(std::max(0, host()->hintSize())) + QStringLiteral("...");
        hint += QStringLiteral("\r(%1) ").arg(++number) + text;
        if (number == 4) {
            hint += QStringLiteral("\r ...");
            break;
        }
    }
    ADOQuery1->Close();
    if (number == 0) hint += QStringLiteral("\r") + ttr("None");
    if (TZvTrayIcon* tray = host()->trayIcon()) tray->setHint(hint);
}

// ---- initialising and loading -------------------------------------------------------------

void TzvTasksFrame::InitFrame()
{
    initialising = true;
    focusedOnce = false;
    tree()->clear();
    tipKind = 0;
    {
        TIniFile ini(host()->confFile());
        Action_ViewList->setChecked(ini.ReadBool(kSection, QStringLiteral("viewListEn"), false));
        Action_ViewDate->setChecked(ini.ReadBool(kSection, QStringLiteral("viewDateEn"), false));
        const int range = ini.ReadInteger(kSection, QStringLiteral("viewRange"), 0);
        Comb_ViewRange->setCurrentIndex(range >= 0 && range < Comb_ViewRange->count() ? range : -1);
        sortAscending = ini.ReadBool(kSection, QStringLiteral("viewAscEn"), true);
        ShowSortDirection(Action_ViewAsc, 10, 9);
        const int n = CountTasks();
        host()->setTaskCounts(n, 0);
        ini.WriteInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), n);
        ini.WriteInteger(QStringLiteral("log"), QStringLiteral("publicTasks"), 0);
    }
    initialising = false;
    LoadTasks();
    FilterTasks();
    UpdateActions();
    ResetSearchBox();
    UpdateTrayHint();
    tree()->setEmptySpaceHint(ttr("Double click to add a Task!"));
    ShowRandomStatusTip();
    Timer1->start();
}

int TzvTasksFrame::CountTasks()
{
    OpenQuery(*ADOQuery1, QStringLiteral("select count(*) as cnt from tasks"));
    ADOQuery1->First();
    const int n = ADOQuery1->FieldByName(QStringLiteral("cnt")).AsInteger();
    ADOQuery1->Close();
    return n;
}

void TzvTasksFrame::LoadTasks()
{
    TZvTree* t = tree();
    t->beginUpdate();
    m_loading = true;
    const auto done = ScopeExit([this] {
        m_loading = false;
        tree()->endUpdate();
    });
    // One read transaction for the thousands of statements of a load. It is ended before
    // the tree's update, and rolled back when the reading fails (a damaged file): nothing
    // the failed load did is written.
    TZvTransaction read(host()->connection(), TZvTransaction::Mode::Read);
    OpenQuery(*ADOQuery1, QStringLiteral("select * from tasks where pid=") + QuoteId(kRootId));
    for (ADOQuery1->First(); !ADOQuery1->Eof(); ADOQuery1->Next()) {
        auto record = std::make_unique<TTaskInfo>();
        readTask(*ADOQuery1, *record, true);
        TTaskInfo* r = record.get();
        TZvNode* node = AppendNewNode(nullptr, std::move(record));
        t->setCheckBox(node, true);
        t->setChecked(node, r->checkFlag);
        OpenQuery(*ADOQuery2, QStringLiteral("select * from tasks where pid=") + QuoteId(r->tid));
        for (ADOQuery2->First(); !ADOQuery2->Eof(); ADOQuery2->Next()) {
            auto child = std::make_unique<TTaskInfo>();
            readTask(*ADOQuery2, *child, false);
            const bool checked = child->checkFlag;
            TZvNode* c = AppendNewNode(node, std::move(child));
            t->setCheckBox(c, true);
            t->setChecked(c, checked);
        }
        t->setExpanded(node, r->expandFlag);
    }
    ADOQuery1->Close();
    ADOQuery2->Close();
    read.commit();
}

void TzvTasksFrame::UpdateActions()
{
    for (QAction* a :
         {Action_TaskAdd,         Action_SubTaskAdd,  Action_TaskEdit, Action_TaskDelete, Action_TaskComplete,
          Action_TaskReminderSet, Action_TaskDueSet,  Action_ViewAsc,  Action_ViewDate,   Action_ViewList,
          Action_ExpandAll,       Action_CollapseAll, Action_SaveAll,  Action_Save,       Action_Email,
          Action_Print,           Action_SetColor,    Action_MoveTo,   Action_CopyTask,   Action_PasteTask,
          Action_SelectAll,       Action_Deselect})
        a->setEnabled(false);
    Comb_ViewRange->setEnabled(false);
    RebuildMoveMenus({Menu_Moveto, MainMoveTo});

    const int range = Comb_ViewRange->currentIndex();
    QAction* radios[] = {Menu_ViewAll, Menu_Complete, Menu_Incomplete};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setChecked(i == range);
        radios[i]->setEnabled(false);
    }
    if (editNode) return;

    // Reports, e-mail and printing come with their own units; until then they stay off.
    for (QAction* a : {Action_TaskAdd, Action_SubTaskAdd, Action_ViewAsc, Action_ViewDate, Action_ViewList,
                       Action_ExpandAll, Action_CollapseAll, Action_CopyTask, Action_PasteTask,
                       Action_SelectAll, Action_Deselect})
        a->setEnabled(true);
    for (QAction* a : radios)
        a->setEnabled(true);
    Comb_ViewRange->setEnabled(true);

    if (TZvNode* first = tree()->firstSelected()) {
        for (QAction* a : {Action_SetColor, Action_TaskEdit, Action_TaskDelete, Action_TaskReminderSet,
                           Action_TaskDueSet, Action_TaskComplete, Action_MoveTo})
            a->setEnabled(true);
        Action_TaskComplete->setText(Info(first)->checkFlag ? ttr("Unmark Complete") : ttr("Mark Complete"));
    }
}

// ---- filter -------------------------------------------------------------------------------

void TzvTasksFrame::FilterTasks()
{
    hotNode = nullptr;
    TZvTree* t = tree();
    const int range = Comb_ViewRange->currentIndex();
    const bool searching = searchActive && !searchText.isEmpty();
    t->beginUpdate();
    {
        const auto done = ScopeExit([t] { t->endUpdate(); });
        // Each task before its sub-tasks; a shown sub-task shows (and, searching, expands)
        // its parent.
        const auto passes = [&](const TTaskInfo& r) {
            if ((r.checkFlag && range == 2) || (!r.checkFlag && range == 1)) return false;
            return !searching || r.content.contains(searchText, Qt::CaseSensitive);
        };
        for (TZvNode* top = t->firstTopLevel(); top; top = t->nextSibling(top)) {
            t->setVisible(top, passes(*Info(top)));
            for (int i = 0, count = top->childCount(); i < count; ++i) {
                TZvNode* child = top->child(i);
                const bool shown = passes(*Info(child));
                t->setVisible(child, shown);
                if (shown) {
                    if (!t->isVisible(top)) t->setVisible(top, true);
                    if (searching) t->setExpanded(top, true);
                }
            }
        }
    }
    if (searchActive)
        ShowTip(t->visibleCount() == 0 ? traits().searchTipKind : 0);
    else
        ShowTip(0);
    UpdateTrayHint();
}

void TzvTasksFrame::Comb_ViewRangeChange()
{
    if (initialising) return;
    FilterTasks();
    UpdateActions();
    tree()->setFocus();
    TIniFile(host()->confFile())
        .WriteInteger(kSection, QStringLiteral("viewRange"), Comb_ViewRange->currentIndex());
}

void TzvTasksFrame::selectRange(int index)
{
    if (Comb_ViewRange->currentIndex() != index)
        Comb_ViewRange->setCurrentIndex(index); // runs the range change
    else
        Comb_ViewRangeChange();
}

void TzvTasksFrame::Action_ViewListExecute()
{
    if (initialising) return;
    tree()->beginUpdate();
    tree()->invalidateAll();
    tree()->endUpdate();
    TIniFile(host()->confFile())
        .WriteBool(kSection, QStringLiteral("viewListEn"), Action_ViewList->isChecked());
}

void TzvTasksFrame::Action_ViewDateExecute()
{
    if (initialising) return;
    tree()->invalidateAll();
    TIniFile(host()->confFile())
        .WriteBool(kSection, QStringLiteral("viewDateEn"), Action_ViewDate->isChecked());
}

void TzvTasksFrame::Action_ViewAscExecute()
{
    ToggleSort(Action_ViewAsc, 10, 9);
}

// ---- entry and editing ----------------------------------------------------------------------

void TzvTasksFrame::Action_TaskAddExecute()
{
    if (editNode || Busy()) return;
    if (Comb_ViewRange->currentIndex() == 1) selectRange(0); // the new, incomplete task must be seen
    auto record = std::make_unique<TTaskInfo>();
    record->pid = kRootId;
    TZvNode* n = AppendNewNode(nullptr, std::move(record));
    editNode = n;
    tree()->setCheckBox(n, true);
    PostStartEdit();
    UpdateActions();
}

void TzvTasksFrame::Action_SubTaskAddExecute()
{
    if (editNode || Busy()) return;
    if (Comb_ViewRange->currentIndex() == 1) selectRange(0);
    TZvNode* parent = tree()->firstSelected();
    if (parent && parent->level() > 0) parent = parent->parent();
    if (!parent) parent = tree()->lastTopLevel();
    if (!parent) {
        MsgTip(ttr("Please select a task!"));
        return;
    }
    // The last task may be filtered out: a shown sub-task shows its parent, and the editor
    // can only open on a node that is shown.
    if (!tree()->isVisible(parent)) tree()->setVisible(parent, true);
    auto record = std::make_unique<TTaskInfo>();
    record->pid = Info(parent)->tid;
    TZvNode* n = AppendNewNode(parent, std::move(record));
    editNode = n;
    tree()->setCheckBox(n, true);
    PostStartEdit();
    UpdateActions();
}

void TzvTasksFrame::Action_TaskEditExecute()
{
    if (editNode || Busy()) return;
    TZvNode* first = tree()->firstSelected();
    if (!first) return;
    editNode = first;
    tree()->invalidateNode(first);
    PostStartEdit();
    UpdateActions();
}

void TzvTasksFrame::StoreNewText(TZvNode* node, const QString& text)
{
    TTaskInfo& r = *Info(node);
    r.content = TrimRight(text);
    ADOQuery1->Close();
    ADOQuery1->SQLClear();
    QString newId;
    if (!r.tid.isEmpty()) {
        ADOQuery1->SQLAdd(QStringLiteral("select * from tasks where tid=") + QuoteId(r.tid));
        ADOQuery1->Open();
        ADOQuery1->First();
        ADOQuery1->Edit();
    } else {
        // The id is the record's only once the row is stored: a failed insert leaves an
        // unsaved node that the next edit stores again, never a node without its row.
        newId = NewGuidText();
        r.checkFlag = r.alarmFlag = r.dueFlag = false;
        r.textColor = r.backgroundColor = 0;
        r.createTime = Now();
        ADOQuery1->SQLAdd(QStringLiteral("select * from tasks where 1=0"));
        ADOQuery1->Open();
        ADOQuery1->Append();
        ADOQuery1->FieldByName(QStringLiteral("tid")).setAsString(newId);
        ADOQuery1->FieldByName(QStringLiteral("pid")).setAsString(r.pid);
        ADOQuery1->FieldByName(QStringLiteral("checkFlag")).setAsBoolean(false);
        ADOQuery1->FieldByName(QStringLiteral("alarmFlag")).setAsBoolean(false);
        ADOQuery1->FieldByName(QStringLiteral("dueFlag")).setAsBoolean(false);
        ADOQuery1->FieldByName(QStringLiteral("textColor")).setAsInteger(0);
        ADOQuery1->FieldByName(QStringLiteral("backgroundColor")).setAsInteger(0);
        ADOQuery1->FieldByName(QStringLiteral("createTime")).setAsDateTime(r.createTime);
    }
    r.editTime = Now();
    ADOQuery1->FieldByName(QStringLiteral("content")).setAsString(r.content);
    ADOQuery1->FieldByName(QStringLiteral("editTime")).setAsDateTime(r.editTime);
    ADOQuery1->Post();
    ADOQuery1->Close();
    if (!newId.isEmpty()) r.tid = newId;
    FilterTasks();
    UpdateActions();
}

void TzvTasksFrame::Action_TaskDeleteExecute()
{
    if (editNode || Busy()) return;
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    const QString question = ttr("Are you sure you want to delete ") +
                             (selected.size() == 1 ? ttr("this task?") : ttr("these tasks?"));
    if (MsgAsk(question) != IdOk) return;
    for (TZvNode* f : selected) {
        const QString id = QuoteId(Info(f)->tid);
        ExecQuery(*ADOQuery1, QStringLiteral("delete from tasks where tid=") + id);
        ExecQuery(*ADOQuery1, QStringLiteral("delete from tasks where pid=") + id);
        if (f->level() == 0) tree()->deleteChildren(f);
    }
    tree()->deleteSelected();
    FilterTasks();
    UpdateActions();
}

void TzvTasksFrame::TipClicked(int kind)
{
    switch (kind) {
    case 1:
        Action_TaskAddExecute();
        break;
    case 2:
        FinishEditing();
        break;
    case 3:
        Btn_Search->click();
        break;
    default:
        break;
    }
}

// ---- completion, colours, due dates ------------------------------------------------------------

void TzvTasksFrame::editRow(const TTaskInfo& r, const std::function<void(TADOQuery&)>& assign)
{
    OpenQuery(*ADOQuery1, QStringLiteral("select * from tasks where tid=") + QuoteId(r.tid));
    ADOQuery1->First();
    ADOQuery1->Edit();
    assign(*ADOQuery1);
    ADOQuery1->Post();
    ADOQuery1->Close();
}

void TzvTasksFrame::VtTasksChecked(TZvNode* node)
{
    TTaskInfo& r = *Info(node);
    r.checkFlag = node->isChecked();
    r.checkTime = Now();
    if (!r.tid.isEmpty())
        editRow(r, [&](TADOQuery& q) {
            q.FieldByName(QStringLiteral("checkFlag")).setAsBoolean(r.checkFlag);
            q.FieldByName(QStringLiteral("checkTime")).setAsDateTime(r.checkTime);
        });
    FilterTasks();
    UpdateActions();
}

void TzvTasksFrame::Action_TaskCompleteExecute()
{
    if (editNode || Busy()) return;
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    const bool target = !Info(selected.front())->checkFlag;
    for (TZvNode* n : selected)
        if (n->isChecked() != target) tree()->setChecked(n, target, true);
    UpdateActions();
}

void TzvTasksFrame::Action_SetColorExecute()
{
    if (editNode || Busy()) return;
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
        ExecQuery(*ADOQuery1, QStringLiteral("update tasks set textColor=%1, backgroundColor=%2 where tid=%3")
                                  .arg(r.textColor)
                                  .arg(r.backgroundColor)
                                  .arg(QuoteId(r.tid)));
        tree()->invalidateNode(s);
    }
}

void TzvTasksFrame::Action_TaskDueSetExecute()
{
    if (editNode || Busy()) return;
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TDueSetDlg dlg(host()->window());
    dlg.dueFlag = Info(selected.front())->dueFlag;
    dlg.dueTime = Info(selected.front())->dueTime;
    if (dlg.exec() != QDialog::Accepted) return;
    storeOnEach(selected, &TTaskInfo::dueFlag, &TTaskInfo::dueTime, dlg.dueFlag, dlg.dueTime,
                QStringLiteral("dueFlag"), QStringLiteral("dueTime"));
}

void TzvTasksFrame::storeOnEach(const std::vector<TZvNode*>& nodes, bool TTaskInfo::*flag,
                                TDateTime TTaskInfo::*time, bool flagValue, TDateTime timeValue,
                                const QString& flagColumn, const QString& timeColumn)
{
    // Every task gets the same value, row by row, and is unselected once stored.
    for (TZvNode* s : nodes) {
        TTaskInfo& r = *Info(s);
        r.*flag = flagValue;
        r.*time = timeValue;
        editRow(r, [&](TADOQuery& q) {
            q.FieldByName(flagColumn).setAsBoolean(flagValue);
            q.FieldByName(timeColumn).setAsDateTime(timeValue);
        });
        tree()->invalidateNode(s);
        tree()->setSelected(s, false);
    }
}

// ---- reminders ------------------------------------------------------------------------------

void TzvTasksFrame::Action_TaskReminderSetExecute()
{
    if (editNode || Busy()) return;
    const std::vector<TZvNode*> selected = tree()->selectedNodes();
    if (selected.empty()) return;
    TReminderSetDlg dlg(host()->window());
    dlg.alarmFlag = Info(selected.front())->alarmFlag;
    dlg.alarmTime = Info(selected.front())->alarmTime;
    if (dlg.exec() != QDialog::Accepted) return;
    storeOnEach(selected, &TTaskInfo::alarmFlag, &TTaskInfo::alarmTime, dlg.alarmFlag, dlg.alarmTime,
                QStringLiteral("alarmFlag"), QStringLiteral("alarmTime"));
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
    const auto clear = ScopeExit([] { g_reminderOnScreen = nullptr; });
    dlg.exec();
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
    TTaskInfo row;
    row.tid = tid;
    editRow(row, [&](TADOQuery& q) {
        q.FieldByName(QStringLiteral("alarmFlag")).setAsBoolean(armed);
        q.FieldByName(QStringLiteral("alarmTime")).setAsDateTime(next);
    });
    if (node) t->invalidateNode(node);
}

// ---- clipboard and exchange ------------------------------------------------------------------

void TzvTasksFrame::Action_PasteTaskExecute()
{
    if (Busy()) return;
    AddTaskFromText(ClipboardSeam::text());
}

void TzvTasksFrame::PasteFromTray()
{
    Guarded([this] { Action_PasteTaskExecute(); });
}

void TzvTasksFrame::AddTaskFromText(const QString& text)
{
    CancelEditFirst();
    auto record = std::make_unique<TTaskInfo>();
    TTaskInfo* r = record.get();
    r->content = TrimRight(text);
    r->tid = NewGuidText();
    r->pid = kRootId;
    r->createTime = Now();
    r->editTime = Now();
    TZvNode* n = AppendNewNode(nullptr, std::move(record));
    tree()->setCheckBox(n, true);
    tree()->invalidateNode(n);

    OpenQuery(*ADOQuery1, QStringLiteral("select * from tasks where 1=0"));
    ADOQuery1->Append();
    ADOQuery1->FieldByName(QStringLiteral("tid")).setAsString(r->tid);
    ADOQuery1->FieldByName(QStringLiteral("pid")).setAsString(r->pid);
    ADOQuery1->FieldByName(QStringLiteral("content")).setAsString(r->content);
    ADOQuery1->FieldByName(QStringLiteral("checkFlag")).setAsBoolean(false);
    ADOQuery1->FieldByName(QStringLiteral("textColor")).setAsInteger(0);
    ADOQuery1->FieldByName(QStringLiteral("backgroundColor")).setAsInteger(0);
    ADOQuery1->FieldByName(QStringLiteral("alarmFlag")).setAsBoolean(false);
    ADOQuery1->FieldByName(QStringLiteral("dueFlag")).setAsBoolean(false);
    ADOQuery1->FieldByName(QStringLiteral("createTime")).setAsDateTime(r->createTime);
    ADOQuery1->FieldByName(QStringLiteral("editTime")).setAsDateTime(r->editTime);
    ADOQuery1->Post();
    ADOQuery1->Close();
    UpdateActions();
    UpdateTrayHint();
}

std::vector<SelectedItem<TTaskInfo>> TzvTasksFrame::SelectionRecords() const
{
    std::vector<SelectedItem<TTaskInfo>> items;
    for (TZvNode* n : tree()->selectedNodes()) {
        SelectedItem<TTaskInfo> item;
        item.record = *Info(n);
        item.level = n->level();
        if (n->level() == 0)
            for (int i = 0; i < n->childCount(); ++i)
                item.children.push_back(*Info(n->child(i)));
        items.push_back(std::move(item));
    }
    return items;
}

void TzvTasksFrame::Action_ExportExecute()
{
    if (editNode || Busy()) return;
    ExportTaskSelection(host()->window(), SelectionRecords(), host()->appVersion());
}

} // namespace zv
