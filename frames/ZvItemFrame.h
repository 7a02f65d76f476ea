#pragma once

#include "frames/ZvFrame.h"
#include "platform/ZvIcons.h"
#include "platform/ZvTreeModel.h"
#include "store/ZvDb.h"

#include <QSet>
#include <QStringList>
#include <QStringMatcher>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

namespace zv {

class TZvNode;
class TZvTree;
class TZvStatusBar;
class TZvItemFrame;
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

// The commands both lists have. The shared frame makes each with its common handler and
// guard; the traits give each list's caption, hint and picture.
enum class TZvCommand
{
    Add,
    AddChild,
    Edit,
    Delete,
    Sort,
    ListView,
    ExpandAll,
    CollapseAll,
    SelectAll,
    Deselect,
    Copy,
    Paste,
    Move,
    Export,
    Email,
    Save,
    SaveAll,
    Print,
    Count
};

struct TZvCommandText
{
    QString caption;
    QString hint;   // none: no tool tip
    int image = -1; // in the 16-pixel list; -1 none
};

// What differs between the task frame and the memo frame, given once by each. Nothing
// here defaults to one frame's values: a frame that leaves a picture out shows none.
struct TZvFrameTraits
{
    TZvFrameTraits(ImageList small, ImageList large) : images16(small), images22(large) {}

    QString table;          // "tasks" / "memos": the help context of the tree
    QString iniSection;     // "task" / "memo"
    QString logName;        // "Tasks" / "Memos": the "log" keys "private..." and "public..."
    QString treeHint;       // "Double click to add a Task!"
    QString accessibleName; // the tree's name for screen readers: its tab's caption
    QStringList tipTexts;   // by tip kind; 0 is empty
    QList<int> tipIcons;    // by tip kind, entries of the 16-pixel list (-1 none)
    int emptyTipKind = 0;   // the tip shown instead of none when no node is visible
    int editTipKind = 0;    // shown while editing
    int searchTipKind = 0;
    bool tipBeforeRemove = false; // 2036: the tip is judged before (memos) or after the removal
    QString subNumberSuffix;      // list view: "(n)" is followed by this ("" tasks, " " memos)
    ImageList images16;
    ImageList images22;
    int searchIdleImage = -1;    // the search button in placeholder mode
    int searchActiveImage = -1;  // ... and with the user's text
    int sortAscendingImage = -1; // the sort button while ascending (a click sorts descending)
    int sortDescendingImage = -1;
    QString selectFirst; // Add Sub-Item on an empty tree: "Please select a task!"
    QString deleteOne;   // "this task?"
    QString deleteMany;  // "these tasks?"
    QList<TZvHelpItem> helpItems;
    std::array<TZvCommandText, std::size_t(TZvCommand::Count)> commands;
    // Where the row count goes in the main window.
    void (TZvFrameHost::*setCounts)(int privateCount, int publicCount) = nullptr;
};

// The machinery the two frames share: the tree and its gestures, the edit state machine
// (editNode and the posted messages 2034, 2035, 2036), the tip panel, the search box with
// its placeholder, list-view numbering and the hover delay, the sort rule, moving, copy and
// paste. Each frame supplies its table, texts, records and extra commands.
class TZvItemFrame : public TZvFrame
{
    Q_OBJECT
public:
    TZvItemFrame(TZvFrameHost* host, const TZvFrameTraits& traits, QWidget* parent);
    ~TZvItemFrame() override;

    // ---- state shared by name between the frames ----
    bool initialising = false;
    bool focusedOnce = false;
    int tipKind = 0;
    TZvNode* editNode = nullptr;
    TZvNode* hotNode = nullptr;
    QString searchText;
    bool searchActive = false;
    bool sortAscending = true;
    int mouseX = 0;
    int mouseY = 0;

    TZvTree* tree() const { return m_tree; }
    TZvFrameHost* host() const { return m_host; }
    const TZvFrameTraits& traits() const { return m_traits; }

    // ---- the commands both lists have, by the names both give them ----
    QAction* Action_ViewAsc = nullptr;
    QAction* Action_ViewList = nullptr;
    QAction* Action_ExpandAll = nullptr;
    QAction* Action_CollapseAll = nullptr;
    QAction* Action_SelectAll = nullptr;
    QAction* Action_Deselect = nullptr;
    QAction* Action_Export = nullptr;
    QAction* Action_Email = nullptr;
    QAction* Action_Save = nullptr;
    QAction* Action_SaveAll = nullptr;
    QAction* Action_Print = nullptr;
    QMenu* PopupMenu_Null = nullptr; // the tree's menu over empty space
    QMenu* Menu_Moveto = nullptr;    // the "Move to" submenu of the node menu

    // ---- controls ----
    QToolBar* ToolBar_Top = nullptr;
    QFrame* Panel_tip = nullptr;
    QLabel* Image_Tip = nullptr;
    QLabel* label_tip = nullptr;
    QToolBar* ToolBar_Bottom = nullptr;
    QLineEdit* Edt_Search = nullptr;
    QToolButton* Btn_Search = nullptr;
    TZvStatusBar* ZvStatusBar1 = nullptr;
    QLabel* StatusImage = nullptr;
    QTimer* Timer_HotDelay = nullptr;
    std::unique_ptr<TADOQuery> ADOQuery1;
    std::unique_ptr<TADOQuery> ADOQuery2;

    // ---- TZvFrame ----
    QList<QMenu*> MainMenuMenus() const override { return m_mainMenus; }
    void FinishEditing() override;
    void PasteFromTray() override; // the tray's Paste: as Ctrl+V
    bool Loaded() const override { return m_initDone; }

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
    static int CompareContent(const QString& a, const QString& b);
    // The selected nodes' contents in tree order, joined by single carriage returns.
    QString SelectionText() const;
    // Nodes in tree order that the selection would write out (reports, exchange files).
    std::vector<TZvNode*> SelectedInTreeOrder() const;

    // ---- shared command bodies ----
    virtual void Action_ExportExecute() = 0; // the selection into an exchange file
    virtual void SaveExecute(bool all) = 0;
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
    void ExpandAllExecute(bool expand);

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
    enum class Guard
    {
        Idle, // refused while an edit is under way or an exchange operation runs
        None
    };
    // An action with its caption, hint and picture (-1 none) whose command runs inside the
    // program-wide error wrapper, refused as `guard` says.
    QAction* MakeAction(const QString& caption, const QString& hint, int image, std::function<void()> run,
                        Guard guard = Guard::Idle);
    // The actions UpdateActions disables, enables when no edit is under way, and enables
    // only with a selected node.
    void SetActionSets(const QList<QAction*>& all, const QList<QAction*>& idle,
                       const QList<QAction*>& selection, const QList<QMenu*>& moveMenus);
    QMenu* FileMenu(QAction* exportAction, QAction* saveAll, QAction* print);
    QMenu* EditMenu(QAction* copy, QAction* paste, QAction* selectAll, QAction* deselect);
    QMenu* HelpMenu();
    void BuildLayout(QWidget* rangeBox = nullptr, QAction* leadingSearchAction = nullptr);
    void SetMainMenus(const QList<QMenu*>& menus) { m_mainMenus = menus; }
    void SetPopupMenus(QMenu* onNode, QMenu* onEmptySpace)
    {
        m_nodeMenu = onNode;
        m_nullMenu = onEmptySpace;
    }
    // The shared commands each list calls by a name of its own, in this order: Add, Add
    // Sub-item, Edit, Delete, Move to, Copy, Paste.
    std::tuple<QAction*, QAction*, QAction*, QAction*, QAction*, QAction*, QAction*> OwnNamedCommands() const;
    void ActivateFrame();  // message 2025
    void ResetSearchBox(); // placeholder text in gray, the search lifted
    void ShowSortDirection();
    TZvNode* AppendNewNode(TZvNode* parent, std::unique_ptr<TZvNodeData> record);
    void PostStartEdit();
    void CancelEditFirst(); // before pasting: a running edit is cancelled
    void StoreExpandFlag(TZvNode* node, bool expanded);
    void PaintBackground(TZvNode* node, QPainter* painter, const QRect& rect, int ownColor) const;
    void RebuildMoveMenus(const QList<QMenu*>& menus);
    bool Busy() const; // an exchange operation holds the frame's commands off
    bool ListViewOn() const;
    QString Trimmed(const QString& text) const;

    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QStringMatcher m_searchMatcher; // the search text, case-sensitive

    void makeCommands();
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
    void searchEnter();
    void searchExit();
    void searchChange(const QString& text);
    void searchButton();
    void layoutSearchBar();
    void relayoutTip();
    void fillMoveMenu(QMenu* menu);
    static bool MayGoUnderAnItem(const TZvNode* node);
    // Up to two selected items that may go under an item: whatever the target, they tell
    // whether a move there moves something (one of them is not the target).
    std::vector<TZvNode*> ItemMovers() const;
    bool MovesSomething(TZvNode* target, const std::vector<TZvNode*>& movers) const;

    TZvFrameHost* m_host;
    TZvFrameTraits m_traits;
    TZvTree* m_tree = nullptr;
    QList<QMenu*> m_mainMenus;
    QList<QAction*> m_allActions, m_idleActions, m_selectionActions;
    QList<QMenu*> m_moveMenus;
    std::array<QAction*, std::size_t(TZvCommand::Count)> m_commands{};
    QMenu* m_nodeMenu = nullptr;
    QMenu* m_nullMenu = nullptr;
    QSet<TZvNode*> m_pendingRemoval;
    bool m_loadedOnce = false; // no query runs before the first 2024
    bool m_initDone = false;

protected:
    bool m_loading = false; // expanding while loading stores nothing and updates nothing
};

} // namespace zv
