// The tree's rows over its layout: which row is at the top, the true geometry answers
// (visualRect, verticalOffset, indexAt, scrollTo), the scroll bar, cursor movement and the
// rubber band's selection.
#include "platform/ZvTree.h"

#include <QScrollBar>

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zv {

int TZvTree::topRow() const
{
    return std::clamp(verticalScrollBar()->value(), 0, std::max(0, m_layout.rowCount() - 1));
}

void TZvTree::measureViewport() const
{
    const int rows = m_layout.rowCount();
    const int height = viewport()->height();
    for (int row = topRow(), y = 0; row < rows && y < height; ++row)
        y += m_layout.measure(row);
}

int TZvTree::rowTop(int row) const
{
    return m_layout.yOfRow(row) - m_layout.yOfRow(topRow());
}

int TZvTree::lastTopRow() const
{
    const int height = viewport()->height();
    int used = 0;
    for (int row = m_layout.rowCount() - 1; row >= 0; --row) {
        used += m_layout.measure(row);
        if (used > height) return std::min(row + 1, m_layout.rowCount() - 1);
    }
    return 0;
}

void TZvTree::setTopRow(int row)
{
    QScrollBar* bar = verticalScrollBar();
    if (row > bar->maximum()) updateGeometries();
    bar->setValue(row);
}

int TZvTree::verticalOffset() const
{
    return m_layout.yOfRow(topRow());
}

QRect TZvTree::visualRect(const QModelIndex& index) const
{
    const TZvNode* node = nodeOf(index);
    const int row = m_layout.rowOf(node);
    if (row < 0) return {};
    measureViewport();
    const int x = indentation() * (node->m_level + 1);
    return QRect(x, rowTop(row), viewport()->width() - x, m_layout.heightOf(row));
}

QModelIndex TZvTree::indexAt(const QPoint& point) const
{
    measureViewport();
    return indexOf(m_layout.nodeAt(m_layout.rowAtY(point.y() + verticalOffset())));
}

void TZvTree::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    const int row = m_layout.rowOf(nodeOf(index));
    if (row < 0) return;
    const int height = viewport()->height();
    // The highest top row that still shows `row` within `room` pixels from the top.
    auto topFor = [&](int room) {
        int used = m_layout.measure(row);
        int top = row;
        while (top > 0 && used + m_layout.measure(top - 1) <= room)
            used += m_layout.measure(--top);
        return top;
    };
    int top = topRow();
    switch (hint) {
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = topFor(height);
        break;
    case PositionAtCenter:
        top = topFor((height + m_layout.measure(row)) / 2);
        break;
    case EnsureVisible:
        if (row < top) {
            top = row;
        } else {
            measureViewport();
            if (rowTop(row) + m_layout.heightOf(row) > height) top = topFor(height);
        }
        break;
    }
    setTopRow(top);
}

void TZvTree::doItemsLayout()
{
    m_layout.rowCount(); // laid out now if it waited
    QAbstractItemView::doItemsLayout();
}

void TZvTree::updateGeometries()
{
    QScrollBar* bar = verticalScrollBar();
    const int rows = m_layout.rowCount();
    int fit = 0;
    for (int row = topRow(), y = 0; row < rows && y < viewport()->height(); ++row, ++fit)
        y += m_layout.measure(row);
    bar->setRange(0, lastTopRow());
    bar->setSingleStep(1);
    bar->setPageStep(std::max(1, fit));
    QAbstractItemView::updateGeometries();
}

void TZvTree::scrollContentsBy(int, int)
{
    // The scroll bar counts rows, not pixels: the rows are painted again from the new top.
    updateEditorGeometries();
    viewport()->update();
}

QModelIndex TZvTree::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int rows = m_layout.rowCount();
    if (rows == 0) return {};
    TZvNode* node = nodeOf(currentIndex());
    const int row = m_layout.rowOf(node);
    if (row < 0) return indexOf(m_layout.nodeAt(0));
    auto at = [&](int r) { return indexOf(m_layout.nodeAt(std::clamp(r, 0, rows - 1))); };
    const bool intoChildren =
        style()->styleHint(QStyle::SH_ItemView_ArrowKeysNavigateIntoChildren, nullptr, this);
    switch (action) {
    case MoveUp:
    case MovePrevious:
        return at(row - 1);
    case MoveDown:
    case MoveNext:
        return at(row + 1);
    case MovePageUp: {
        const int r = m_layout.rowAtY(m_layout.yOfRow(row) - viewport()->height());
        return at(r < 0 ? 0 : r);
    }
    case MovePageDown: {
        const int r = m_layout.rowAtY(m_layout.yOfRow(row) + viewport()->height());
        return at(r < 0 ? rows - 1 : r);
    }
    case MoveHome:
        return at(0);
    case MoveEnd:
        return at(rows - 1);
    case MoveLeft:
        if (node->m_expanded && !node->m_shown.empty()) {
            setExpandedByUser(node, false);
            return currentIndex();
        }
        if (intoChildren && node->parent()) return indexOf(node->parent());
        return currentIndex();
    case MoveRight:
        if (!node->m_expanded && !node->m_shown.empty()) {
            setExpandedByUser(node, true);
            return currentIndex();
        }
        if (intoChildren) {
            TZvNode* below = m_layout.nodeAt(row + 1);
            if (below && below->parent() == node) return indexOf(below);
        }
        return currentIndex();
    }
    return currentIndex();
}

void TZvTree::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const int rows = m_layout.rowCount();
    if (rows == 0 || !selectionModel()) return;
    const QRect r = rect.normalized();
    measureViewport();
    int first = m_layout.rowAtY(r.top() + verticalOffset());
    int last = m_layout.rowAtY(r.bottom() + verticalOffset());
    // Outside the rows the band runs to the first or the last one, as in a tree view.
    if (first < 0) first = 0;
    if (last < 0) last = rows - 1;
    if (first > last) std::swap(first, last);
    // The selection keeps the siblings of the current node (selectionChanged): with the
    // current row in the band, the rows of other parents are left out here already. Each
    // range handed to the selection model and dropped again costs it a pass over every
    // other range, and a Shift+click across an expanded list would make thousands.
    const TZvNode* current = nodeOf(currentIndex());
    const int currentRow = m_layout.rowOf(current);
    const TZvNode* onlyUnder = currentRow >= first && currentRow <= last ? current->m_shownParent : nullptr;
    // One range per run of siblings, however their rows are interleaved with children.
    struct Run
    {
        TZvNode* parent;
        int from, to;
    };
    std::vector<Run> runs;
    std::unordered_map<TZvNode*, size_t> open;
    for (int row = first; row <= last; ++row) {
        TZvNode* n = m_layout.nodeAt(row);
        TZvNode* parent = n->m_shownParent;
        if (onlyUnder && parent != onlyUnder) continue;
        const auto found = open.find(parent);
        if (found != open.end() && runs[found->second].to + 1 == n->m_row) {
            runs[found->second].to = n->m_row;
        } else {
            open[parent] = runs.size();
            runs.push_back({parent, n->m_row, n->m_row});
        }
    }
    QItemSelection selection;
    for (const Run& run : runs) {
        const QModelIndex parent = indexOf(run.parent);
        selection.append(
            QItemSelectionRange(m_model->index(run.from, 0, parent), m_model->index(run.to, 0, parent)));
    }
    selectionModel()->select(selection, command);
}

QRegion TZvTree::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const QRect view = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        const int first = m_layout.rowOf(nodeOf(range.topLeft()));
        const int last = m_layout.rowOf(nodeOf(range.bottomRight()));
        if (first < 0 || last < 0) continue;
        const int top = rowTop(first);
        const QRect band = QRect(0, top, view.width(), rowTop(last) + m_layout.heightOf(last) - top) & view;
        if (!band.isEmpty()) region += band;
    }
    return region;
}

} // namespace zv
