#include "frames/ZvItemFrame.h"

#include "platform/ZvColors.h"
#include "platform/ZvTree.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QPainter>
#include <QTimer>

#include <algorithm>

// How the tree shows an item: its text (the placeholder of an empty item, list-view
// numbering), its height, its background and the delayed full view of the hovered item.
namespace zv {

QString TZvItemFrame::NodeText(TZvNode* node) const
{
    if (Item(node).content->isEmpty() && node != editNode) return tr("Input content here");
    const QString text = DisplayText(node);
    if (ListViewOn() && node != editNode) return ListViewText(node, text);
    return text;
}

QString TZvItemFrame::DisplayText(TZvNode* node) const
{
    return *Item(node).content;
}

void TZvItemFrame::PaintNodeText(TZvNode* node, QFont& font, QColor& color) const
{
    if (node != editNode && Item(node).content->isEmpty()) {
        color = ZvSystemColor(kZvColorGrayText);
        font.setItalic(true);
    }
}

QString TZvItemFrame::ListViewText(TZvNode* node, const QString& text) const
{
    const QString body = node == hotNode ? text : SingleLine(text);
    if (node->level() > 0)
        return QStringLiteral("(%1)").arg(node->index() + 1) + m_traits.subNumberSuffix + body;
    return QStringLiteral("%1. ").arg(node->index() + 1) + body;
}

int TZvItemFrame::MeasureNode(TZvNode* node) const
{
    const int line = m_tree->textHeight(node, QStringLiteral("l"));
    int h;
    if (ListViewOn() && node != hotNode && node != editNode)
        h = m_tree->textHeight(node, QStringLiteral("1")) + 4;
    else
        h = m_tree->textHeight(node, QString()) + 4;
    if (node == editNode) {
        h = std::max(h, 4 * line + 4);
        h = std::min(h, m_tree->viewport()->height() - line);
    } else {
        h = std::max(h, line + 4);
    }
    return h;
}

void TZvItemFrame::PaintBackground(TZvNode* node, QPainter* painter, const QRect& rect, int ownColor) const
{
    if (node == editNode) return;
    if (node == m_tree->hotNode()) {
        painter->fillRect(rect, ZvSystemColor(kZvColorInfoBk));
        return;
    }
    if (ownColor != 0) {
        painter->fillRect(rect, ZvSystemColor(ownColor));
        return;
    }
    HostPicture which = HostPicture::GroupBackground;
    if (node->level() == 0)
        which = node->index() % 2 == 0 ? HostPicture::ItemBackground0 : HostPicture::ItemBackground1;
    const QPixmap& picture = m_host->picture(which);
    if (!picture.isNull()) painter->drawPixmap(rect, picture);
}

void TZvItemFrame::onHotChange(TZvNode* node)
{
    if (!ListViewOn()) return;
    Timer_HotDelay->stop();
    if (node) Timer_HotDelay->start();
}

void TZvItemFrame::onHotDelay()
{
    Timer_HotDelay->stop();
    TZvNode* current = m_tree->hotNode();
    if (current == hotNode) return;
    TZvNode* former = hotNode;
    hotNode = current;
    if (hotNode) m_tree->invalidateNode(hotNode);
    if (former) m_tree->invalidateNode(former);
}

} // namespace zv
