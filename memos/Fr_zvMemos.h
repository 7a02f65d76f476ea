#pragma once

#include "frames/ZvRecordFrame.h"

namespace zv {

// The "Memos" tab: the memo tree. Everything it shares with the task frame lives in the
// record frame; this holds the memos' own: the wide search, the pictures and the status
// line.
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
    QAction* const Action_MemoAdd = Command("Action_MemoAdd");
    QAction* const Action_MemoAddChild = Command("Action_MemoAddChild");
    QAction* const Action_MemoEdit = Command("Action_MemoEdit");
    QAction* const Action_MemoDelete = Command("Action_MemoDelete");
    QAction* const Action_Moveto = Command("Action_Moveto");
    QAction* const Action_CopyMemo = Command("Action_CopyMemo");
    QAction* const Action_PasteMemo = Command("Action_PasteMemo");
    QAction* const Action_searchWide = Command("Action_searchWide");

    QMenu* const PopupMenu_Memo = CommandMenu("PopupMenu_Memo");
    QMenu* const MainMoveto = CommandMenu("MainMoveto");

    // ---- handlers ----
    void Action_searchWideExecute();

protected:
    QString StatusText(TZvNode* node) const override;
    int SearchBoxWidth() const override;
    void ReadViewSettings(TIniFile& ini) override;
    bool WideSearch() const override;
    int NodeImage(TZvNode* node) const override;
};

TZvFrame* CreateMemosFrame(TZvFrameHost* host, QWidget* tab);

} // namespace zv
