#pragma once

#include "ZvDb.h"
#include "ZvFrame.h"
#include "ZvIcons.h"
#include "ZvTreeModel.h"

#include <QSet>
#include <QStringList>
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

// The fields of a node record both frames have: the row's id, its parent id, its text
// and whether its sub-items are shown.
struct TZvItemRef
{
    QString* id = nullptr;
    QString* pid = nullptr;
    QString* content = nullptr;
    bool* expandFlag = nullptr;
};

// What differs between the task frame and the memo frame, given once by each.
struct TZvFrameTraits
{
    QString table;        // "tasks" / "memos"
    QString idColumn;     // "tid" / "mid"
    QString iniSection;   // "task" / "memo"
    QString treeHint;     // "Double click to add a Task!"
    QStringList tipTexts; // by tip kind; 0 is empty
    QList<int> tipIcons;  // by tip kind, entries of the 16-pixel list (-1 none)
    int emptyTipKind = 1; // the tip shown instead of none when no node is visible
    int editTipKind = 2;  // shown while editing
    int searchTipKind = 3;
    bool tipBeforeRemove = false; // 2036: the tip is judged before (memos) or after the removal
    QString subNumberSuffix;      // list view: "(n)" is followed by this ("" tasks, " " memos)
    ImageList images16 = ImageList::Task16;
    ImageList images22 = ImageList::Task22;
    int searchIdleImage = 20;   // the search button in placeholder mode
    int searchActiveImage = 21; // ... and with the user's text
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

    // ---- routines ----
    virtual void InitFrame() = 0;
    virtual void UpdateActions() = 0;
    virtual void Filter() = 0;
    void ShowTip(int kind);
    void ShowRandomStatusTip();
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
    void SelectAllExecute();
    void DeselectExecute();
    void CopyExecute();
    void ExpandAllExecute(bool expand);
    // The sort command: flips the direction, shows it on the button, sorts, stores it.
    void ToggleSort(QAction* sortAction, int imageAscending, int imageDescending);
    // Moves the selection under target (nullptr: the top level), as a drop does (at the
    // end, in order) or as Move to does (each to the front).
    void MoveSelection(TZvNode* target, bool toFront);
    // A move the two-level model allows: never under itself, and an item with sub-items
    // never under another item.
    bool CanMoveUnder(TZvNode* node, TZvNode* target) const;
    // The items of the Move to menus for the first selected node, in order ("Root" and a
    // separator first for a sub-item); a node of nullptr stands for the top level.
    struct MoveTarget
    {
        QString caption;
        TZvNode* node = nullptr;
        bool separator = false;
    };
    QList<MoveTarget> MoveTargets() const;

protected:
    // ---- what each frame supplies ----
    virtual TZvItemRef Item(TZvNode* node) const = 0;
    virtual void StoreNewText(TZvNode* node, const QString& text) = 0;
    virtual void AddItemExecute() = 0;     // Enter, 2034, double click on empty space
    virtual void AddChildExecute() = 0;    // Ctrl+Enter
    virtual void DeleteExecute() = 0;      // Delete
    virtual void PasteExecute() = 0;       // Ctrl+V
    virtual void TipClicked(int kind) = 0; // a click on the tip panel's text
    virtual bool ListViewOn() const = 0;
    virtual int SearchBoxWidth() const = 0;            // the layout rule of the search bar
    virtual void OnSelectionChange(TZvNode* node) = 0; // after UpdateActions

    // ---- building blocks for the frames ----
    void BuildLayout(QWidget* rangeBox = nullptr, QAction* leadingSearchAction = nullptr);
    void SetMainMenus(const QList<QMenu*>& menus) { m_mainMenus = menus; }
    void ActivateFrame();  // message 2025
    void ResetSearchBox(); // placeholder text in gray, the search lifted
    void ShowSortDirection(QAction* sortAction, int imageAscending, int imageDescending);
    TZvNode* AppendNewNode(TZvNode* parent, std::unique_ptr<TZvNodeData> record);
    void PostStartEdit();
    void CancelEditFirst(); // before pasting: a running edit is cancelled
    void StoreExpandFlag(TZvNode* node, bool expanded);
    void StorePid(TZvNode* node);
    void PaintBackground(TZvNode* node, QPainter* painter, const QRect& rect, int ownColor) const;
    void RebuildMoveMenus(const QList<QMenu*>& menus);
    bool Busy() const; // an exchange operation holds the frame's commands off
    QString Trimmed(const QString& text) const;

    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void wireTree();
    void onEditing(TZvNode* node, int column, bool& allowed);
    void onEdited(TZvNode* node);
    void onEditCancelled(TZvNode* node);
    bool onKeyDown(QKeyEvent* event);
    void onHotChange(TZvNode* node);
    void onHotDelay();
    void onDragDrop(TZvNode* node);
    bool onDragOver(TZvNode* node);
    void onRemoveNode(TZvNode* node);
    void searchEnter();
    void searchExit();
    void searchChange(const QString& text);
    void searchButton();
    void layoutSearchBar();
    void relayoutTip();
    void fillMoveMenu(QMenu* menu);

    TZvFrameHost* m_host;
    TZvFrameTraits m_traits;
    TZvTree* m_tree = nullptr;
    QList<QMenu*> m_mainMenus;
    QSet<TZvNode*> m_pendingRemoval;
    bool m_settingSearchText = false;

protected:
    bool m_loading = false; // expanding while loading stores nothing and updates nothing
};

} // namespace zv
