#pragma once

#include "frames/ZvRecordFrame.h"

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
    QAction* const Action_TaskAdd = Command("Action_TaskAdd");
    QAction* const Action_SubTaskAdd = Command("Action_SubTaskAdd");
    QAction* const Action_TaskEdit = Command("Action_TaskEdit");
    QAction* const Action_TaskDelete = Command("Action_TaskDelete");
    QAction* const Action_TaskReminderSet = Command("Action_TaskReminderSet");
    QAction* const Action_TaskDueSet = Command("Action_TaskDueSet");
    QAction* const Action_TaskComplete = Command("Action_TaskComplete");
    QAction* const Action_ViewDate = Command("Action_ViewDate");
    QAction* const Action_MoveTo = Command("Action_MoveTo");
    QAction* const Action_CopyTask = Command("Action_CopyTask");
    QAction* const Action_PasteTask = Command("Action_PasteTask");
    QAction* const Action_SetColor = Command("Action_SetColor");

    QAction* const Menu_ViewAll = Command("Menu_ViewAll");
    QAction* const Menu_Complete = Command("Menu_Complete");
    QAction* const Menu_Incomplete = Command("Menu_Incomplete");
    QMenu* const PopupMenu_Task = CommandMenu("PopupMenu_Task");
    QMenu* const MainMoveTo = CommandMenu("MainMoveTo");
    QComboBox* const Comb_ViewRange;
    QTimer* const Timer1;

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
    void Menu_ViewAllClick() { RangeClicked(Menu_ViewAll, 0); }
    void Menu_CompleteClick() { RangeClicked(Menu_Complete, 1); }
    void Menu_IncompleteClick() { RangeClicked(Menu_Incomplete, 2); }
    void Comb_ViewRangeChange();
    void VtTasksChecked(TZvNode* node);
    void Timer1Timer();

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
    bool PassesAll() const override;
    std::function<bool(const TZvNode*)> RangeRule() const override;
    void UpdateFrameActions(bool idle, TZvNode* first) override;
    QString DisplayText(TZvNode* node) const override;
    void PaintNodeText(TZvNode* node, QFont& font, QColor& color) const override;
    int OwnBackground(TZvNode* node) const override { return Info(node)->backgroundColor; }
    int NodeImage(TZvNode* node) const override;

private:
    void RangeClicked(QAction* item, int index);
    void selectRange(int index);
    void storeOnEach(const QString& stepName, const std::vector<TZvNode*>& nodes, bool TTaskInfo::*flag,
                     TDateTime TTaskInfo::*time, bool flagValue, TDateTime timeValue, TTaskFields fields);

    bool m_completingMany = false; // Mark Complete over a selection: one filter pass at its end
};

TZvFrame* CreateTasksFrame(TZvFrameHost* host, QWidget* tab);

} // namespace zv
