#pragma once

#include "frames/ZvRecordFrame.h"

namespace zv {

// The "Memos" tab: the memo tree. Everything it shares with the task frame lives in the
// record frame; this holds the memos' own: their actions and menus, the wide search, the
// pictures and the status line.
class TzvMemosFrame : public TZvRecordFrame<TMemoInfo>
{
    Q_OBJECT
public:
    TzvMemosFrame(TZvFrameHost* host, QWidget* parent);

    // ---- routines ----
    int CountMemos() { return CountItems(); }
    void LoadMemos() { LoadItems(); }
    void FilterMemos() { Filter(); }
    void AddMemoFromText(const QString& text) { AddFromText(text); }

    // ---- actions ----
    QAction* Action_MemoAdd;
    QAction* Action_MemoAddChild;
    QAction* Action_MemoEdit;
    QAction* Action_MemoDelete;
    QAction* Action_Moveto;
    QAction* Action_CopyMemo;
    QAction* Action_PasteMemo;
    QAction* Action_searchWide;

    QMenu* PopupMenu_Memo;
    QMenu* MainMoveto;

    // ---- handlers ----
    void Action_searchWideExecute();
    void Action_ExportExecute() override;

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
