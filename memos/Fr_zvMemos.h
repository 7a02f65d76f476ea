#pragma once

#include "ZvRecordFrame.h"

namespace zv {

// The "Memos" tab: the memo tree. Everything it shares with the task frame lives in the
// record frame; this holds the memos' own: their actions and menus, the wide search, the
// pictures and the status line.
class TzvMemosFrame : public TZvRecordFrame<TMemoInfo>
{
    Q_OBJECT
public:
    TzvMemosFrame(TZvFrameHost* host, QWidget* parent);

    // ---- actions ----
    QAction* Action_MemoAdd;
    QAction* Action_MemoAddChild;
    QAction* Action_MemoEdit;
    QAction* Action_MemoDelete;
    QAction* Action_ViewAsc;
    QAction* Action_ViewList;
    QAction* Action_Moveto;
    QAction* Action_ExpandAll;
    QAction* Action_CollapseAll;
    QAction* Action_SelectAll;
    QAction* Action_Deselect;
    QAction* Action_CopyMemo;
    QAction* Action_PasteMemo;
    QAction* Action_Export;
    QAction* Action_Email;
    QAction* Action_Save;
    QAction* Action_SaveAll;
    QAction* Action_Print;
    QAction* Action_searchWide;

    QMenu* PopupMenu_Memo;
    QMenu* PopupMenu_Null;
    QMenu* Menu_Moveto;
    QMenu* MainMoveto;

    // ---- routines ----
    int CountMemos() { return CountItems(); }
    void LoadMemos() { LoadItems(); }
    void FilterMemos() { Filter(); }
    void AddMemoFromText(const QString& text) { AddFromText(text); }

    // ---- handlers ----
    void Action_searchWideExecute();
    void Action_ExportExecute();

protected:
    QString StatusText(TZvNode* node) const override;
    int SearchBoxWidth() const override;
    void ReadViewSettings(TIniFile& ini) override;
    bool WideSearch() const override;
    int NodeImage(TZvNode* node) const override;

private:
    void createActions();
    void createMenus();
    void wireMemoTree();
};

TZvFrame* CreateMemosFrame(TZvFrameHost* host, QWidget* tab);

} // namespace zv
