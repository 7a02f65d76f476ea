#pragma once

#include "frames/ZvRecordFrame.h"

class QActionGroup;
class QComboBox;

namespace zv {

class TtaskReminderDlg;

// The "To-Do List" tab: the task tree and every task command. What the memo frame shares
// with it lives in the record frame; this holds the tasks' own: completion, colours, due
// dates, reminders, the view range and date view, the tray hint.
class TzvTasksFrame : public TZvRecordFrame<TTaskInfo>
{
    Q_OBJECT
public:
    TzvTasksFrame(TZvFrameHost* host, QWidget* parent);
    ~TzvTasksFrame() override;

    // ---- actions ----
    QAction* Action_TaskAdd;
    QAction* Action_SubTaskAdd;
    QAction* Action_TaskEdit;
    QAction* Action_TaskDelete;
    QAction* Action_TaskReminderSet;
    QAction* Action_TaskDueSet;
    QAction* Action_TaskComplete;
    QAction* Action_ViewDate;
    QAction* Action_MoveTo;
    QAction* Action_CopyTask;
    QAction* Action_PasteTask;
    QAction* Action_SetColor;

    QAction* Menu_ViewAll;
    QAction* Menu_Complete;
    QAction* Menu_Incomplete;
    QMenu* PopupMenu_Task;
    QMenu* MainMoveTo;
    QComboBox* Comb_ViewRange;
    QTimer* Timer1;

    // ---- routines ----
    int CountTasks() { return CountItems(); }
    void LoadTasks() { LoadItems(); }
    void FilterTasks() { Filter(); }
    void UpdateTrayHint();
    void AddTaskFromText(const QString& text) { AddFromText(text); }
    QString StatusText(const TTaskInfo& r) const;

    // ---- handlers ----
    void Action_TaskCompleteExecute();
    void Action_SetColorExecute();
    void Action_TaskDueSetExecute();
    void Action_TaskReminderSetExecute();
    void Action_ViewDateExecute();
    void Action_ExportExecute() override;
    void Comb_ViewRangeChange();
    void VtTasksChecked(TZvNode* node);
    void Timer1Timer();

    // The reminder dialog on screen (at most one in the whole program), or null.
    static TtaskReminderDlg* ReminderOnScreen();

protected:
    QString StatusText(TZvNode* node) const override { return StatusText(*Info(node)); }
    int SearchBoxWidth() const override;
    void ReadViewSettings(TIniFile& ini) override;
    void InitDone() override;
    void BeforeAdd() override;
    void NodeCreated(TZvNode* node) override;
    void TextStored() override;
    void PastedFromText() override { UpdateTrayHint(); }
    void Filtered() override { UpdateTrayHint(); }
    bool Passes(TZvNode* node, bool searching) const override;
    void UpdateFrameActions(bool idle, TZvNode* first) override;
    QString DisplayText(TZvNode* node) const override;
    void PaintNodeText(TZvNode* node, QFont& font, QColor& color) const override;
    int OwnBackground(TZvNode* node) const override { return Info(node)->backgroundColor; }
    int NodeImage(TZvNode* node) const override;

private:
    void createActions();
    void createMenus();
    void wireTaskTree();
    void selectRange(int index);
    void storeOnEach(const std::vector<TZvNode*>& nodes, bool TTaskInfo::*flag, TDateTime TTaskInfo::*time,
                     bool flagValue, TDateTime timeValue, TTaskFields fields);

    QActionGroup* m_rangeGroup = nullptr;
};

TZvFrame* CreateTasksFrame(TZvFrameHost* host, QWidget* tab);

} // namespace zv
