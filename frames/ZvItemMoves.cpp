#include "frames/ZvItemFrame.h"

#include "platform/ZvTree.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvScopeExit.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <limits>

// The order of the items: sorting, the selection and the clipboard, and moving items
// between parents (drag and drop, the Move to menus) within the two levels the store keeps.
namespace zv {

int TZvItemFrame::CompareContent(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        ushort x = a.at(i).unicode();
        ushort y = b.at(i).unicode();
        if (x >= 'a' && x <= 'z') x = ushort(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = ushort(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

TZvSortHead TZvItemFrame::SortHead(QStringView text)
{
    // Four characters of 16 bits per number, the first one highest; a text that ends
    // counts as character 0, below every other, as a shorter text sorts first.
    TZvSortHead head{};
    const qsizetype n = std::min(text.size(), kZvSortHeadChars);
    for (qsizetype i = 0; i < n; ++i) {
        ushort c = text.at(i).unicode();
        if (c >= 'a' && c <= 'z') c = ushort(c - 'a' + 'A');
        head[size_t(i / 4)] |= quint64(c) << (16 * (3 - i % 4));
    }
    return head;
}

std::vector<TZvNode*> TZvItemFrame::SelectedInTreeOrder() const
{
    return m_tree->selectedNodes();
}

QString TZvItemFrame::SelectionText() const
{
    QString text;
    for (TZvNode* n : m_tree->selectedNodes()) {
        if (!text.isEmpty()) text += QLatin1Char('\r');
        text += *Item(n).content;
    }
    return text;
}

void TZvItemFrame::CopyExecute()
{
    const QString text = SelectionText();
    if (!text.isEmpty()) ClipboardSeam::setText(text);
}

void TZvItemFrame::SelectAllExecute()
{
    m_tree->setFocus();
    m_tree->selectAllVisible();
}

void TZvItemFrame::DeselectExecute()
{
    m_tree->clearNodeSelection();
}

void TZvItemFrame::ExpandAll(bool expand)
{
    BatchExpandWrites([&] {
        for (TZvNode* n = m_tree->firstTopLevel(); n; n = m_tree->nextSibling(n))
            m_tree->setExpanded(n, expand);
    });
}

void TZvItemFrame::SortExecute()
{
    sortAscending = !sortAscending;
    ShowSortDirection();
    m_tree->sortTree(sortAscending);
    TIniFile(m_host->confFile()).WriteBool(m_traits.iniSection, QStringLiteral("viewAscEn"), sortAscending);
}

void TZvItemFrame::ShowSortDirection()
{
    if (!Action_ViewAsc) return;
    // The button names the direction a click switches to.
    if (sortAscending) {
        Action_ViewAsc->setIcon(ZvImage(m_traits.images16, m_traits.sortAscendingImage));
        Action_ViewAsc->setToolTip(tr("Descending Sort"));
    } else {
        Action_ViewAsc->setIcon(ZvImage(m_traits.images16, m_traits.sortDescendingImage));
        Action_ViewAsc->setToolTip(tr("Ascending Sort"));
    }
}

// ---- moving -------------------------------------------------------------------------------

bool TZvItemFrame::CanMoveUnder(TZvNode* node, TZvNode* target) const
{
    if (!target) return true;
    // Under itself it would vanish.
    return node != target && MayGoUnderAnItem(node);
}

bool TZvItemFrame::MayGoUnderAnItem(const TZvNode* node)
{
    // An item with sub-items under another item would make a third level that the next
    // start does not load.
    return node->childCount() == 0;
}

std::vector<TZvNode*> TZvItemFrame::ItemMovers() const
{
    std::vector<TZvNode*> movers;
    for (TZvNode* s = m_tree->firstSelected(); s && movers.size() < 2; s = m_tree->nextSelected(s))
        if (MayGoUnderAnItem(s)) movers.push_back(s);
    return movers;
}

bool TZvItemFrame::MovesSomething(TZvNode* target, const std::vector<TZvNode*>& movers) const
{
    // To the top level every selected item goes: the caller has one.
    if (!target) return true;
    return std::any_of(movers.begin(), movers.end(), [&](TZvNode* s) { return CanMoveUnder(s, target); });
}

bool TZvItemFrame::onDragOver(TZvNode* node)
{
    if (!node) return true;
    TZvNode* first = m_tree->firstSelected();
    if (node == first) return false;
    TZvNode* target = node->level() > 0 ? node->parent() : node;
    if (first && !CanMoveUnder(first, target)) return false;
    if (node->level() == 0) m_tree->setExpanded(node, true);
    return true;
}

void TZvItemFrame::onDragDrop(TZvNode* node)
{
    if (Busy() || editNode) return;
    TZvNode* target = node && node->level() > 0 ? node->parent() : node;
    MoveSelection(target, false);
}

void TZvItemFrame::MoveSelection(TZvNode* target, bool toFront)
{
    // A wide search matches sub-items by their parent's text.
    ForgetSearchResults();
    const std::vector<TZvNode*> moving = m_tree->selectedNodes();
    const auto count =
        std::count_if(moving.begin(), moving.end(), [&](TZvNode* s) { return CanMoveUnder(s, target); });
    RecordStep(StepName("Move %1", int(count)), moving, false,
               [&] {
                   for (TZvNode* s : moving) {
                       if (!CanMoveUnder(s, target)) continue; // stays where it is
                       const TZvItemRef r = Item(s);
                       if (target) {
                           if (toFront)
                               m_tree->moveToFirstChild(s, target);
                           else
                               m_tree->moveToLastChild(s, target);
                           m_tree->setExpanded(target, true);
                           *r.pid = *Item(target).id;
                       } else {
                           if (toFront)
                               m_tree->moveToFirstChild(s, nullptr);
                           else
                               m_tree->moveToLastChild(s, nullptr);
                           *r.pid = kRootId;
                       }
                       StorePid(s);
                       m_tree->setSelected(s, false);
                   }
               },
               // The target is expanded to show them, and folded again when they go back.
               {target});
}

void TZvItemFrame::RebuildMoveMenus()
{
    const QList<QMenu*> menus = m_commands.MoveMenus();
    // Emptied and enabled here; the items themselves are made when a menu opens, so a
    // selection change stays cheap with thousands of top-level items.
    for (QMenu* m : menus) {
        m->clear();
        m->setEnabled(false);
        if (!m->property("zvMoveMenu").toBool()) {
            m->setProperty("zvMoveMenu", true);
            connect(m, &QMenu::aboutToShow, this, [this, m] { Guarded([this, m] { fillMoveMenu(m); }); });
        }
    }
    TZvNode* first = m_tree->firstSelected();
    if (!first || editNode) return;
    // Enabled when one of its entries would move something ("Root" always does).
    bool moves = first->level() > 0;
    const std::vector<TZvNode*> movers = moves ? std::vector<TZvNode*>() : ItemMovers();
    for (TZvNode* p = m_tree->firstTopLevel(); p && !moves && !movers.empty(); p = m_tree->nextSibling(p))
        moves = p != first && MovesSomething(p, movers);
    for (QMenu* m : menus)
        m->setEnabled(moves);
}

QList<TZvItemFrame::MoveTarget> TZvItemFrame::MoveTargets() const
{
    QList<MoveTarget> targets;
    TZvNode* first = m_tree->firstSelected();
    if (!first) return targets;
    const std::vector<TZvNode*> movers = ItemMovers();
    if (first->level() > 0) targets.append({tr("Root"), nullptr, false, true});
    for (TZvNode* p = m_tree->firstTopLevel(); p; p = m_tree->nextSibling(p)) {
        if (p == first || p == first->parent()) continue;
        targets.append({*Item(p).content, p, false, MovesSomething(p, movers)});
    }
    if (first->level() > 0) targets.insert(1, {QStringLiteral("-"), nullptr, true, false});
    return targets;
}

void TZvItemFrame::fillMoveMenu(QMenu* menu)
{
    if (!menu->isEmpty()) return;
    for (const MoveTarget& t : MoveTargets()) {
        if (t.separator) {
            menu->addSeparator();
            continue;
        }
        // A caption is one line, and "&" in a text is no access key.
        QString caption = SingleLine(t.caption);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = menu->addAction(caption);
        a->setEnabled(t.enabled);
        TZvNode* target = t.node;
        connect(a, &QAction::triggered, this, [this, target] {
            Guarded([this, target] {
                if (!editNode && !Busy()) MoveSelection(target, true);
            });
        });
    }
}

// ---- expanded state ------------------------------------------------------------------------

void TZvItemFrame::StoreExpandFlag(TZvNode* node, bool expanded)
{
    // A search pass only ever expands: after a collapse the next one looks at every group.
    if (!expanded) m_shownStamp = 0;
    // A load expands nodes to their stored state: nothing to store, nothing to update.
    if (m_loading) return;
    const TZvItemRef r = Item(node);
    if (*r.expandFlag != expanded) {
        *r.expandFlag = expanded;
        // A node never stored has no row to remember it in.
        if (!r.id->isEmpty()) {
            if (m_expandWrites) m_expandWrites->begin();
            StoreExpanded(node, expanded);
            if (m_expandWrites) m_expandWrites->posted();
        }
    }
    if (m_expandWrites)
        m_expandsChanged = true;
    else
        UpdateActions();
}

void TZvItemFrame::BatchExpandWrites(const std::function<void()>& work)
{
    // Inside a batch of our own the writes join it.
    if (m_expandWrites) {
        work();
        return;
    }
    m_expandWrites = std::make_unique<TZvWriteBatch>(m_host->connection(), std::numeric_limits<int>::max());
    m_expandsChanged = false;
    const auto done = ScopeExit([this] { m_expandWrites.reset(); });
    work();
    m_expandWrites->commit();
    m_expandWrites.reset();
    if (m_expandsChanged) UpdateActions();
}

} // namespace zv
