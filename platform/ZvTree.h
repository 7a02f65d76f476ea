#pragma once

// TZvTree: the two-level tree control both frames use (tasks and memos).
//
// Usage from a frame:
//
//     auto* tree = new zv::TZvTree(this);
//     tree->events.GetText = [](zv::TZvNode* n) { return n->dataAs<TTaskInfo>()->content; };
//     tree->events.MeasureItem = [tree](zv::TZvNode* n) { return tree->textHeight(n, {}) + 4; };
//     tree->events.Checked = [this](zv::TZvNode* n) { ... store n->isChecked() ... };
//     tree->beginUpdate();
//     zv::TZvNode* n = tree->addChild(nullptr, std::make_unique<TTaskInfo>());
//     tree->setCheckBox(n, true);
//     tree->setChecked(n, info->checkFlag);          // silent while loading
//     tree->setMultiLine(n, true);
//     tree->setAlignment(n, 0);                       // expand button at the top
//     tree->endUpdate();                              // one relayout for the whole load
//
// - Nodes are owned by the tree; a node's record (TZvNodeData) is freed with it, after the
//   FreeNode event. Node pointers stay valid until the node is deleted or the tree cleared.
// - Hidden nodes keep their place and sibling index; they are simply not rows of the view.
//   Hiding a node drops it from the selection.
// - Every event is optional (an empty std::function means the default behaviour). Events
//   raised by the user's input run inside zv::Guarded; events raised by a call of the frame
//   (setChecked as a user change, expand, startEdit...) let exceptions reach the caller.
// - Editing: F2 and a second click on the focused node raise Editing(node, 0); startEdit
//   raises it too and opens the editor only when it answers true. The editor's text uses
//   CR LF line breaks. Enter inserts a line break, Ctrl+Enter ends keeping the text, Esc
//   cancels, leaving the editor ends keeping the text.
// - Keys: KeyDown sees every key first (Enter and Ctrl+Enter included) and stops the tree's
//   own handling by returning true. Tree keys: F2, Space (check box), Ctrl+A, arrows.
// - The selection holds siblings only: the newest clicked node's siblings survive.

#include "platform/ZvTreeLayout.h"
#include "platform/ZvTreeModel.h"

#include <QAbstractItemView>
#include <QIcon>
#include <QPointer>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

class QPagedPaintDevice;
class QPlainTextEdit;

namespace zv {

// What the delegate needs of the view while a node is edited, and nothing more.
class TZvTreeEditing
{
public:
    virtual QString editStartText() const = 0;           // LF line breaks
    virtual void editorMade(QPlainTextEdit* editor) = 0; // the editor of the node being edited
    virtual bool isEditorOf(const QObject* object) const = 0;
    virtual void finishEditing(bool keep) = 0; // Ctrl+Enter, Esc, leaving the editor
    // Where the editor goes over the item rectangle of the node at index.
    virtual QRect editorRect(const QModelIndex& index, const QRect& itemRect) const = 0;

protected:
    ~TZvTreeEditing() = default;
};

// The in-place editor: made, filled and placed for the view, its keys turned into the end
// of the edit. Rows themselves are painted by the view.
class TZvTreeDelegate : public QStyledItemDelegate
{
public:
    TZvTreeDelegate(TZvTreeEditing* editing, QObject* parent);
    void paint(QPainter*, const QStyleOptionViewItem&, const QModelIndex&) const override {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TZvTreeEditing* m_editing;
};

// The tree's events, named as the frames' handlers are.
struct TZvTreeEvents
{
    std::function<QString(TZvNode*)> GetText;
    // font and text colour start as the tree's; the handler may change both
    std::function<void(TZvNode*, QFont&, QColor&)> PaintText;
    // paints the background of a row (the whole row rectangle) before its content
    std::function<void(TZvNode*, QPainter*, const QRect&)> BeforeCellPaint;
    std::function<int(TZvNode*)> MeasureItem;   // row height in pixels
    std::function<int(TZvNode*)> GetImageIndex; // -1: no icon
    std::function<QIcon(int)> ImageProvider;    // image index -> icon
    std::function<void(TZvNode*)> Checked;      // after a user change of the check state
    std::function<bool(TZvNode*, int column)> Editing;
    std::function<void(TZvNode*, const QString&)> NewText; // only when the text changed
    std::function<void(TZvNode*)> Edited;
    std::function<void(TZvNode*)> EditCancelled;
    std::function<bool(QKeyEvent*)> KeyDown; // true: handled, the tree does nothing more
    std::function<void()> DblClick;
    std::function<void(const QPoint&)> MouseMove; // viewport coordinates
    std::function<void(TZvNode*)> Expanded;
    std::function<void(TZvNode*)> Collapsed;
    std::function<void(TZvNode*)> Change;    // selection changed: the node, or nullptr
    std::function<void(TZvNode*)> HotChange; // node under the mouse changed (or nullptr)
    std::function<int(TZvNode*, TZvNode*)> CompareNodes;
    // A sort by a text of each node, when both are given (CompareNodes otherwise): each text
    // is taken once per sort, and a comparison reads the two texts only, not the nodes.
    std::function<QStringView(TZvNode*)> SortKey;
    std::function<int(QStringView, QStringView)> CompareKeys;
    // Optional: a number for a text whose order never contradicts CompareKeys, so that most
    // comparisons of a sort need not read the texts (equal numbers: CompareKeys decides).
    std::function<TZvSortHead(QStringView)> SortHead;
    std::function<bool(TZvNode*)> DragAllowed;
    std::function<bool(TZvNode*)> DragOver; // node under the point or nullptr; true accepts
    std::function<void(TZvNode*)> DragDrop; // node at the drop point or nullptr
    std::function<void(TZvNode*, const QPoint& globalPos)> GetPopupMenu;
    std::function<void(TZvNode*)> FreeNode; // before the node and its record are freed
};

// The view: rows of a TZvTreeLayout, scrolled one row at a time (the scroll bar's value is
// the top row), painted and hit-tested over that layout in O(log n) per question.
class TZvTree : public QAbstractItemView, private TZvTreeEditing
{
    Q_OBJECT
public:
    enum class HitArea
    {
        Nowhere,
        Indent,
        Button,
        CheckBox,
        Icon,
        Label,
        RightOfLabel
    };
    struct HitInfo
    {
        TZvNode* node = nullptr;
        HitArea area = HitArea::Nowhere;
    };

    explicit TZvTree(QWidget* parent = nullptr);
    ~TZvTree() override;

    TZvTreeEvents events;

    TZvTreeModel* treeModel() const { return m_model; }

    // ---- structure ----
    TZvNode* addChild(TZvNode* parent, std::unique_ptr<TZvNodeData> data = {}); // nullptr: top level
    void deleteNode(TZvNode* node);
    void deleteChildren(TZvNode* node);
    void deleteSelected();
    void clear();
    bool moveToFirstChild(TZvNode* node, TZvNode* parent); // parent nullptr: the top level
    bool moveToLastChild(TZvNode* node, TZvNode* parent);
    // These children of parent each to its index among them (hidden ones counted), in the
    // order of the indexes; the others keep their order around them. Past the end: last.
    void placeChildren(TZvNode* parent, std::vector<std::pair<int, TZvNode*>> entries);
    void beginUpdate();
    void endUpdate();

    // ---- walking (all nodes, hidden ones included) ----
    TZvNode* firstTopLevel() const;
    TZvNode* nextNode(const TZvNode* node) const; // pre-order
    TZvNode* lastTopLevel() const;
    TZvNode* nextSibling(const TZvNode* node) const;
    int totalCount() const;
    int visibleCount() const; // nodes shown (visible and under a visible parent)
    bool isShown(const TZvNode* node) const;

    // ---- node attributes ----
    void setNodeVisible(TZvNode* node, bool visible);
    bool isNodeVisible(const TZvNode* node) const { return node && node->isVisible(); }
    void setCheckBox(TZvNode* node, bool on);
    void setChecked(TZvNode* node, bool checked, bool asUserChange = false);
    void setMultiLine(TZvNode* node, bool on);
    void setAlignment(TZvNode* node, int alignment); // 0 top ... 50 centre
    void setExpanded(TZvNode* node, bool expanded);
    void expand(TZvNode* node) { setExpanded(node, true); }
    void collapse(TZvNode* node) { setExpanded(node, false); }
    bool isNodeExpanded(const TZvNode* node) const { return node && node->isExpanded(); }
    void invalidateNode(TZvNode* node); // measured and painted again
    void invalidateAll();
    void repaintNode(TZvNode* node); // at once

    // ---- selection and focus ----
    TZvNode* firstSelected() const;
    TZvNode* nextSelected(const TZvNode* node) const;
    std::vector<TZvNode*> selectedNodes() const; // tree order
    int selectedCount() const;
    bool isSelected(const TZvNode* node) const;
    void setSelected(TZvNode* node, bool selected);
    void selectAllVisible();
    void clearNodeSelection();
    TZvNode* focusedNode() const;
    void setFocusedNode(TZvNode* node);

    // ---- editing ----
    bool startEdit(TZvNode* node); // raises Editing first
    void endEdit();                // keeps the text
    void cancelEdit();
    bool isEditing() const { return m_editNode != nullptr; }
    TZvNode* editedNode() const { return m_editNode; }
    QPlainTextEdit* editor() const;

    // ---- geometry ----
    TZvNode* nodeAt(const QPoint& viewportPos) const;
    HitInfo hitTest(const QPoint& viewportPos) const;
    TZvNode* hotNode() const { return m_hot; }
    // Height of text (the node's own text when null) wrapped in the node's text cell.
    int textHeight(TZvNode* node, const QString& text) const;
    int textWidth(const TZvNode* node) const;  // width of the node's text area
    QRect nodeRect(const TZvNode* node) const; // row rectangle, empty when the node is no row

    // The tree's own hint, shown over empty space only (nodes have no hint).
    void setEmptySpaceHint(const QString& hint) { m_emptyHint = hint; }

    // ---- sort ----
    void sortTree(bool ascending);

    // ---- printing ----
    // Prints the rows as shown (expanded and collapsed as on screen) on a white background,
    // page by page. Returns the number of pages.
    int printTo(QPagedPaintDevice* device);

    QModelIndex indexOf(const TZvNode* node) const { return m_model->indexOf(node); }
    TZvNode* nodeOf(const QModelIndex& index) const { return m_model->nodeFromIndex(index); }
    QString nodeText(TZvNode* node) const;
    const TZvTreeLayout& rowLayout() const { return m_layout; }

    struct CellLayout
    {
        QRect check, icon, text;
        int iconIndex = -1;
    };
    CellLayout cellLayout(TZvNode* node, const QRect& itemRect) const;

    // What a tree view offers its users.
    int indentation() const { return m_indentation; }
    void setIndentation(int pixels);
    bool isExpanded(const QModelIndex& index) const { return isNodeExpanded(nodeOf(index)); }

    // QAbstractItemView
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void keyboardSearch(const QString&) override {}
    void selectAll() override;
    void doItemsLayout() override;

protected:
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

protected slots:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    // TZvTreeEditing
    QString editStartText() const override;
    void editorMade(QPlainTextEdit* editor) override;
    bool isEditorOf(const QObject* object) const override;
    void finishEditing(bool keep) override { finishEdit(keep); }
    QRect editorRect(const QModelIndex& index, const QRect& itemRect) const override;

    // model and layout
    void onNodeFreeing(TZvNode* node);
    void onRelaidOut();
    void rowsChanged(); // the rows to show changed: laid out again before the next paint
    int measureNode(TZvNode* node) const;
    int topRow() const;
    // Measures the rows from the top row down to the viewport's bottom edge.
    void measureViewport() const;
    int rowTop(int row) const; // in viewport coordinates
    void setTopRow(int row);
    int lastTopRow() const; // the top row that shows the last row at the bottom

    // painting (ZvTreePaint.cpp)
    void paintRow(QPainter* painter, TZvNode* node, const QRect& rowRect, bool selected, bool printing) const;
    void paintButton(QPainter* painter, TZvNode* node, const QRect& rowRect, bool selected) const;
    QRect itemRectFor(const TZvNode* node, const QRect& rowRect) const;
    QRect buttonRect(const TZvNode* node, const QRect& rowRect) const;

    // input (ZvTreeInput.cpp)
    bool acceptsDrag(const QDropEvent* event) const;
    void setExpandedByUser(TZvNode* node, bool expanded);
    void setHot(TZvNode* node);
    void toggleCheck(TZvNode* node);
    // Down, Up and Home select the first shown row, End the last, while nothing is selected
    // and no row has been chosen as the current one; false: the key is the view's.
    bool selectFirstKeyTarget(int key);
    void stopEditTimer();

    void finishEdit(bool keep);
    void bumpHeights();
    int lineHeight() const;
    static bool orderLess(const TZvNode* a, const TZvNode* b);

    TZvTreeModel* m_model;
    mutable TZvTreeLayout m_layout;
    TZvTreeDelegate* m_delegate;
    int m_indentation = 20;
    TZvNode* m_hot = nullptr;
    TZvNode* m_editNode = nullptr;
    QPointer<QPlainTextEdit> m_editor;
    QString m_editStart;
    QString m_emptyHint;
    bool m_openingEditor = false;
    bool m_finishing = false;
    bool m_pruning = false;
    bool m_wholeSelectionChange = false; // clear or select all: the change names no node
    bool m_relayouting = false;
    int m_selectedBeforeLayout = 0; // selected nodes when the last relayout began
    bool m_currentUnchosen = false; // the current row is the view's own pick at focus-in
    TZvNode* m_pressNode = nullptr;
    bool m_pressWasFocused = false;
    int m_editTimer = 0;
    TZvNode* m_editTimerNode = nullptr;
    int m_lastWidth = -1;
    QRect m_dropRect; // where the drop indicator is painted, viewport coordinates
    mutable std::vector<TZvNode*> m_selCache;
    mutable bool m_selCacheValid = false;
};

} // namespace zv
