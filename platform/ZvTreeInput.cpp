// The tree's input: keys, mouse, the second-click edit timer, drag and drop.
#include "platform/ZvTree.h"

#include "store/ZvGuard.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QToolTip>

#include <utility>

namespace zv {

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
        // QAbstractItemView would emit activated() for these; the frame had its chance above.
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
        // A tree's own keys for the current node: + opens it, - closes it, * opens it with
        // all below it (one level here).
        if (TZvNode* current = focusedNode()) {
            if (key == Qt::Key_Plus || key == Qt::Key_Asterisk) setExpandedByUser(current, true);
            if (key == Qt::Key_Minus) setExpandedByUser(current, false);
        }
        QAbstractItemView::keyPressEvent(event);
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
    scrollTo(to);
    return true;
}

void TZvTree::focusInEvent(QFocusEvent* event)
{
    const bool hadCurrent = currentIndex().isValid();
    QAbstractItemView::focusInEvent(event);
    // The view gives a tree that takes the focus its first row as the current one, with
    // nothing selected: the user has chosen nothing yet.
    if (!hadCurrent && currentIndex().isValid()) m_currentUnchosen = true;
}

void TZvTree::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QAbstractItemView::currentChanged(current, previous);
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
            }
            event->accept();
            return;
        }
        if (event->button() != Qt::LeftButton) {
            QAbstractItemView::mousePressEvent(event);
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
        // Full-row select: the indentation selects like the text, it toggles nothing.
        QAbstractItemView::mousePressEvent(event);
    });
}

void TZvTree::mouseReleaseEvent(QMouseEvent* event)
{
    Guarded([&] {
        const bool wasDragging = state() == QAbstractItemView::DraggingState;
        QAbstractItemView::mouseReleaseEvent(event);
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
        TZvNode* node = m_editTimerNode;
        stopEditTimer();
        if (node && node == focusedNode() && !m_editNode) Guarded([&] { startEdit(node); });
        return;
    }
    QAbstractItemView::timerEvent(event);
}

void TZvTree::stopEditTimer()
{
    if (m_editTimer) killTimer(m_editTimer);
    m_editTimer = 0;
    m_editTimerNode = nullptr;
}

void TZvTree::setExpandedByUser(TZvNode* node, bool expanded)
{
    Guarded([&] { setExpanded(node, expanded); });
}

void TZvTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    stopEditTimer();
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
        const bool onPressed = hit.node && hit.node == m_pressNode;
        QAbstractItemView::mouseDoubleClickEvent(event);
        // A double click on a node with sub-items opens or closes it, as in a tree view.
        if (event->button() == Qt::LeftButton && onPressed && state() == NoState && hit.node &&
            !hit.node->m_shown.empty() && hit.node == nodeAt(event->position().toPoint()))
            setExpanded(hit.node, !hit.node->m_expanded);
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
        QAbstractItemView::mouseMoveEvent(event);
    });
}

void TZvTree::leaveEvent(QEvent* event)
{
    Guarded([&] { setHot(nullptr); });
    QAbstractItemView::leaveEvent(event);
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
    QAbstractItemView::resizeEvent(event);
    if (viewport()->width() != m_lastWidth) {
        m_lastWidth = viewport()->width();
        bumpHeights();
    }
}

void TZvTree::changeEvent(QEvent* event)
{
    QAbstractItemView::changeEvent(event);
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
    return QAbstractItemView::viewportEvent(event);
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
    QAbstractItemView::dragEnterEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TZvTree::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptsDrag(event)) {
        event->ignore();
        return;
    }
    QAbstractItemView::dragMoveEvent(event);
    // Where the drop would go: on the row, or on the edge between two rows.
    const QPoint pos = event->position().toPoint();
    const QRect row = nodeRect(nodeAt(pos));
    const QRect old = std::exchange(m_dropRect, QRect());
    if (showDropIndicator() && !row.isEmpty()) {
        if (dropIndicatorPosition() == OnItem)
            m_dropRect = row.adjusted(0, 0, -1, -1);
        else if (dropIndicatorPosition() == AboveItem)
            m_dropRect = QRect(row.left(), row.top(), row.width(), 0);
        else if (dropIndicatorPosition() == BelowItem)
            m_dropRect = QRect(row.left(), row.bottom() + 1, row.width(), 0);
    }
    if (m_dropRect != old) viewport()->update();
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
    m_dropRect = QRect();
    event->setDropAction(Qt::MoveAction);
    event->accept();
    Guarded([&] {
        TZvNode* node = nodeAt(event->position().toPoint());
        if (events.DragDrop) events.DragDrop(node);
    });
    viewport()->update();
}

void TZvTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    QAbstractItemView::dragLeaveEvent(event);
    m_dropRect = QRect();
    viewport()->update();
}

} // namespace zv
