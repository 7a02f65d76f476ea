// Painting the tree: the rows of the layout from the top row down, each with its
// background, check box, icon, text, grid line and expand button.
#include "platform/ZvTree.h"

#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStyleOptionViewItem>

namespace zv {

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

void TZvTree::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    const QRect exposed = event->rect();
    const int width = viewport()->width();
    const int height = viewport()->height();
    const int rows = m_layout.rowCount();
    for (int row = topRow(), y = 0; row < rows && y < height; ++row) {
        const int h = m_layout.measure(row);
        const QRect rowRect(0, y, width, h);
        y += h;
        if (!rowRect.intersects(exposed)) continue;
        TZvNode* node = m_layout.nodeAt(row);
        const bool selected = selectionModel() && selectionModel()->isSelected(indexOf(node));
        paintRow(&p, node, rowRect, selected, false);
        paintButton(&p, node, rowRect, selected);
    }
    if (!m_dropRect.isNull() && state() == DraggingState) {
        QStyleOption opt;
        opt.initFrom(this);
        opt.rect = m_dropRect;
        style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemDrop, &opt, &p, this);
    }
}

void TZvTree::paintButton(QPainter* p, TZvNode* node, const QRect& rowRect, bool selected) const
{
    if (node->m_shown.empty()) return;
    QStyleOptionViewItem opt;
    opt.initFrom(this);
    opt.rect = buttonRect(node, rowRect);
    QStyle::State state = QStyle::State_Item | QStyle::State_Children;
    if (isEnabled()) state |= QStyle::State_Enabled;
    if (hasFocus()) state |= QStyle::State_HasFocus;
    if (window()->isActiveWindow()) state |= QStyle::State_Active;
    if (selected) state |= QStyle::State_Selected;
    if (node->m_expanded) state |= QStyle::State_Open;
    const TZvNode* parent = node->m_shownParent;
    if (parent && node->m_row + 1 < int(parent->m_shown.size())) state |= QStyle::State_Sibling;
    if (node == m_hot) state |= QStyle::State_MouseOver;
    opt.state = state;
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, p, this);
}

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
        text = LfLineBreaks(nodeText(node));
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

} // namespace zv
