#pragma once

#include "ZvItemFrame.h"
#include "ZvRecords.h"

#include <QPointer>

class QActionGroup;
class QComboBox;

namespace zv {

class TtaskReminderDlg;

// The "To-Do List" tab: the task tree and every task command.
class TzvTasksFrame : public TZvItemFrame
{
    Q_OBJECT
public:
    TzvTasksFrame(TZvFrameHost* host, QWidget* parent);
    ~TzvTasksFrame() override;

    static TTaskInfo* Info(const TZvNode* node);

    // ---- actions ----
    QAction* Action_TaskAdd;
    QAction* Action_SubTaskAdd;
    QAction* Action_TaskEdit;
    QAction* Action_TaskDelete;
    QAction* Action_TaskReminderSet;
    QAction* Action_TaskDueSet;
    QAction* Action_TaskComplete;
    QAction* Action_ViewAsc;
    QAction* Action_ViewList;
    QAction* Action_ViewDate;
    QAction* Action_ExpandAll;
    QAction* Action_CollapseAll;
    QAction* Action_Print;
    QAction* Action_MoveTo;
    QAction* Action_CopyTask;
    QAction* Action_PasteTask;
    QAction* Action_SelectAll;
    QAction* Action_Deselect;
    QAction* Action_SetColor;
    QAction* Action_Export;
    QAction* Action_Email;
    QAction* Action_Save;
    QAction* Action_SaveAll;

    QAction* Menu_ViewAll;
    QAction* Menu_Complete;
    QAction* Menu_Incomplete;
    QMenu* PopupMenu_Task;
    QMenu* PopupMenu_Null;
    QMenu* Menu_Moveto;
    QMenu* MainMoveTo;
    QComboBox* Comb_ViewRange;
    QTimer* Timer1;

    // ---- routines ----
    void InitFrame() override;
    int CountTasks();
    void LoadTasks();
    void UpdateActions() override;
    void Filter() override { FilterTasks(); }
    void FilterTasks();
    void UpdateTrayHint();
    void AddTaskFromText(const QString& text);
    QString NodeText(TZvNode* node) const;
    QString StatusText(const TTaskInfo& r) const;
    // The selection as the exchange and report writers take it, in tree order.
    std::vector<SelectedItem<TTaskInfo>> SelectionRecords() const;

    // ---- handlers ----
    void Action_TaskAddExecute();
    void Action_SubTaskAddExecute();
    void Action_TaskEditExecute();
    void Action_TaskDeleteExecute();
    void Action_TaskCompleteExecute();
    void Action_SetColorExecute();
    void Action_TaskDueSetExecute();
    void Action_TaskReminderSetExecute();
    void Action_ViewListExecute();
    void Action_ViewDateExecute();
    void Action_ViewAscExecute();
    void Action_CopyTaskExecute() { CopyExecute(); }
    void Action_PasteTaskExecute();
    void Action_ExportExecute();
    void Comb_ViewRangeChange();
    void VtTasksChecked(TZvNode* node);
    void Timer1Timer();

    // ---- TZvFrame ----
    void PasteFromTray() override;

    // The reminder dialog on screen (at most one in the whole program), or null.
    static TtaskReminderDlg* ReminderOnScreen();

protected:
    TZvItemRef Item(TZvNode* node) const override;
    void StoreNewText(TZvNode* node, const QString& text) override;
    void AddItemExecute() override { Action_TaskAddExecute(); }
    void AddChildExecute() override { Action_SubTaskAddExecute(); }
    void DeleteExecute() override { Action_TaskDeleteExecute(); }
    void PasteExecute() override { Action_PasteTaskExecute(); }
    void TipClicked(int kind) override;
    bool ListViewOn() const override;
    int SearchBoxWidth() const override;
    void OnSelectionChange(TZvNode* node) override;

private:
    void createActions();
    void createMenus();
    void wireTaskTree();
    void paintText(TZvNode* node, QFont& font, QColor& color) const;
    int imageIndex(TZvNode* node) const;
    void selectRange(int index);
    void editRow(const TTaskInfo& r, const std::function<void(TADOQuery&)>& assign);
    void storeOnEach(const std::vector<TZvNode*>& nodes, bool TTaskInfo::*flag, TDateTime TTaskInfo::*time,
                     bool flagValue, TDateTime timeValue, const QString& flagColumn,
                     const QString& timeColumn);
    bool canRun() const;

    QActionGroup* m_rangeGroup = nullptr;
};

TZvFrame* CreateTasksFrame(TZvFrameHost* host, QWidget* tab);

} // namespace zv
