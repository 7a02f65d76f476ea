#pragma once

#include "frames/ZvCommands.h"
#include "frames/ZvFrame.h"
#include "frames/ZvFrameKinds.h"
#include "frames/ZvSearchBox.h"
#include "frames/ZvTipPanel.h"
#include "frames/ZvUndo.h"
#include "platform/ZvTreeModel.h"
#include "store/ZvDb.h"

#include <QSet>
#include <QStringList>
#include <QStringMatcher>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class QUndoStack;

namespace zv {

class TZvNode;
class TZvTree;
class TZvStatusBar;
class TIniFile;

// The fields of a node record both frames have: the row's id, its parent id, its text
// and whether its sub-items are shown.
struct TZvItemRef
{
    QString* id = nullptr;
    QString* pid = nullptr;
    QString* content = nullptr;
    bool* expandFlag = nullptr;
};

// The machinery the two frames share: the tree and its gestures, the edit state machine
// (editNode and the posted messages 2034, 2035, 2036), list-view numbering and the hover
// delay, the sort rule, moving, copy and paste. The search box, the tip panel and the
// commands are parts of their own; each frame supplies its table, texts, records and the
// commands of its own.
class TZvItemFrame : public TZvFrame
{
    Q_OBJECT
    // Declared first: what follows is made from them.
    TZvFrameHost* const m_host;
    const TZvFrameTraits m_traits;
    const TZvCommandSet m_commands;

public:
    // `own`: the commands the frame declares for itself, beside the shared ones.
    TZvItemFrame(TZvFrameHost* host, const TZvFrameTraits& traits, const std::vector<TZvCommandDecl>& own,
                 QWidget* parent);
    ~TZvItemFrame() override;

    TZvTree* tree() const { return m_tree; }
    TZvFrameHost* host() const { return m_host; }
    const TZvFrameTraits& traits() const { return m_traits; }

    // ---- the frame's state, written only by the frame ----
    bool Initialising() const { return initialising; }
    int TipKind() const { return tipKind; }
    TZvNode* EditNode() const { return editNode; }
    bool SearchActive() const { return Edt_Search->SearchActive(); }
    bool SortAscending() const { return sortAscending; }
    // An edit under way or an exchange operation holds the guarded commands off.
    bool HeldOff() const { return editNode || Busy(); }

    // ---- the commands both lists have, by the names both give them ----
    QAction* const Action_ViewAsc = Command("Action_ViewAsc");
    QAction* const Action_ViewList = Command("Action_ViewList");
    QAction* const Action_ExpandAll = Command("Action_ExpandAll");
    QAction* const Action_CollapseAll = Command("Action_CollapseAll");
    QAction* const Action_SelectAll = Command("Action_SelectAll");
    QAction* const Action_Deselect = Command("Action_Deselect");
    QAction* const Action_Export = Command("Action_Export");
    QAction* const Action_Email = Command("Action_Email");
    QAction* const Action_Save = Command("Action_Save");
    QAction* const Action_SaveAll = Command("Action_SaveAll");
    QAction* const Action_Print = Command("Action_Print");
    QMenu* const PopupMenu_Null = m_commands.Popup(TZvBar::NullPopup); // over empty space
    QMenu* const Menu_Moveto = m_commands.Menu("Menu_Moveto");         // in the item pop-up

    // ---- controls, in the order they are made ----
    QToolBar* const ToolBar_Top;
    QToolBar* const ToolBar_Bottom;

private:
    TZvTree* m_tree;

public:
    TZvTipPanel* const Panel_tip;
    QLabel* const Image_Tip = Panel_tip->Image_Tip;
    QLabel* const label_tip = Panel_tip->label_tip;
    TZvSearchBox* const Edt_Search;
    QToolButton* const Btn_Search = Edt_Search->Btn_Search;
    TZvStatusBar* const ZvStatusBar1;
    QLabel* const StatusImage;
    QTimer* const Timer_HotDelay;

    // ---- TZvFrame ----
    QList<QMenu*> MainMenuMenus() const override { return m_commands.MainMenus(); }
    void FinishEditing() override;
    void PasteFromTray() override; // the tray's Paste: as Ctrl+V
    bool Loaded() const override { return m_initDone; }
    void ItemsChangedElsewhere(const QStringList& ids = {}) override;

    // ---- undo and redo: each change the user makes is one step of the frame's own stack ----
    static constexpr int kUndoLimit = 1000;
    QUndoStack* UndoStack() const { return m_undo; }
    bool CanUndo() const;
    bool CanRedo() const;
    void UndoExecute(); // Ctrl+Z
    void RedoExecute(); // Ctrl+Shift+Z, Ctrl+Y
    // A step's name: `pattern` with %1 for "Task" or "3 Tasks" ("Delete %1").
    QString StepName(const char* pattern, int count) const;
    bool Editing() const override { return editNode != nullptr; }
    void ShowSyncState(const QString& text, const QString& tip) override;

    // ---- routines ----
    // Message 2024: reads the view settings, counts the rows, (re)loads the tree.
    void InitFrame();
    // Enables the commands for the edit state and the selection; rebuilds the Move to menus.
    void UpdateActions();
    // Shows each node by the view and the search; ends with the tip for the result.
    void Filter();
    void ShowTip(int kind);
    void ShowRandomStatusTip();
    // A node's text as the tree shows it: the placeholder for an empty item, the list-view
    // numbering, the frame's own display text.
    QString NodeText(TZvNode* node) const;
    // The one-line list-view text, the height rule and the hover highlight.
    QString ListViewText(TZvNode* node, const QString& text) const;
    int MeasureNode(TZvNode* node) const;
    // Content comparison of the sort: a-z folded, other characters by code; a prefix first.
    static int CompareContent(QStringView a, QStringView b);
    // The first eight characters folded as CompareContent folds them, as a number in its
    // order: most comparisons of a long list's sort end there.
    static TZvSortHead SortHead(QStringView text);
    // The selected nodes' contents in tree order, joined by single carriage returns.
    QString SelectionText() const;
    // Nodes in tree order that the selection would write out (reports, exchange files).
    std::vector<TZvNode*> SelectedInTreeOrder() const;

    // ---- the handlers of the shared commands ----
    virtual void Action_ExportExecute() = 0;          // the selection into an exchange file
    virtual void Action_ExportICalendarExecute() = 0; // the selection into an iCalendar file
    virtual void SaveExecute(bool all) = 0;
    void SaveExecute() { SaveExecute(false); }
    void SaveAllExecute() { SaveExecute(true); }
    virtual void EmailExecute() = 0;
    virtual void PrintExecute() = 0;
    void AddItemExecute();  // Enter, 2034, double click on empty space, the "add" tip
    void AddChildExecute(); // Ctrl+Enter
    void EditExecute();
    void DeleteExecute(); // Delete, after the question
    void PasteExecute();  // Ctrl+V: the clipboard's text as one new item
    void ViewListExecute();
    void SortExecute();
    void SelectAllExecute();
    void DeselectExecute();
    void CopyExecute();
    void ExpandAllExecute() { ExpandAll(true); }
    void CollapseAllExecute() { ExpandAll(false); }

    // Moves the selection under target (nullptr: the top level), as a drop does (at the
    // end, in order) or as Move to does (each to the front).
    void MoveSelection(TZvNode* target, bool toFront);
    // A move the two-level model allows: never under itself, and an item with sub-items
    // never under another item.
    bool CanMoveUnder(TZvNode* node, TZvNode* target) const;
    // The items of the Move to menus for the first selected node, in order ("Root" and a
    // separator first for a sub-item); a node of nullptr stands for the top level. An item
    // that would move none of the selected items is disabled.
    struct MoveTarget
    {
        QString caption;
        TZvNode* node = nullptr;
        bool separator = false;
        bool enabled = true;
    };
    QList<MoveTarget> MoveTargets() const;

    // The text of the clipboard (or of the tray's Paste) as one new top-level item; an
    // edit under way is cancelled first.
    virtual void AddFromText(const QString& text) = 0;

protected:
    // ---- what the record frame supplies (frames/ZvRecordFrame.h) ----
    virtual TZvItemRef Item(TZvNode* node) const = 0;
    virtual int CountItems() = 0;
    virtual void LoadItems() = 0;
    virtual TZvNode* NewItemNode(TZvNode* parent, const QString& pid) = 0; // an empty, unsaved item
    virtual void StoreNewText(TZvNode* node, const QString& text) = 0;
    virtual void DeleteRows(TZvNode* node) = 0;
    virtual void StoreExpanded(TZvNode* node, bool expanded) = 0;
    virtual void StorePid(TZvNode* node) = 0;
    virtual const TZvItemTable& ItemTable() const = 0;
    // The row of that id and rowid into the node's record (a sub-item's as a sub-item's).
    virtual void ReadItemAt(TZvNode* node, const QString& id, qint64 rowid, bool topLevel) = 0;

    // A change the user makes becomes one undo step. `change` runs between two readings of
    // the rows of the items of `nodes` (with `subItems`, also of the rows under them) and of
    // their nodes' places; the second reading also takes in the items `change` makes
    // (NewStepItem). What differs is the step, pushed unless nothing does. A recording
    // inside a recording joins it: a command over many items is one step. When `change`
    // fails, what it did before the failure is a step too.
    // `rowsOnly`: items whose rows the change may touch besides, where they stand being none
    // of its business (the target of a move, expanded to show them).
    void RecordStep(const QString& name, const std::vector<TZvNode*>& nodes, bool subItems,
                    const std::function<void()>& change, const std::vector<TZvNode*>& rowsOnly = {});
    void NewStepItem(TZvNode* node);

    // ---- what each frame supplies (not pure: an edit stored while the frame is destroyed
    // still reaches them, after the frame's own part is gone) ----
    virtual QString StatusText(TZvNode*) const { return {}; } // the status line of a selected node
    virtual int SearchBoxWidth() const { return 0; }          // the layout rule of the search bar

    // ---- hooks; the defaults are right for both frames unless a frame says otherwise ----
    virtual void ReadViewSettings(TIniFile&) {} // InitFrame, after the sort and list view
    virtual void InitDone() {}                  // InitFrame, after the search box is reset
    virtual void BeforeAdd() {}                 // Add and Add Sub-Item, before the node is made
    virtual void NodeCreated(TZvNode*) {}       // every node the frame makes or loads
    virtual void TextStored() { UpdateActions(); }
    virtual void PastedFromText() {}
    virtual void Filtered() {}
    // Whether a node is shown by the view and the search; `searching` with a search text.
    virtual bool Passes(TZvNode* node, bool searching) const;
    virtual bool PassesAll() const { return true; } // without a search, every item passes
    // What the view range lets through, as a test that reads records only and so may run
    // off the GUI thread; none when it lets everything through.
    virtual std::function<bool(const TZvNode*)> RangeRule() const { return {}; }
    virtual bool WideSearch() const { return false; } // a top-level match shows all its sub-items
    virtual void UpdateFrameActions(bool idle, TZvNode* first)
    {
        Q_UNUSED(idle)
        Q_UNUSED(first)
    }
    virtual QString DisplayText(TZvNode* node) const;                            // the content
    virtual void PaintNodeText(TZvNode* node, QFont& font, QColor& color) const; // empty: gray italics
    virtual int OwnBackground(TZvNode*) const { return 0; } // a colour of the item's own, 0 none
    virtual int NodeImage(TZvNode*) const { return -1; }

    // ---- building blocks for the frames ----
    // The declared command of that name.
    QAction* Command(const char* name) const { return m_commands.Action(name); }
    QMenu* CommandMenu(const char* name) const { return m_commands.Menu(name); }
    // The bottom tool bar (after its declared commands: the range box, if any, and the
    // search box) and the frame's layout.
    void BuildLayout(QWidget* rangeBox = nullptr);
    void ActivateFrame(); // message 2025
    void ShowSortDirection();
    TZvNode* AppendNewNode(TZvNode* parent, std::unique_ptr<TZvNodeData> record);
    void PostStartEdit();
    void CancelEditFirst(); // before pasting: a running edit is cancelled
    void StoreExpandFlag(TZvNode* node, bool expanded);
    // Runs work with the expand flags it changes written in one transaction, committed
    // before it returns (a filter pass, Expand All).
    void BatchExpandWrites(const std::function<void()>& work);
    // The kept search results no longer hold: an item's text, its check state, the view
    // range or the wide option changed, or items came or went.
    void ForgetSearchResults();
    // The filter for one item whose check state changed, as a whole pass would leave the
    // tree: only that item's group can change, so no other item is looked at.
    void FilterItem(TZvNode* node);
    // The same for the groups of these top-level items, the only ones a change touched.
    void FilterGroups(std::vector<TZvNode*> tops);
    void PaintBackground(TZvNode* node, QPainter* painter, const QRect& rect, int ownColor) const;
    bool Busy() const; // an exchange operation holds the frame's commands off
    bool ListViewOn() const;

    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

    std::unique_ptr<TADOQuery> ADOQuery1;
    std::unique_ptr<TADOQuery> ADOQuery2;
    bool m_loading = false; // expanding while loading stores nothing and updates nothing

private:
    void wireTree();
    void onEditing(TZvNode* node, int column, bool& allowed);
    void onEdited(TZvNode* node);
    void onEditCancelled(TZvNode* node);
    bool onKeyDown(QKeyEvent* event);
    void onHotChange(TZvNode* node);
    void onHotDelay();
    void onDragDrop(TZvNode* node);
    void onSelectionChange(TZvNode* node);
    void tipClicked(int kind);
    bool onDragOver(TZvNode* node);
    void onRemoveNode(TZvNode* node);
    void searchChanged(const QString& text);
    void ApplyFilter();
    // A filter pass: its expand-flag writes in one transaction, its rows published after it.
    void publishAfterStoring(const std::function<void()>& filter);
    // One top-level item and its sub-items shown or hidden as a filter pass decides.
    template <class Test> void filterGroup(TZvNode* top, bool searching, const Test& passes);
    // The items the search text matches, from a kept result where one serves.
    struct SearchResult;
    const SearchResult& SearchMatches();
    bool TextMatches(QStringView text) const; // the search text occurs in it
    // The search text occurs in the item's text, or with the wide option in its parent's.
    bool SearchHit(TZvNode* node, QStringView text, bool wide) const;
    void layoutSearchBar();
    void ExpandAll(bool expand);
    void RebuildMoveMenus();
    void fillMoveMenu(QMenu* menu);
    static bool MayGoUnderAnItem(const TZvNode* node);
    // Up to two selected items that may go under an item: whatever the target, they tell
    // whether a move there moves something (one of them is not the target).
    std::vector<TZvNode*> ItemMovers() const;
    bool MovesSomething(TZvNode* target, const std::vector<TZvNode*>& movers) const;
    void joinStep(const std::vector<TZvNode*>& nodes, bool subItems, const std::vector<TZvNode*>& rowsOnly);
    void closeStep(const QString& name);
    TZvTreePlace placeOf(TZvNode* node) const;
    TZvUndoStep* stepAt(int index) const;
    void putBack(bool toBefore);
    void showStep(const TZvUndoStep& step, bool toBefore);
    void updateUndoCaptions();

    // ---- the frame's state, as the two lists name it ----
    bool initialising = false;
    bool focusedOnce = false;
    int tipKind = 0;
    TZvNode* editNode = nullptr;
    QLabel* m_syncState = nullptr;
    TZvNode* hotNode = nullptr;
    QString searchText;
    bool sortAscending = true;
    int mouseX = 0;
    int mouseY = 0;

    QStringMatcher m_searchMatcher; // the search text, case-sensitive
    // Earlier search texts and their matches in tree order. A longer text only matches
    // items a text within it matched, and a text typed again matches what it did.
    struct SearchResult
    {
        QString text;
        std::vector<TZvNode*> matches;
    };
    std::vector<SearchResult> m_searchResults;
    quint32 m_searchStamp = 0;
    // The search pass the tree shows, while nothing else has changed it (its stamp, the
    // model's layout count then, its matches): the next keystroke's pass then visits only
    // the groups whose matches differ. Stamp 0: a whole pass is due.
    quint32 m_shownStamp = 0;
    quint64 m_shownLayout = 0;
    std::vector<TZvNode*> m_shownMatches;
    std::unique_ptr<TZvWriteBatch> m_expandWrites; // open while expand flags are batched
    bool m_expandsChanged = false;
    QSet<TZvNode*> m_pendingRemoval;
    QUndoStack* m_undo;
    std::unique_ptr<TZvStepRecording> m_recording; // while a change is recorded
    bool m_loadedOnce = false;                     // no query runs before the first 2024
    bool m_initDone = false;
};

} // namespace zv
