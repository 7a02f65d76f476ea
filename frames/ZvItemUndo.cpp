#include "frames/ZvItemFrame.h"

#include "platform/ZvTree.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"

#include <QHash>
#include <QUndoStack>

#include <algorithm>
#include <map>

// Undo and redo: recording each change the user makes as one step of rows and places, and
// putting a step's rows and nodes back.
namespace zv {

bool TZvUndoStep::Touches(const TZvItemTable& table, const QSet<QString>& ids) const
{
    for (const TZvRowChange& change : rows)
        for (const auto* image : {&change.before, &change.after})
            if (*image && ids.contains(table.IdOf(**image))) return true;
    for (const auto* places : {&placesBefore, &placesAfter})
        for (const TZvTreePlace& p : *places)
            if (ids.contains(p.id)) return true;
    return false;
}

// ---- recording -----------------------------------------------------------------------------

TZvTreePlace TZvItemFrame::placeOf(TZvNode* node) const
{
    TZvNode* parent = node->parent();
    return {*Item(node).id, parent ? *Item(parent).id : kRootId, node->index()};
}

void TZvItemFrame::RecordStep(const QString& name, const std::vector<TZvNode*>& nodes, bool subItems,
                              const std::function<void()>& change, const std::vector<TZvNode*>& rowsOnly)
{
    if (m_recording) {
        joinStep(nodes, subItems, rowsOnly);
        change();
        return;
    }
    m_recording = std::make_unique<TZvStepRecording>();
    const auto done = ScopeExit([this] { m_recording.reset(); });
    joinStep(nodes, subItems, rowsOnly);
    try {
        change();
    } catch (...) {
        // What was stored before the failure stays, and shows: it can be undone as well.
        try {
            closeStep(name);
        } catch (...) {
        }
        throw;
    }
    closeStep(name);
}

void TZvItemFrame::joinStep(const std::vector<TZvNode*>& nodes, bool subItems,
                            const std::vector<TZvNode*>& rowsOnly)
{
    TZvStepRecording& r = *m_recording;
    QStringList ids;
    const auto join = [&](TZvNode* n) {
        if (!n || r.known.contains(n)) return;
        r.known.insert(n);
        r.nodes.push_back(n);
        // A node without a row (an item being added) is no item yet.
        const QString& id = *Item(n).id;
        if (id.isEmpty()) return;
        r.placesBefore.insert(n, placeOf(n));
        ids << id;
    };
    for (TZvNode* n : nodes) {
        join(n);
        if (subItems && n)
            for (int i = 0; i < n->childCount(); ++i)
                join(n->child(i));
    }
    // With sub-items, also the rows under the items that the tree does not show.
    for (TZvRowImage& image : ReadItemImages(m_host->connection(), ItemTable(), ids, subItems))
        r.before.push_back(std::move(image));
    QStringList watched;
    for (TZvNode* n : rowsOnly)
        if (n && !r.known.contains(n) && !Item(n).id->isEmpty() && !r.rowsOnly.contains(*Item(n).id))
            watched << *Item(n).id;
    r.rowsOnly << watched;
    for (TZvRowImage& image : ReadItemImages(m_host->connection(), ItemTable(), watched, false))
        r.before.push_back(std::move(image));
}

void TZvItemFrame::NewStepItem(TZvNode* node)
{
    if (!m_recording || !node) return;
    m_recording->freed.remove(node); // a new node where a freed one was
    if (m_recording->known.contains(node)) return;
    m_recording->known.insert(node);
    m_recording->nodes.push_back(node);
}

void TZvItemFrame::closeStep(const QString& name)
{
    TZvStepRecording& r = *m_recording;
    const TZvItemTable& table = ItemTable();
    QHash<QString, TZvTreePlace> before, after;
    for (auto it = r.placesBefore.cbegin(); it != r.placesBefore.cend(); ++it)
        before.insert(it->id, *it);
    QStringList ids;
    for (TZvNode* n : r.nodes) {
        if (r.freed.contains(n) || Item(n).id->isEmpty()) continue;
        const TZvTreePlace p = placeOf(n);
        after.insert(p.id, p);
        ids << p.id;
    }
    for (const TZvRowImage& image : r.before)
        ids << table.IdOf(image);
    ids << r.rowsOnly;
    ids.removeDuplicates();
    SortByRowid(r.before);
    auto step = std::make_unique<TZvUndoStep>(name);
    step->rows = RowChanges(table, r.before, ReadItemImages(m_host->connection(), table, ids, false));

    // Only the places that changed: a node not in the tree has the index -1.
    QSet<QString> placed(before.keyBegin(), before.keyEnd());
    placed.unite(QSet<QString>(after.keyBegin(), after.keyEnd()));
    for (const QString& id : placed) {
        const TZvTreePlace b = before.value(id, {id, {}, -1});
        const TZvTreePlace a = after.value(id, {id, {}, -1});
        if (b.parentId == a.parentId && b.index == a.index) continue;
        step->placesBefore.push_back(b);
        step->placesAfter.push_back(a);
    }
    if (step->rows.empty() && step->placesBefore.empty()) return;
    m_undo->push(step.release());
}

// ---- undo and redo ---------------------------------------------------------------------------

bool TZvItemFrame::CanUndo() const
{
    return m_undo->canUndo();
}

bool TZvItemFrame::CanRedo() const
{
    return m_undo->canRedo();
}

QString TZvItemFrame::StepName(const char* pattern, int count) const
{
    return FrameText(m_traits.kind, pattern)
        .arg(count == 1 ? m_traits.oneItem : m_traits.manyItems.arg(count));
}

TZvUndoStep* TZvItemFrame::stepAt(int index) const
{
    // The stack holds our own steps only.
    return static_cast<TZvUndoStep*>(const_cast<QUndoCommand*>(m_undo->command(index)));
}

void TZvItemFrame::UndoExecute()
{
    if (HeldOff() || !m_undo->canUndo()) return;
    putBack(true);
}

void TZvItemFrame::RedoExecute()
{
    if (HeldOff() || !m_undo->canRedo()) return;
    putBack(false);
}

void TZvItemFrame::putBack(bool toBefore)
{
    TZvUndoStep& step = *stepAt(toBefore ? m_undo->index() - 1 : m_undo->index());
    try {
        ApplyRowChanges(m_host->connection(), ItemTable(), step.rows, toBefore);
    } catch (const EZvChangedSince&) {
        // No step of the stack can be trusted any more: they go, and the user is told.
        m_undo->clear();
        throw;
    }
    // The rows are stored: the stack's index follows them, whatever the tree does next.
    if (toBefore)
        m_undo->undo();
    else
        m_undo->redo();
    showStep(step, toBefore);
}

// The tree as the user's own change would have left it: each node made, changed, moved back
// to its place or removed; then filtered, the changed items selected, the status line, the
// tray hint and the reminder check reading the new records.
void TZvItemFrame::showStep(const TZvUndoStep& step, bool toBefore)
{
    const TZvItemTable& table = ItemTable();
    // The nodes of the step's items and of their parents, found in one walk of the tree.
    QSet<QString> wanted;
    for (const TZvRowChange& change : step.rows)
        for (const auto* image : {&change.before, &change.after})
            if (*image) wanted << table.IdOf(**image) << table.PidOf(**image);
    for (const auto* places : {&step.placesBefore, &step.placesAfter})
        for (const TZvTreePlace& p : *places)
            wanted << p.id << p.parentId;
    QHash<QString, TZvNode*> byId;
    {
        const QSet<QString>& ids = wanted; // read only: the test may run on two threads
        const auto id = [this](TZvNode* n) { return QStringView(*Item(n).id); };
        const auto isWanted = [&](TZvNode* n, QStringView) { return ids.contains(*Item(n).id); };
        for (TZvNode* n : m_tree->treeModel()->findNodes(id, isWanted))
            if (!byId.contains(*Item(n).id)) byId.insert(*Item(n).id, n);
    }

    std::vector<TZvNode*> touched;
    // The groups whose filter the step can change, those its items leave and those they are
    // in at the end, each named by one of its nodes. No other item is looked at again.
    std::vector<TZvNode*> groups;
    m_tree->beginUpdate();
    m_loading = true; // expanding here stores nothing
    {
        const auto done = ScopeExit([this] {
            m_loading = false;
            m_tree->endUpdate();
        });

        // Rows gone: their nodes go, sub-items with their item.
        std::vector<TZvNode*> gone;
        for (const TZvRowChange& change : step.rows)
            if (!(toBefore ? change.before : change.after))
                if (TZvNode* n = byId.value(ChangedId(table, change))) gone.push_back(n);
        QSet<TZvNode*> goneSet(gone.begin(), gone.end());
        for (TZvNode* n : gone) {
            byId.remove(*Item(n).id);
            for (int i = 0; i < n->childCount(); ++i)
                byId.remove(*Item(n->child(i)).id);
        }
        for (TZvNode* n : gone)
            if (!goneSet.contains(n->parent())) {
                if (n->parent()) groups.push_back(n->parent());
                m_tree->deleteNode(n);
            }

        // Rows there: nodes made or read again under their parent, top-level items first.
        // An item whose row changed in its expanded state alone (the target of a move) is
        // read again but is not one of the changed items.
        struct TThere
        {
            const TZvRowImage* row;
            bool changed;
        };
        std::vector<TThere> there;
        for (const TZvRowChange& change : step.rows)
            if (const auto& to = toBefore ? change.before : change.after)
                there.push_back({&*to, change.columns != std::vector<int>{table.expandColumn}});
        std::stable_sort(there.begin(), there.end(), [&table](const TThere& a, const TThere& b) {
            return table.PidOf(*a.row) == kRootId && table.PidOf(*b.row) != kRootId;
        });
        std::vector<TZvNode*> read;
        for (const TThere& t : there) {
            const QString pid = table.PidOf(*t.row);
            TZvNode* parent = pid == kRootId ? nullptr : byId.value(pid);
            TZvNode* n = byId.value(table.IdOf(*t.row));
            if (!n) {
                n = NewItemNode(parent, pid);
                byId.insert(table.IdOf(*t.row), n);
            } else if (n->parent() != parent) {
                if (n->parent()) groups.push_back(n->parent());
                m_tree->moveToLastChild(n, parent);
            }
            ReadItemAt(n, table.IdOf(*t.row), t.row->rowid, parent == nullptr);
            read.push_back(n);
            if (t.changed) touched.push_back(n);
        }

        // Places: each node of a sibling list to its index, in the order of the indexes; the
        // nodes that stay keep their order between them.
        std::map<TZvNode*, std::vector<std::pair<int, TZvNode*>>> lists;
        for (const TZvTreePlace& p : toBefore ? step.placesBefore : step.placesAfter) {
            TZvNode* n = p.index >= 0 ? byId.value(p.id) : nullptr;
            if (!n) continue;
            TZvNode* parent = n->parent();
            // Its parent gone meanwhile, an item stays where its row put it.
            if ((parent ? *Item(parent).id : kRootId) != p.parentId) continue;
            lists[parent].emplace_back(p.index, n);
            touched.push_back(n);
        }
        for (auto& [parent, entries] : lists)
            m_tree->placeChildren(parent, std::move(entries));
        // A top-level node shows its sub-items as its row says.
        for (TZvNode* n : read)
            if (!n->parent()) m_tree->setExpanded(n, *Item(n).expandFlag);
        groups.insert(groups.end(), read.begin(), read.end());
        groups.insert(groups.end(), touched.begin(), touched.end());
        for (TZvNode*& n : groups)
            if (n->parent()) n = n->parent();
    }

    FilterGroups(std::move(groups));
    m_tree->clearNodeSelection();
    TZvNode* first = nullptr;
    for (TZvNode* n : touched) {
        m_tree->invalidateNode(n);
        if (!first && m_tree->isShown(n)) first = n;
    }
    // The selection holds siblings only: those of the first changed item that shows.
    if (first) {
        for (TZvNode* n : touched)
            if (n->parent() == first->parent() && m_tree->isShown(n)) m_tree->setSelected(n, true);
        m_tree->setFocusedNode(first);
        m_tree->scrollTo(m_tree->indexOf(first));
    }
    UpdateActions();
    onSelectionChange(m_tree->firstSelected());
}

void TZvItemFrame::ItemsChangedElsewhere(const QStringList& ids)
{
    const QSet<QString> changed(ids.begin(), ids.end());
    bool drop = changed.isEmpty();
    for (int i = 0; i < m_undo->count() && !drop; ++i)
        drop = stepAt(i)->Touches(ItemTable(), changed);
    if (drop) m_undo->clear();
}

void TZvItemFrame::updateUndoCaptions()
{
    m_commands.SetCaptionDetail("Action_Undo", m_undo->undoText());
    m_commands.SetCaptionDetail("Action_Redo", m_undo->redoText());
}

} // namespace zv
