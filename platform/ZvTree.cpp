#include "platform/ZvTree.h"

#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace zv {

namespace {

// The stored text uses CR LF; the editor and the painter use LF.
QString toLf(const QString& s)
{
    return LfLineBreaks(s);
}

QString toCrLf(QString s)
{
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return CrLfLineBreaks(s);
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

int textMargin(const QWidget* w)
{
    return w->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
}

} // namespace

// ---- delegate: row heights from the node cache, and the in-place editor ----------------

class TZvTreeDelegate : public QStyledItemDelegate
{
public:
    explicit TZvTreeDelegate(TZvTree* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        TZvNode* node = m_tree->nodeOf(index);
        return QSize(option.rect.width(), node ? m_tree->cachedHeight(node) : m_tree->lineHeight() + 4);
    }

    void paint(QPainter*, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        // rows are painted by TZvTree::drawRow
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QPlainTextEdit(parent);
        editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        editor->setTabChangesFocus(false);
        editor->setFont(m_tree->font());
        m_tree->m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex&) const override
    {
        if (auto* ed = qobject_cast<QPlainTextEdit*>(editor)) {
            ed->setPlainText(toLf(m_tree->m_editStart));
            ed->moveCursor(QTextCursor::End);
        }
    }

    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override
    {
        // the text reaches the frame through NewText
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override
    {
        TZvNode* node = m_tree->nodeOf(index);
        if (!node) return;
        const TZvTree::CellLayout cell = m_tree->cellLayout(node, option.rect);
        const int m = textMargin(m_tree);
        QRect r = cell.text.adjusted(-m, -2, m, 2);
        r.setRight(std::min(r.right(), m_tree->viewport()->width() - 1));
        editor->setGeometry(r);
    }

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (object != m_tree->m_editor) return QStyledItemDelegate::eventFilter(object, event);
        auto* editor = static_cast<QPlainTextEdit*>(object);
        switch (event->type()) {
        case QEvent::ShortcutOverride: {
            auto* ke = static_cast<QKeyEvent*>(event);
            if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Escape) {
                event->accept();
                return true;
            }
            return false;
        }
        case QEvent::KeyPress: {
            auto* ke = static_cast<QKeyEvent*>(event);
            if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
                if (ke->modifiers() & Qt::ControlModifier)
                    Guarded([&] { m_tree->finishEdit(true); });
                else
                    editor->textCursor().insertText(QStringLiteral("\n"));
                editor->ensureCursorVisible();
                return true;
            }
            if (ke->key() == Qt::Key_Escape) {
                Guarded([&] { m_tree->finishEdit(false); });
                return true;
            }
            return false;
        }
        case QEvent::FocusOut: {
            auto* fe = static_cast<QFocusEvent*>(event);
            if (fe->reason() == Qt::PopupFocusReason) return false; // the editor's own context menu
            for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
                if (w == editor) return false;
            Guarded([&] { m_tree->finishEdit(true); });
            return false;
        }
        default:
            return false;
        }
    }

private:
    TZvTree* m_tree;
};

// ---- construction ---------------------------------------------------------------------

TZvTree::TZvTree(QWidget* parent)
    : QTreeView(parent), m_model(new TZvTreeModel(this)), m_delegate(new TZvTreeDelegate(this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setUniformRowHeights(false);
    // Per-pixel scrolling would measure every row after each relayout; a scroll bar that
    // comes and goes would change the width and so every height.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAnimated(false);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) { onViewExpanded(i, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& i) { onViewExpanded(i, false); });
    connect(m_model, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        m_relayouting = true;
        m_selCacheValid = false;
        m_selectedBeforeLayout = selectedCount();
    });
    connect(header(), &QHeaderView::sectionResized, this, [this](int, int oldSize, int newSize) {
        if (oldSize != newSize) bumpHeights();
    });
}

TZvTree::~TZvTree()
{
    // the records go with the nodes; the frame hears of each one
    m_editNode = nullptr;
    m_model->clear();
}

int TZvTree::lineHeight() const
{
    return fontMetrics().height();
}

void TZvTree::bumpHeights()
{
    ++m_heightGen;
    scheduleDelayedItemsLayout();
}

// ---- structure ------------------------------------------------------------------------

TZvNode* TZvTree::addChild(TZvNode* parent, std::unique_ptr<TZvNodeData> data)
{
    m_selCacheValid = false;
    return m_model->append(parent, std::move(data));
}

static bool isWithin(const TZvNode* node, const TZvNode* ancestor)
{
    for (const TZvNode* n = node; n; n = n->parent())
        if (n == ancestor) return true;
    return false;
}

void TZvTree::deleteNode(TZvNode* node)
{
    if (!node) return;
    if (m_editNode && isWithin(m_editNode, node)) cancelEdit();
    m_selCacheValid = false;
    m_model->remove(node);
    // The view moves the current row off a removed one wherever it likes, or nowhere: the
    // keys go on from the selection, as the user sees it.
    TZvNode* selected = firstSelected();
    if (selected && !isSelected(focusedNode())) setFocusedNode(selected);
}

void TZvTree::deleteChildren(TZvNode* node)
{
    if (!node) return;
    if (m_editNode && m_editNode != node && isWithin(m_editNode, node)) cancelEdit();
    m_selCacheValid = false;
    m_model->removeChildren(node);
}

void TZvTree::deleteSelected()
{
    const std::vector<TZvNode*> nodes = selectedNodes();
    if (m_editNode)
        for (TZvNode* n : nodes)
            if (isWithin(m_editNode, n)) {
                cancelEdit();
                break;
            }
    m_selCacheValid = false;
    m_model->removeMany(nodes);
}

void TZvTree::clear()
{
    if (m_editNode) cancelEdit();
    m_hot = nullptr;
    m_anchor = QPersistentModelIndex();
    m_selCacheValid = false;
    m_model->clear();
}

bool TZvTree::moveToFirstChild(TZvNode* node, TZvNode* parent)
{
    m_selCacheValid = false;
    return m_model->move(node, parent, true);
}

bool TZvTree::moveToLastChild(TZvNode* node, TZvNode* parent)
{
    m_selCacheValid = false;
    return m_model->move(node, parent, false);
}

bool TZvTree::moveToIndex(TZvNode* node, TZvNode* parent, int index)
{
    m_selCacheValid = false;
    return m_model->moveTo(node, parent, index);
}

void TZvTree::beginUpdate()
{
    m_model->beginUpdate();
}

void TZvTree::endUpdate()
{
    const quint64 before = m_model->layoutCount();
    m_model->endUpdate();
    if (!m_model->inUpdate()) {
        // An update that moved no row keeps the view's layout: a filter that shows and hides
        // nothing (a task completed while all are shown) must not lay out every row again.
        if (m_model->layoutCount() != before) scheduleDelayedItemsLayout();
        viewport()->update();
    }
}

int TZvTree::updateCount() const
{
    return m_model->inUpdate() ? 1 : 0;
}

void TZvTree::nodeFreeing(TZvNode* node)
{
    if (m_hot == node) m_hot = nullptr;
    if (m_editNode == node) m_editNode = nullptr;
    if (m_pressNode == node) m_pressNode = nullptr;
    if (m_editTimerNode == node) {
        if (m_editTimer) killTimer(m_editTimer);
        m_editTimer = 0;
        m_editTimerNode = nullptr;
    }
    m_selCacheValid = false;
    if (events.FreeNode) events.FreeNode(node);
}

void TZvTree::afterRelayout()
{
    m_relayouting = false;
    m_selCacheValid = false;
    if (m_hot && !m_hot->m_published) m_hot = nullptr;
    // The view forgets the expansion of rows that went away; the node keeps it. Right
    // after a layout change the view only records it (its own relayout is still pending).
    m_syncingExpansion = true;
    for (TZvNode* n : m_model->newlyPublished())
        if (n->m_expanded) QTreeView::setExpanded(m_model->indexOf(n), true);
    m_syncingExpansion = false;
    // Rows that went away (hidden by a filter, removed) left the selection without a word
    // from the view: a change of the selection as a whole.
    const int before = std::exchange(m_selectedBeforeLayout, 0);
    if (before > 0 && selectedCount() < before && events.Change) Guarded([&] { events.Change(nullptr); });
}

// ---- walking --------------------------------------------------------------------------

TZvNode* TZvTree::firstNode() const
{
    return firstTopLevel();
}

TZvNode* TZvTree::nextNode(const TZvNode* node) const
{
    if (!node) return nullptr;
    if (!node->m_children.empty()) return node->m_children.front().get();
    const TZvNode* root = m_model->root();
    for (const TZvNode* n = node; n && n != root; n = n->m_parent) {
        const TZvNode* p = n->m_parent;
        if (size_t(n->m_index + 1) < p->m_children.size()) return p->m_children[size_t(n->m_index + 1)].get();
    }
    return nullptr;
}

TZvNode* TZvTree::firstTopLevel() const
{
    const TZvNode* root = m_model->root();
    return root->m_children.empty() ? nullptr : root->m_children.front().get();
}

TZvNode* TZvTree::lastTopLevel() const
{
    const TZvNode* root = m_model->root();
    return root->m_children.empty() ? nullptr : root->m_children.back().get();
}

TZvNode* TZvTree::nextSibling(const TZvNode* node) const
{
    if (!node || !node->m_parent) return nullptr;
    const auto& list = node->m_parent->m_children;
    return size_t(node->m_index + 1) < list.size() ? list[size_t(node->m_index + 1)].get() : nullptr;
}

TZvNode* TZvTree::firstChild(const TZvNode* node) const
{
    if (!node) return firstTopLevel();
    return node->m_children.empty() ? nullptr : node->m_children.front().get();
}

int TZvTree::totalCount() const
{
    return m_model->nodeCount();
}

int TZvTree::visibleCount() const
{
    return m_model->publishedCount();
}

bool TZvTree::isShown(const TZvNode* node) const
{
    return node && node->m_published;
}

// ---- attributes -----------------------------------------------------------------------

void TZvTree::setVisible(TZvNode* node, bool visible)
{
    if (!node || node->m_visible == visible) return;
    if (!visible && m_editNode && isWithin(m_editNode, node)) cancelEdit();
    m_model->setVisible(node, visible);
}

void TZvTree::setCheckBox(TZvNode* node, bool on)
{
    if (!node || node->m_checkBox == on) return;
    node->m_checkBox = on;
    invalidateNode(node);
}

void TZvTree::setChecked(TZvNode* node, bool checked, bool asUserChange)
{
    if (!node || node->m_checked == checked) return;
    node->m_checked = checked;
    viewport()->update(nodeRect(node));
    if (asUserChange && events.Checked) events.Checked(node);
}

void TZvTree::toggleCheck(TZvNode* node)
{
    if (node && node->m_checkBox) setChecked(node, !node->m_checked, true);
}

void TZvTree::setMultiLine(TZvNode* node, bool on)
{
    if (!node || node->m_multiLine == on) return;
    node->m_multiLine = on;
    invalidateNode(node);
}

void TZvTree::setAlignment(TZvNode* node, int alignment)
{
    if (!node) return;
    node->m_alignment = std::clamp(alignment, 0, 100);
    viewport()->update(nodeRect(node));
}

void TZvTree::setExpanded(TZvNode* node, bool expanded)
{
    // Like the tree it stands in for, only a node with children opens.
    if (!node || node->m_expanded == expanded || (expanded && node->m_children.empty())) return;
    node->m_expanded = expanded;
    const QModelIndex idx = m_model->indexOf(node);
    if (idx.isValid()) {
        // With a relayout pending the view only records the change: a loop over every
        // node costs one layout instead of one reshuffle of all rows per node.
        scheduleDelayedItemsLayout();
        m_syncingExpansion = true;
        QTreeView::setExpanded(idx, expanded);
        m_syncingExpansion = false;
    }
    if (expanded && events.Expanded)
        events.Expanded(node);
    else if (!expanded && events.Collapsed)
        events.Collapsed(node);
}

void TZvTree::onViewExpanded(const QModelIndex& index, bool expanded)
{
    if (m_syncingExpansion) return;
    TZvNode* node = nodeOf(index);
    if (!node || node->m_expanded == expanded) return;
    Guarded([&] {
        node->m_expanded = expanded;
        if (expanded && events.Expanded)
            events.Expanded(node);
        else if (!expanded && events.Collapsed)
            events.Collapsed(node);
    });
}

void TZvTree::invalidateNode(TZvNode* node)
{
    if (!node) return;
    node->m_height = -1;
    if (node->m_published) {
        scheduleDelayedItemsLayout();
        viewport()->update();
    }
}

void TZvTree::invalidateAll()
{
    bumpHeights();
    viewport()->update();
}

void TZvTree::repaintNode(TZvNode* node)
{
    executeDelayedItemsLayout();
    const QRect r = nodeRect(node);
    if (!r.isEmpty()) viewport()->repaint(r);
}

// ---- selection ------------------------------------------------------------------------

bool TZvTree::orderLess(const TZvNode* a, const TZvNode* b)
{
    auto key = [](const TZvNode* n) {
        return n->m_level == 0 ? std::pair(n->m_index, 0) : std::pair(n->m_parent->m_index, n->m_index + 1);
    };
    return key(a) < key(b);
}

std::vector<TZvNode*> TZvTree::selectedNodes() const
{
    if (m_selCacheValid) return m_selCache;
    m_selCache.clear();
    if (selectionModel()) {
        for (const QItemSelectionRange& r : selectionModel()->selection()) {
            const TZvNode* parent = r.parent().isValid() ? nodeOf(r.parent()) : m_model->root();
            if (!parent) continue;
            for (int row = r.top(); row <= r.bottom() && row < int(parent->m_shown.size()); ++row)
                m_selCache.push_back(parent->m_shown[size_t(row)]);
        }
    }
    std::sort(m_selCache.begin(), m_selCache.end(), &TZvTree::orderLess);
    m_selCache.erase(std::unique(m_selCache.begin(), m_selCache.end()), m_selCache.end());
    m_selCacheValid = true;
    return m_selCache;
}

TZvNode* TZvTree::firstSelected() const
{
    const auto sel = selectedNodes();
    return sel.empty() ? nullptr : sel.front();
}

TZvNode* TZvTree::nextSelected(const TZvNode* node) const
{
    if (!node) return nullptr;
    selectedNodes();
    auto it = std::upper_bound(m_selCache.begin(), m_selCache.end(), node,
                               [](const TZvNode* a, const TZvNode* b) { return orderLess(a, b); });
    return it == m_selCache.end() ? nullptr : *it;
}

int TZvTree::selectedCount() const
{
    selectedNodes();
    return int(m_selCache.size());
}

bool TZvTree::isSelected(const TZvNode* node) const
{
    const QModelIndex idx = m_model->indexOf(node);
    return idx.isValid() && selectionModel()->isSelected(idx);
}

void TZvTree::setSelected(TZvNode* node, bool selected)
{
    const QModelIndex idx = m_model->indexOf(node);
    if (!idx.isValid()) return;
    selectionModel()->select(idx, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                      QItemSelectionModel::Rows);
}

void TZvTree::selectAllVisible()
{
    // Siblings only: the visible siblings of the focused node (or of the first selected).
    const TZvNode* ref = focusedNode();
    if (!ref) ref = firstSelected();
    const TZvNode* parent = ref ? ref->m_parent : m_model->root();
    const QModelIndex pidx = m_model->indexOf(parent);
    const int rows = m_model->rowCount(pidx);
    if (rows == 0) return;
    const QItemSelection all(m_model->index(0, 0, pidx), m_model->index(rows - 1, 0, pidx));
    m_wholeSelectionChange = true;
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_wholeSelectionChange = false;
}

void TZvTree::selectAll()
{
    selectAllVisible();
}

void TZvTree::clearNodeSelection()
{
    m_wholeSelectionChange = true;
    selectionModel()->clearSelection();
    m_wholeSelectionChange = false;
}

TZvNode* TZvTree::focusedNode() const
{
    return nodeOf(currentIndex());
}

void TZvTree::setFocusedNode(TZvNode* node)
{
    const QModelIndex idx = m_model->indexOf(node);
    if (idx.isValid()) selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
}

void TZvTree::scrollToNode(TZvNode* node)
{
    const QModelIndex idx = m_model->indexOf(node);
    if (idx.isValid()) scrollTo(idx, QAbstractItemView::EnsureVisible);
}

void TZvTree::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    m_selCacheValid = false;
    if (m_pruning || m_relayouting) return;
    // Keep the siblings of the newest node: the current one when it was just selected,
    // else the first newly selected.
    if (!selected.isEmpty()) {
        const QModelIndex cur = currentIndex();
        const QModelIndex refParent = selected.contains(cur) ? cur.parent() : selected.first().parent();
        QItemSelection drop;
        for (const QItemSelectionRange& r : selectionModel()->selection())
            if (r.parent() != refParent) drop.append(r);
        if (!drop.isEmpty()) {
            m_pruning = true;
            selectionModel()->select(drop, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            m_pruning = false;
            m_selCacheValid = false;
        }
    }
    if (!events.Change) return;
    // A change of one node names it, also when that node was only unselected (another may
    // stay selected); a change of the selection as a whole, or one that leaves nothing
    // selected (a click on empty space), names none.
    TZvNode* node = nullptr;
    if (m_wholeSelectionChange || !selectionModel()->hasSelection())
        node = nullptr;
    else if (selected.size() == 1 && selected.first().height() == 1)
        node = nodeOf(selected.first().topLeft());
    else if (selected.isEmpty() && deselected.size() == 1 && deselected.first().height() == 1)
        node = nodeOf(deselected.first().topLeft());
    Guarded([&] { events.Change(node); });
}

// ---- editing --------------------------------------------------------------------------

QPlainTextEdit* TZvTree::editor() const
{
    return m_editor.data();
}

bool TZvTree::startEdit(TZvNode* node)
{
    if (!node) return false;
    if (m_editNode) {
        if (m_editNode == node) return true;
        finishEdit(true);
    }
    if (events.Editing && !events.Editing(node, 0)) return false;
    if (!node->m_published && !(node->m_visible && node->parent() && node->parent()->m_published))
        return false;
    if (TZvNode* p = node->parent()) setExpanded(p, true);
    const QModelIndex idx = m_model->indexOf(node);
    if (!idx.isValid()) return false;
    m_editNode = node;
    m_editStart = toCrLf(nodeText(node));
    node->m_height = -1; // measured at editing height
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    scheduleDelayedItemsLayout();
    executeDelayedItemsLayout();
    scrollTo(idx, QAbstractItemView::EnsureVisible);
    m_openingEditor = true;
    const bool opened = QAbstractItemView::edit(idx, QAbstractItemView::AllEditTriggers, nullptr);
    m_openingEditor = false;
    if (!opened || !m_editor) {
        m_editNode = nullptr;
        return false;
    }
    m_editor->setFocus(Qt::OtherFocusReason);
    return true;
}

void TZvTree::endEdit()
{
    finishEdit(true);
}

void TZvTree::cancelEdit()
{
    finishEdit(false);
}

void TZvTree::finishEdit(bool keep)
{
    if (m_finishing || !m_editNode) return;
    m_finishing = true;
    TZvNode* node = m_editNode;
    QPlainTextEdit* ed = m_editor.data();
    const QString text = ed ? toCrLf(ed->toPlainText()) : m_editStart;
    m_editNode = nullptr;
    m_editor = nullptr;
    if (ed) QTreeView::closeEditor(ed, QAbstractItemDelegate::NoHint);
    m_finishing = false;
    node->m_height = -1; // back to its display height
    scheduleDelayedItemsLayout();
    viewport()->update();
    if (keep) {
        if (text != m_editStart && events.NewText) {
            try {
                events.NewText(node, text);
            } catch (...) {
                // the edit has ended even when storing failed: the frame must hear of it
                if (events.Edited) events.Edited(node);
                throw;
            }
        }
        if (events.Edited) events.Edited(node);
    } else if (events.EditCancelled) {
        events.EditCancelled(node);
    }
}

bool TZvTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Editors open only through startEdit, which asks the frame first.
    if (!m_openingEditor) return false;
    return QTreeView::edit(index, trigger, event);
}

void TZvTree::commitData(QWidget* editor)
{
    if (editor && editor == m_editor) {
        Guarded([&] { finishEdit(true); });
        return;
    }
    QTreeView::commitData(editor);
}

void TZvTree::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor && editor == m_editor && !m_finishing) {
        Guarded([&] { finishEdit(false); });
        return;
    }
    QTreeView::closeEditor(editor, hint);
}

// ---- geometry -------------------------------------------------------------------------

QString TZvTree::nodeText(TZvNode* node) const
{
    return events.GetText ? events.GetText(node) : QString();
}

QString TZvTree::nodeTextSafe(TZvNode* node) const
{
    QString text;
    Guarded([&] { text = nodeText(node); });
    return text;
}

QRect TZvTree::itemRectFor(const TZvNode* node, const QRect& rowRect) const
{
    const int x = indentation() * (node->m_level + 1);
    return QRect(rowRect.left() + x, rowRect.top(), rowRect.width() - x, rowRect.height());
}

QRect TZvTree::buttonRect(const TZvNode* node, const QRect& rowRect) const
{
    const int h = node->isTopAligned() ? std::min(rowRect.height(), lineHeight() + 4) : rowRect.height();
    return QRect(rowRect.left() + indentation() * node->m_level, rowRect.top(), indentation(), h);
}

TZvTree::CellLayout TZvTree::cellLayout(TZvNode* node, const QRect& itemRect) const
{
    CellLayout c;
    const int line = lineHeight();
    int x = itemRect.left() + 2;
    auto place = [&](int w, int h) {
        const int y = node->isTopAligned() ? itemRect.top() + 2 + std::max(0, (line - h) / 2)
                                           : itemRect.top() + (itemRect.height() - h) / 2;
        QRect r(x, y, w, h);
        x += w + 2;
        return r;
    };
    if (node->m_checkBox) {
        const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
        const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
        c.check = place(w, h);
    }
    if (events.GetImageIndex && events.ImageProvider) {
        Guarded([&] { c.iconIndex = events.GetImageIndex(node); });
        if (c.iconIndex >= 0) c.icon = place(16, 16);
    }
    const int m = textMargin(this);
    c.text = QRect(x + m, itemRect.top() + 2, std::max(10, itemRect.right() - x - 2 * m + 1),
                   std::max(0, itemRect.height() - 4));
    return c;
}

int TZvTree::textWidth(const TZvNode* node) const
{
    if (!node) return 0;
    const int w = viewport()->width() - indentation() * (node->m_level + 1);
    return cellLayout(const_cast<TZvNode*>(node), QRect(0, 0, w, 100)).text.width();
}

int TZvTree::textHeight(TZvNode* node, const QString& text) const
{
    if (!node) return lineHeight();
    const QString t = toLf(text.isEmpty() ? nodeText(node) : text);
    const QFontMetrics fm = fontMetrics();
    if (!node->m_multiLine || t.isEmpty()) return fm.height();
    const QRect r = fm.boundingRect(QRect(0, 0, textWidth(node), 1 << 24), kTextFlags, t);
    return std::max(fm.height(), r.height());
}

int TZvTree::cachedHeight(TZvNode* node) const
{
    if (node->m_height >= 0 && node->m_heightGen == m_heightGen) return node->m_height;
    int h = -1;
    Guarded([&] {
        if (events.MeasureItem) {
            h = events.MeasureItem(node);
        } else {
            h = textHeight(node, {}) + 4;
            if (node == m_editNode) h = std::max(h, 4 * lineHeight() + 4);
        }
    });
    if (h <= 0) h = lineHeight() + 4;
    node->m_height = h;
    node->m_heightGen = m_heightGen;
    return h;
}

TZvNode* TZvTree::nodeAt(const QPoint& viewportPos) const
{
    if (!viewport()->rect().contains(viewportPos)) return nullptr;
    return nodeOf(indexAt(viewportPos));
}

TZvTree::HitInfo TZvTree::hitTest(const QPoint& pos) const
{
    HitInfo hit;
    hit.node = nodeAt(pos);
    if (!hit.node) return hit;
    const QRect row = nodeRect(hit.node);
    const QRect item = itemRectFor(hit.node, row);
    if (pos.x() < item.left()) {
        hit.area = buttonRect(hit.node, row).contains(pos) && !hit.node->m_shown.empty() ? HitArea::Button
                                                                                         : HitArea::Indent;
        return hit;
    }
    const CellLayout c = cellLayout(hit.node, item);
    if (c.check.contains(pos))
        hit.area = HitArea::CheckBox;
    else if (c.icon.contains(pos))
        hit.area = HitArea::Icon;
    else {
        const QRect used = fontMetrics().boundingRect(c.text, kTextFlags, toLf(nodeTextSafe(hit.node)));
        hit.area =
            pos.x() <= std::max(used.right(), c.text.left() + 4) ? HitArea::Label : HitArea::RightOfLabel;
    }
    return hit;
}

QRect TZvTree::nodeRect(const TZvNode* node) const
{
    const QRect r = visualRect(m_model->indexOf(node));
    if (r.isEmpty()) return {};
    return QRect(0, r.top(), viewport()->width(), r.height());
}

bool TZvTree::isInViewport(const QModelIndex& index) const
{
    const TZvNode* n = nodeOf(index);
    if (!n || !n->m_published) return false;
    const TZvNode* top = nodeOf(indexAt(QPoint(0, 0)));
    if (!top) return false;
    auto key = [](const TZvNode* x) {
        return x->m_level == 0 ? std::pair(x->m_row, 0) : std::pair(x->m_parent->m_row, x->m_row + 1);
    };
    if (key(n) < key(top)) return false;
    const TZvNode* bottom = nodeOf(indexAt(QPoint(0, viewport()->height() - 1)));
    return !bottom || !(key(bottom) < key(n));
}

QRect TZvTree::visualRect(const QModelIndex& index) const
{
    // QTreeView walks the height of every row above an index; rows off screen get an
    // empty rectangle instead (the Shift anchor excepted, which the range needs).
    if (!index.isValid()) return {};
    if (index == m_anchor || isInViewport(index)) return QTreeView::visualRect(index);
    return {};
}

int TZvTree::verticalOffset() const
{
    // only differences of it matter to the view (press and drag positions)
    return verticalScrollBar()->value() * (lineHeight() + 4);
}

// ---- painting -------------------------------------------------------------------------

void TZvTree::paintRow(QPainter* p, TZvNode* node, const QRect& rowRect, bool selected, bool printing) const
{
    const QPalette& pal = palette();
    p->save();
    // On paper the row may be one piece of a row split over pages: keep the printer's clip.
    p->setClipRect(rowRect, printing ? Qt::IntersectClip : Qt::ReplaceClip);
    if (!printing) p->fillRect(rowRect, pal.brush(QPalette::Base));
    if (events.BeforeCellPaint) {
        p->save();
        Guarded([&] { events.BeforeCellPaint(node, p, rowRect); });
        p->restore();
    }
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    if (selected && !printing) p->fillRect(rowRect, pal.brush(group, QPalette::Highlight));

    const QRect item = itemRectFor(node, rowRect);
    const CellLayout c = cellLayout(node, item);
    if (node->m_checkBox) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = c.check;
        opt.state = QStyle::State_Enabled | (node->m_checked ? QStyle::State_On : QStyle::State_Off);
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, p, this);
    }
    if (c.iconIndex >= 0 && events.ImageProvider) {
        QIcon icon;
        Guarded([&] { icon = events.ImageProvider(c.iconIndex); });
        icon.paint(p, c.icon);
    }
    QFont f = font();
    QColor color = (selected && !printing) ? pal.color(group, QPalette::HighlightedText)
                                           : (printing ? QColor(Qt::black) : pal.color(QPalette::Text));
    QString text;
    Guarded([&] {
        text = toLf(nodeText(node));
        if (events.PaintText) events.PaintText(node, f, color);
    });
    // The printer's painter is scaled from screen pixels: a font sized in points would be
    // scaled twice, so it keeps the pixel size it has on screen.
    if (printing) f.setPixelSize(QFontInfo(f).pixelSize());
    p->setFont(f);
    p->setPen(color);
    if (node->m_multiLine) {
        p->drawText(c.text, kTextFlags, text);
    } else {
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        p->drawText(c.text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    QFontMetrics(f).elidedText(text, Qt::ElideRight, c.text.width()));
    }
    // horizontal grid line
    p->setPen(pal.color(QPalette::Midlight));
    p->drawLine(rowRect.bottomLeft(), rowRect.bottomRight());
    // The keyboard's current node is marked, selected or not: Space, F2 and the arrow keys
    // act on it.
    if (!printing && hasFocus() && node == focusedNode()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rowRect.adjusted(1, 1, -1, -2);
        focus.backgroundColor = selected ? pal.color(group, QPalette::Highlight) : pal.color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p, this);
    }
    p->restore();
}

void TZvTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    TZvNode* node = nodeOf(index);
    if (!node) return;
    const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool selected = selectionModel()->isSelected(index);
    paintRow(painter, node, row, selected, false);
    drawBranches(painter, QRect(0, row.top(), indentation() * (node->m_level + 1), row.height()), index);
    if (index == currentIndex() && hasFocus()) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = row.adjusted(0, 0, -1, -1);
        fr.backgroundColor = palette().color(selected ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, painter, this);
    }
}

void TZvTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    const TZvNode* node = nodeOf(index);
    if (node && node->isTopAligned()) {
        // the button sits at the top of a tall row
        QTreeView::drawBranches(
            painter, QRect(rect.left(), rect.top(), rect.width(), std::min(rect.height(), lineHeight() + 4)),
            index);
        return;
    }
    QTreeView::drawBranches(painter, rect, index);
}

// ---- input ----------------------------------------------------------------------------

void TZvTree::keyPressEvent(QKeyEvent* event)
{
    Guarded([&] {
        if (events.KeyDown && events.KeyDown(event)) {
            event->accept();
            return;
        }
        const int key = event->key();
        const auto mods = event->modifiers() & ~Qt::KeypadModifier;
        // QTreeView would emit activated() for these; the frame had its chance above.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return;
        }
        if (key == Qt::Key_F2 && mods == Qt::NoModifier) {
            if (TZvNode* n = focusedNode()) startEdit(n);
            event->accept();
            return;
        }
        if (key == Qt::Key_Space && mods == Qt::NoModifier) {
            toggleCheck(focusedNode());
            event->accept();
            return;
        }
        if (event->matches(QKeySequence::SelectAll)) {
            selectAllVisible();
            event->accept();
            return;
        }
        if (mods == Qt::NoModifier && selectFirstKeyTarget(key)) {
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
        if (!(event->modifiers() & Qt::ShiftModifier)) m_anchor = currentIndex();
    });
}

bool TZvTree::selectFirstKeyTarget(int key)
{
    if (key != Qt::Key_Down && key != Qt::Key_Up && key != Qt::Key_Home && key != Qt::Key_End) return false;
    if (selectionModel()->hasSelection() || (currentIndex().isValid() && !m_currentUnchosen)) return false;
    // Nothing chosen yet: the view would step on from the row it made current by itself.
    QModelIndex to = m_model->index(0, 0);
    if (key == Qt::Key_End) {
        to = m_model->index(m_model->rowCount() - 1, 0);
        const int children = m_model->rowCount(to);
        if (children > 0 && isExpanded(to)) to = m_model->index(children - 1, 0, to);
    }
    if (!to.isValid()) return false;
    selectionModel()->setCurrentIndex(to, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_anchor = to;
    scrollTo(to);
    return true;
}

void TZvTree::focusInEvent(QFocusEvent* event)
{
    const bool hadCurrent = currentIndex().isValid();
    QTreeView::focusInEvent(event);
    // The view gives a tree that takes the focus its first row as the current one, with
    // nothing selected: the user has chosen nothing yet.
    if (!hadCurrent && currentIndex().isValid()) m_currentUnchosen = true;
}

void TZvTree::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    m_currentUnchosen = false;
}

void TZvTree::mousePressEvent(QMouseEvent* event)
{
    Guarded([&] {
        const QPoint pos = event->position().toPoint();
        const HitInfo hit = hitTest(pos);
        if (event->button() == Qt::RightButton) {
            // right click selects: an unselected node alone, a selected one keeps the selection
            if (hit.node) {
                const QModelIndex idx = m_model->indexOf(hit.node);
                if (!isSelected(hit.node))
                    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
                else
                    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
                m_anchor = idx;
            }
            event->accept();
            return;
        }
        if (event->button() != Qt::LeftButton) {
            QTreeView::mousePressEvent(event);
            return;
        }
        if (hit.area == HitArea::CheckBox) {
            toggleCheck(hit.node);
            event->accept();
            return;
        }
        if (hit.area == HitArea::Button) {
            setExpanded(hit.node, !hit.node->m_expanded);
            event->accept();
            return;
        }
        m_pressNode = hit.node;
        m_pressWasFocused = hit.node && hit.node == focusedNode() && isSelected(hit.node) &&
                            event->modifiers() == Qt::NoModifier;
        if (!(event->modifiers() & Qt::ShiftModifier) && hit.node)
            m_anchor = m_model->indexOf(hit.node);
        else if (!m_anchor.isValid())
            m_anchor = currentIndex();
        if (hit.area == HitArea::Indent) {
            // full-row select: the indentation selects like the text, it toggles nothing
            const QRect item = itemRectFor(hit.node, nodeRect(hit.node));
            QMouseEvent moved(event->type(), QPointF(item.left() + 1, pos.y()), event->globalPosition(),
                              event->button(), event->buttons(), event->modifiers());
            QTreeView::mousePressEvent(&moved);
            return;
        }
        QTreeView::mousePressEvent(event);
    });
}

void TZvTree::mouseReleaseEvent(QMouseEvent* event)
{
    Guarded([&] {
        const bool wasDragging = state() == QAbstractItemView::DraggingState;
        QTreeView::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && m_pressWasFocused && !wasDragging && m_pressNode &&
            nodeAt(event->position().toPoint()) == m_pressNode) {
            // a second click on the focused node asks to edit it, unless a double click follows
            if (m_editTimer) killTimer(m_editTimer);
            m_editTimerNode = m_pressNode;
            m_editTimer = startTimer(QApplication::doubleClickInterval());
        }
        m_pressWasFocused = false;
    });
}

void TZvTree::timerEvent(QTimerEvent* event)
{
    if (m_editTimer && event->timerId() == m_editTimer) {
        killTimer(m_editTimer);
        m_editTimer = 0;
        TZvNode* node = m_editTimerNode;
        m_editTimerNode = nullptr;
        if (node && node == focusedNode() && !m_editNode) Guarded([&] { startEdit(node); });
        return;
    }
    QTreeView::timerEvent(event);
}

void TZvTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_editTimer) {
        killTimer(m_editTimer);
        m_editTimer = 0;
        m_editTimerNode = nullptr;
    }
    Guarded([&] {
        const HitInfo hit = hitTest(event->position().toPoint());
        if (event->button() == Qt::LeftButton && hit.area == HitArea::CheckBox) {
            toggleCheck(hit.node);
            return;
        }
        if (event->button() == Qt::LeftButton && hit.area == HitArea::Button) {
            setExpanded(hit.node, !hit.node->m_expanded);
            return;
        }
        if (event->button() == Qt::LeftButton && events.DblClick) events.DblClick();
        QTreeView::mouseDoubleClickEvent(event);
    });
}

void TZvTree::setHot(TZvNode* node)
{
    if (node == m_hot) return;
    TZvNode* old = m_hot;
    m_hot = node;
    if (old) viewport()->update(nodeRect(old));
    if (node) viewport()->update(nodeRect(node));
    if (events.HotChange) events.HotChange(node);
}

void TZvTree::mouseMoveEvent(QMouseEvent* event)
{
    Guarded([&] {
        const QPoint pos = event->position().toPoint();
        if (events.MouseMove) events.MouseMove(pos);
        setHot(nodeAt(pos));
        QTreeView::mouseMoveEvent(event);
    });
}

void TZvTree::leaveEvent(QEvent* event)
{
    Guarded([&] { setHot(nullptr); });
    QTreeView::leaveEvent(event);
}

void TZvTree::contextMenuEvent(QContextMenuEvent* event)
{
    Guarded([&] {
        TZvNode* node = event->reason() == QContextMenuEvent::Keyboard ? focusedNode() : nodeAt(event->pos());
        if (events.GetPopupMenu) events.GetPopupMenu(node, event->globalPos());
    });
    event->accept();
}

void TZvTree::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    if (viewport()->width() != m_lastWidth) {
        m_lastWidth = viewport()->width();
        bumpHeights();
    }
}

void TZvTree::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) bumpHeights();
}

bool TZvTree::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(event);
        if (nodeAt(he->pos()) || m_emptyHint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(he->globalPos(), m_emptyHint, viewport());
        return true;
    }
    return QTreeView::viewportEvent(event);
}

// ---- drag and drop --------------------------------------------------------------------

void TZvTree::startDrag(Qt::DropActions)
{
    Guarded([&] {
        TZvNode* node = focusedNode();
        if (!node) node = firstSelected();
        if (!node || !events.DragAllowed || !events.DragAllowed(node)) return;
        auto* drag = new QDrag(this);
        drag->setMimeData(m_model->mimeData({}));
        drag->exec(Qt::MoveAction, Qt::MoveAction);
    });
}

bool TZvTree::acceptsDrag(const QDropEvent* event) const
{
    // only drags of this very tree: the frame moves its own selection on a drop
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasFormat(TZvTreeModel::mimeType())) return false;
    if (mime->data(TZvTreeModel::mimeType()) != m_model->dragToken()) return false;
    return !event->source() || event->source() == this || event->source() == viewport();
}

void TZvTree::dragEnterEvent(QDragEnterEvent* event)
{
    if (!acceptsDrag(event)) {
        event->ignore();
        return;
    }
    QTreeView::dragEnterEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TZvTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptsDrag(event)) {
        event->ignore();
        return;
    }
    QTreeView::dragMoveEvent(event);
    bool accept = true;
    Guarded([&] {
        TZvNode* node = nodeAt(event->position().toPoint());
        if (events.DragOver) accept = events.DragOver(node);
    });
    if (accept) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TZvTree::dropEvent(QDropEvent* event)
{
    if (!acceptsDrag(event)) {
        event->ignore();
        return;
    }
    setState(QAbstractItemView::NoState);
    stopAutoScroll();
    event->setDropAction(Qt::MoveAction);
    event->accept();
    Guarded([&] {
        TZvNode* node = nodeAt(event->position().toPoint());
        if (events.DragDrop) events.DragDrop(node);
    });
    viewport()->update();
}

// ---- sort -----------------------------------------------------------------------------

void TZvTree::sortTree(bool ascending)
{
    std::function<int(TZvNode*, TZvNode*)> cmp = events.CompareNodes;
    if (!cmp) cmp = [this](TZvNode* a, TZvNode* b) { return QString::compare(nodeText(a), nodeText(b)); };
    // descending reverses the comparison, so equal keys keep their order either way
    if (ascending)
        m_model->sortSiblings([&](TZvNode* a, TZvNode* b) { return cmp(a, b) < 0; });
    else
        m_model->sortSiblings([&](TZvNode* a, TZvNode* b) { return cmp(a, b) > 0; });
    m_selCacheValid = false;
    viewport()->update();
}

// Printing (printTo) is in ZvTreePrint.cpp.

} // namespace zv
