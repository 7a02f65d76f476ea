#include "platform/ZvTree.h"

#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace zv {

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// The stored text uses CR LF; the editor uses LF.
QString toCrLf(QString s)
{
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return CrLfLineBreaks(s);
}

int textMargin(const QWidget* w)
{
    return w->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
}

} // namespace

// ---- construction ---------------------------------------------------------------------

TZvTree::TZvTree(QWidget* parent)
    : QAbstractItemView(parent), m_model(new TZvTreeModel(this)),
      m_layout(m_model->root(), [this](TZvNode* n) { return measureNode(n); }),
      m_delegate(new TZvTreeDelegate(this, this))
{
    m_indentation = style()->pixelMetric(QStyle::PM_TreeViewIndentation, nullptr, this);
    m_model->setTextSource([this](TZvNode* n) { return nodeText(n); });
    setModel(m_model);
    setItemDelegate(m_delegate);
    // One row per scroll step: a long scroll measures only the rows it shows. A scroll bar
    // that comes and goes would change the width and so every height.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setFocusPolicy(Qt::StrongFocus);
    m_layout.setEstimate(lineHeight() + 4);
    connect(m_model, &TZvTreeModel::nodeFreeing, this, [this](TZvNode* n) { onNodeFreeing(n); });
    connect(m_model, &TZvTreeModel::relaidOut, this, [this] { onRelaidOut(); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { rowsChanged(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { rowsChanged(); });
    connect(m_model, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        m_relayouting = true;
        m_selCacheValid = false;
        m_selectedBeforeLayout = selectedCount();
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
    m_layout.setEstimate(lineHeight() + 4);
    m_layout.invalidateHeights();
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void TZvTree::setIndentation(int pixels)
{
    if (pixels == m_indentation) return;
    m_indentation = pixels;
    bumpHeights();
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

void TZvTree::placeChildren(TZvNode* parent, std::vector<std::pair<int, TZvNode*>> entries)
{
    m_selCacheValid = false;
    m_model->place(parent, std::move(entries));
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

void TZvTree::onNodeFreeing(TZvNode* node)
{
    if (m_hot == node) m_hot = nullptr;
    if (m_editNode == node) m_editNode = nullptr;
    if (m_pressNode == node) m_pressNode = nullptr;
    if (m_editTimerNode == node) stopEditTimer();
    m_selCacheValid = false;
    if (events.FreeNode) events.FreeNode(node);
}

void TZvTree::onRelaidOut()
{
    m_relayouting = false;
    m_selCacheValid = false;
    rowsChanged();
    if (m_hot && !m_hot->m_published) m_hot = nullptr;
    // Rows that went away (hidden by a filter, removed) left the selection without a word
    // from the selection model: a change of the selection as a whole.
    const int before = std::exchange(m_selectedBeforeLayout, 0);
    if (before > 0 && selectedCount() < before && events.Change) Guarded([&] { events.Change(nullptr); });
}

void TZvTree::rowsChanged()
{
    m_layout.invalidate();
    scheduleDelayedItemsLayout();
    viewport()->update();
}

// ---- walking --------------------------------------------------------------------------

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

void TZvTree::setNodeVisible(TZvNode* node, bool visible)
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
    m_model->setNodeExpanded(node, expanded);
    // The rows are laid out again when next asked for: a loop over every node costs one
    // layout.
    if (node->m_published) rowsChanged();
    if (expanded && events.Expanded)
        events.Expanded(node);
    else if (!expanded && events.Collapsed)
        events.Collapsed(node);
}

void TZvTree::invalidateNode(TZvNode* node)
{
    if (!node) return;
    m_layout.invalidateHeight(node);
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

void TZvTree::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
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
    m_layout.invalidateHeight(node); // measured at editing height
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
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
    if (ed) QAbstractItemView::closeEditor(ed, QAbstractItemDelegate::NoHint);
    m_finishing = false;
    m_layout.invalidateHeight(node); // back to its display height
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
    return QAbstractItemView::edit(index, trigger, event);
}

void TZvTree::commitData(QWidget* editor)
{
    if (editor && editor == m_editor) {
        Guarded([&] { finishEdit(true); });
        return;
    }
    QAbstractItemView::commitData(editor);
}

void TZvTree::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor && editor == m_editor && !m_finishing) {
        Guarded([&] { finishEdit(false); });
        return;
    }
    QAbstractItemView::closeEditor(editor, hint);
}

// ---- geometry -------------------------------------------------------------------------

QString TZvTree::nodeText(TZvNode* node) const
{
    return events.GetText ? events.GetText(node) : QString();
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
    const QString t = LfLineBreaks(text.isEmpty() ? nodeText(node) : text);
    const QFontMetrics fm = fontMetrics();
    if (!node->m_multiLine || t.isEmpty()) return fm.height();
    const QRect r = fm.boundingRect(QRect(0, 0, textWidth(node), 1 << 24), kTextFlags, t);
    return std::max(fm.height(), r.height());
}

int TZvTree::measureNode(TZvNode* node) const
{
    int h = -1;
    Guarded([&] {
        if (events.MeasureItem) {
            h = events.MeasureItem(node);
        } else {
            h = textHeight(node, {}) + 4;
            if (node == m_editNode) h = std::max(h, 4 * lineHeight() + 4);
        }
    });
    return h > 0 ? h : lineHeight() + 4;
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
        const QRect used = fontMetrics().boundingRect(
            c.text, kTextFlags,
            LfLineBreaks(hit.node ? m_model->data(indexOf(hit.node)).toString() : QString()));
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

// ---- sort -----------------------------------------------------------------------------

void TZvTree::sortTree(bool ascending)
{
    if (events.SortKey && events.CompareKeys) {
        struct Key
        {
            TZvSortHead head;
            QStringView text;
        };
        const auto text = [this](TZvNode* n) { return events.SortKey(n); };
        const auto key = [this](QStringView text) {
            return Key{events.SortHead ? events.SortHead(text) : TZvSortHead{}, text};
        };
        const auto& compare = events.CompareKeys;
        // descending reverses the comparison, so equal keys keep their order either way
        if (ascending)
            m_model->sortSiblingsBy(text, key, [&](const Key& a, const Key& b) {
                return a.head != b.head ? a.head < b.head : compare(a.text, b.text) < 0;
            });
        else
            m_model->sortSiblingsBy(text, key, [&](const Key& a, const Key& b) {
                return a.head != b.head ? b.head < a.head : compare(a.text, b.text) > 0;
            });
        m_selCacheValid = false;
        viewport()->update();
        return;
    }
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

// ---- the delegate's side of editing ---------------------------------------------------

QString TZvTree::editStartText() const
{
    return LfLineBreaks(m_editStart);
}

void TZvTree::editorMade(QPlainTextEdit* editor)
{
    editor->setFont(font());
    m_editor = editor;
}

bool TZvTree::isEditorOf(const QObject* object) const
{
    return object && object == m_editor.data();
}

QRect TZvTree::editorRect(const QModelIndex& index, const QRect& itemRect) const
{
    TZvNode* node = nodeOf(index);
    if (!node) return {};
    const int m = textMargin(this);
    QRect r = cellLayout(node, itemRect).text.adjusted(-m, -2, m, 2);
    r.setRight(std::min(r.right(), viewport()->width() - 1));
    return r;
}

} // namespace zv
