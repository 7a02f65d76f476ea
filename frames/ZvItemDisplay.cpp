#include "frames/ZvItemFrame.h"

#include "platform/ZvColors.h"
#include "platform/ZvTree.h"
#include "store/ZvScopeExit.h"
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

// ---- which items show: the view range and the search -------------------------------------

bool TZvItemFrame::Passes(TZvNode* node, bool searching) const
{
    return !searching || SearchHit(node, *Item(node).content, WideSearch());
}

bool TZvItemFrame::SearchHit(TZvNode* node, QStringView text, bool wide) const
{
    return TextMatches(text) || (wide && node->level() > 0 && TextMatches(*Item(node->parent()).content));
}

bool TZvItemFrame::TextMatches(QStringView text) const
{
    // One letter, the first typed and the one that matches most items, is found fastest by
    // the vectorised search for a character; longer texts by the prepared matcher.
    return searchText.size() == 1 ? text.contains(searchText.front()) : m_searchMatcher.indexIn(text) >= 0;
}

void TZvItemFrame::Filter()
{
    // Whatever asks for a whole pass may have changed what matches.
    ForgetSearchResults();
    ApplyFilter();
}

void TZvItemFrame::ForgetSearchResults()
{
    m_searchResults.clear();
    m_shownStamp = 0;
    m_shownMatches.clear();
}

const TZvItemFrame::SearchResult& TZvItemFrame::SearchMatches()
{
    const SearchResult* kept = nullptr;
    const SearchResult* within = nullptr; // the smallest result of a text inside this one
    for (const SearchResult& r : m_searchResults) {
        if (r.text == searchText)
            kept = &r;
        else if (searchText.contains(r.text) && (!within || r.matches.size() < within->matches.size()))
            within = &r;
    }
    if (kept) return *kept;
    SearchResult result{searchText, {}};
    // What the test reads of the frame (the range, the wide option) is taken here, so
    // that the test itself only reads records and texts: over the whole tree it runs on
    // two threads when the tree is long.
    const bool wide = WideSearch();
    const auto inRange = RangeRule();
    const auto content = [this](TZvNode* n) { return QStringView(*Item(n).content); };
    const auto passes = [&](TZvNode* n, QStringView text) {
        return (!inRange || inRange(n)) && SearchHit(n, text, wide);
    };
    if (within) {
        for (TZvNode* n : within->matches)
            if (passes(n, content(n))) result.matches.push_back(n);
    } else {
        result.matches = m_tree->treeModel()->findNodes(content, passes);
    }
    constexpr size_t kKeptResults = 12;
    if (m_searchResults.size() >= kKeptResults) m_searchResults.erase(m_searchResults.begin());
    m_searchResults.push_back(std::move(result));
    return m_searchResults.back();
}

void TZvItemFrame::ApplyFilter()
{
    hotNode = nullptr;
    const bool searching = SearchActive() && !searchText.isEmpty();
    // Prepared once for the whole tree: tens of thousands of items are matched per keystroke.
    m_searchMatcher.setPattern(searchText);
    // From a search pass the tree still shows, only the items whose match changed can
    // change what shows: those that match now and did not (not marked with the shown
    // stamp), and those that did and do not.
    const bool fromShown =
        searching && m_shownStamp != 0 && m_shownLayout == m_tree->treeModel()->layoutCount();
    std::vector<TZvNode*> changed;
    quint32 stamp = 0;
    if (searching) {
        const SearchResult& result = SearchMatches();
        if (fromShown)
            for (TZvNode* n : result.matches)
                if (n->mark() != m_shownStamp) changed.push_back(n);
        if (++m_searchStamp == 0) ++m_searchStamp; // 0 marks no pass
        stamp = m_searchStamp;
        for (TZvNode* n : result.matches)
            n->setMark(stamp);
        if (fromShown)
            for (TZvNode* n : m_shownMatches)
                if (n->mark() != stamp) changed.push_back(n);
        m_shownMatches = result.matches;
    } else {
        m_shownMatches.clear();
    }
    // Searching, the mark on the node says it all; otherwise, with no range that hides
    // anything, no record is read at all.
    const bool all = !searching && PassesAll();
    auto passes = [&](TZvNode* n) { return searching ? n->mark() == stamp : all || Passes(n, false); };
    publishAfterStoring([&] {
        if (fromShown) {
            const TZvNode* last = nullptr;
            for (TZvNode* n : changed) {
                TZvNode* top = n->level() == 0 ? n : n->parent();
                if (top != last) filterGroup(top, true, passes);
                last = top;
            }
        } else {
            for (TZvNode* top = m_tree->firstTopLevel(); top; top = m_tree->nextSibling(top))
                filterGroup(top, searching, passes);
        }
    });
    m_shownStamp = stamp;
    m_shownLayout = m_tree->treeModel()->layoutCount();
    ShowTip(SearchActive() && m_tree->visibleCount() == 0 ? m_traits.searchTipKind : 0);
    Filtered();
}

void TZvItemFrame::publishAfterStoring(const std::function<void()>& filter)
{
    // The rows are published once the expand flags the pass opened are committed:
    // publishing can tell the frame that the selection went, an action of its own that must
    // find nothing open.
    m_tree->beginUpdate();
    const auto done = ScopeExit([t = m_tree] { t->endUpdate(); });
    BatchExpandWrites(filter);
}

template <class Test> void TZvItemFrame::filterGroup(TZvNode* top, bool searching, const Test& passes)
{
    // The item before its sub-items; a shown sub-item shows (and, searching, expands) its
    // parent.
    m_tree->setNodeVisible(top, passes(top));
    for (int i = 0, count = top->childCount(); i < count; ++i) {
        TZvNode* child = top->child(i);
        const bool shown = passes(child);
        m_tree->setNodeVisible(child, shown);
        if (shown) {
            if (!m_tree->isNodeVisible(top)) m_tree->setNodeVisible(top, true);
            if (searching) m_tree->setExpanded(top, true);
        }
    }
}

void TZvItemFrame::FilterItem(TZvNode* node)
{
    if (node) FilterGroups({node->level() == 0 ? node : node->parent()});
}

void TZvItemFrame::FilterGroups(std::vector<TZvNode*> tops)
{
    // What the items matched is no longer known, nor what any kept result says of them.
    ForgetSearchResults();
    hotNode = nullptr;
    const bool searching = SearchActive() && !searchText.isEmpty();
    m_searchMatcher.setPattern(searchText);
    std::sort(tops.begin(), tops.end());
    tops.erase(std::unique(tops.begin(), tops.end()), tops.end());
    publishAfterStoring([&] {
        for (TZvNode* top : tops)
            filterGroup(top, searching, [&](TZvNode* n) { return Passes(n, searching); });
    });
    ShowTip(SearchActive() && m_tree->visibleCount() == 0 ? m_traits.searchTipKind : 0);
    Filtered();
}

} // namespace zv
