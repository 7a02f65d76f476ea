#include "platform/ZvTreeModel.h"

#include "store/ZvGuard.h"

#include <QCoreApplication>
#include <QMimeData>

#include <unordered_map>

namespace zv {

TZvTreeModel::TZvTreeModel(QObject* parent) : QAbstractItemModel(parent)
{
    m_root.m_published = true;
    m_root.m_expanded = true;
}

TZvTreeModel::~TZvTreeModel() = default;

const QString& TZvTreeModel::mimeType()
{
    static const QString type = QStringLiteral("application/x-zorvik-jotboard-tree-nodes");
    return type;
}

TZvNode* TZvTreeModel::nodeFromIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this) return nullptr;
    return static_cast<TZvNode*>(index.internalPointer());
}

QModelIndex TZvTreeModel::indexOf(const TZvNode* node) const
{
    if (!node || node == &m_root || !node->m_published || m_dying.count(node)) return {};
    return createIndex(node->m_row, 0, const_cast<TZvNode*>(node));
}

TZvNode* TZvTreeModel::append(TZvNode* parent, std::unique_ptr<TZvNodeData> data)
{
    if (!parent) parent = &m_root;
    auto node = std::make_unique<TZvNode>();
    TZvNode* n = node.get();
    n->m_parent = parent;
    n->m_level = parent->m_level + 1;
    n->m_index = int(parent->m_children.size());
    n->m_data = std::move(data);
    ++m_nodeCount;
    // Outside an update a new visible row under a published parent is an ordinary insert;
    // anything else waits for the next relayout.
    if (!inUpdate() && parent->m_published && !m_dirty) {
        const int row = int(parent->m_shown.size());
        beginInsertRows(indexOf(parent), row, row);
        parent->m_children.push_back(std::move(node));
        n->m_row = row;
        n->m_shownParent = parent;
        n->m_published = true;
        parent->m_shown.push_back(n);
        ++m_publishedCount;
        endInsertRows();
    } else {
        parent->m_children.push_back(std::move(node));
        m_dirty = true;
    }
    return n;
}

void TZvTreeModel::beginUpdate()
{
    ++m_updateCount;
}

void TZvTreeModel::endUpdate()
{
    if (m_updateCount <= 0) return;
    if (--m_updateCount > 0) return;
    if (m_dirty || m_reordered) relayout();
    // Freed after the relayout, so that no row of the view refers to them any more.
    auto graveyard = std::move(m_graveyard);
    m_graveyard.clear();
    m_dying.clear();
    for (auto& n : graveyard)
        collectFree(n.get());
}

void TZvTreeModel::collectFree(TZvNode* node)
{
    for (auto& c : node->m_children)
        collectFree(c.get());
    emit nodeFreeing(node);
}

void TZvTreeModel::publish(TZvNode* parent, bool published)
{
    parent->m_shown.clear();
    for (auto& up : parent->m_children) {
        TZvNode* c = up.get();
        const bool p = published && c->m_visible;
        if (p) {
            c->m_row = int(parent->m_shown.size());
            c->m_shownParent = parent;
            parent->m_shown.push_back(c);
            ++m_publishedCount;
        } else {
            c->m_row = -1;
        }
        c->m_published = p;
        if (!c->m_children.empty() || !c->m_shown.empty()) publish(c, p);
    }
}

void TZvTreeModel::reshow(TZvNode* parent)
{
    if (!parent->m_published) return; // no shown rows, before or after
    parent->m_shown.clear();
    for (const auto& c : parent->m_children)
        if (c->m_published) {
            c->m_row = int(parent->m_shown.size());
            parent->m_shown.push_back(c.get());
        }
}

void TZvTreeModel::relayout()
{
    // Only a reorder: the shown rows are already in their new order.
    const bool republish = m_dirty;
    m_dirty = m_reordered = false;
    ++m_layoutCount;
    emit layoutAboutToBeChanged();
    const QModelIndexList from = persistentIndexList();
    std::vector<TZvNode*> nodes;
    nodes.reserve(size_t(from.size()));
    for (const QModelIndex& i : from) {
        auto* n = static_cast<TZvNode*>(i.internalPointer());
        nodes.push_back(m_dying.count(n) ? nullptr : n);
    }
    if (republish) {
        m_publishedCount = 0;
        publish(&m_root, true);
    }
    // only the indexes that really moved (each one costs the model's hash work)
    QModelIndexList moved, to;
    for (qsizetype i = 0; i < from.size(); ++i) {
        TZvNode* n = nodes[size_t(i)];
        const QModelIndex now = n && n->m_published ? createIndex(n->m_row, 0, n) : QModelIndex();
        if (now != from[i]) {
            moved.append(from[i]);
            to.append(now);
        }
    }
    changePersistentIndexList(moved, to);
    emit layoutChanged();
    emit relaidOut();
}

void TZvTreeModel::setVisible(TZvNode* node, bool visible)
{
    if (!node || node->m_visible == visible) return;
    node->m_visible = visible;
    beginUpdate();
    m_dirty = true;
    endUpdate();
}

void TZvTreeModel::flatten(const TZvNode* parent, std::vector<TZvNode*>& out)
{
    for (const auto& c : parent->m_children) {
        out.push_back(c.get());
        if (!c->m_children.empty()) flatten(c.get(), out);
    }
}

void TZvTreeModel::renumber(TZvNode* parent, int from)
{
    for (size_t i = size_t(std::max(0, from)); i < parent->m_children.size(); ++i)
        parent->m_children[i]->m_index = int(i);
}

// A removed node and everything below it: counted out and marked, freed after the relayout.
void TZvTreeModel::markDying(TZvNode* node)
{
    std::vector<TZvNode*> stack{node};
    while (!stack.empty()) {
        TZvNode* n = stack.back();
        stack.pop_back();
        m_dying.insert(n);
        --m_nodeCount;
        for (auto& c : n->m_children)
            stack.push_back(c.get());
    }
}

void TZvTreeModel::takeOut(TZvNode* node)
{
    TZvNode* parent = node->m_parent;
    auto& list = parent->m_children;
    const int at = node->m_index;
    m_graveyard.push_back(std::move(list[size_t(at)]));
    list.erase(list.begin() + at);
    renumber(parent, at);
    markDying(node);
}

void TZvTreeModel::remove(TZvNode* node)
{
    if (!node || node == &m_root) return;
    beginUpdate();
    takeOut(node);
    m_dirty = true;
    endUpdate();
}

void TZvTreeModel::removeMany(const std::vector<TZvNode*>& nodes)
{
    if (nodes.empty()) return;
    beginUpdate();
    std::unordered_set<TZvNode*> doomed(nodes.begin(), nodes.end());
    std::unordered_set<TZvNode*> parents;
    for (TZvNode* n : nodes)
        // a node whose parent goes too is freed with it
        if (n && n != &m_root && !doomed.count(n->m_parent)) parents.insert(n->m_parent);
    for (TZvNode* parent : parents) {
        auto& list = parent->m_children;
        std::vector<std::unique_ptr<TZvNode>> keep;
        keep.reserve(list.size());
        for (auto& up : list) {
            if (doomed.count(up.get())) {
                markDying(up.get());
                m_graveyard.push_back(std::move(up));
            } else {
                keep.push_back(std::move(up));
            }
        }
        list = std::move(keep);
        renumber(parent);
    }
    m_dirty = true;
    endUpdate();
}

void TZvTreeModel::removeChildren(TZvNode* node)
{
    if (!node || node->m_children.empty()) return;
    std::vector<TZvNode*> kids;
    for (auto& c : node->m_children)
        kids.push_back(c.get());
    removeMany(kids);
}

void TZvTreeModel::clear()
{
    beginResetModel();
    auto doomed = std::move(m_root.m_children);
    m_root.m_children.clear();
    m_root.m_shown.clear();
    m_publishedCount = 0;
    m_nodeCount = 0;
    auto graveyard = std::move(m_graveyard);
    m_graveyard.clear();
    m_dying.clear();
    m_dirty = false;
    ++m_layoutCount;
    // Nothing may name the nodes about to be freed: not their own published mark, which
    // indexOf trusts.
    for (auto* list : {&doomed, &graveyard})
        for (auto& n : *list)
            unpublishAll(n.get());
    endResetModel();
    emit relaidOut();
    for (auto& n : graveyard)
        collectFree(n.get());
    for (auto& n : doomed)
        collectFree(n.get());
}

void TZvTreeModel::unpublishAll(TZvNode* node)
{
    std::vector<TZvNode*> stack{node};
    while (!stack.empty()) {
        TZvNode* n = stack.back();
        stack.pop_back();
        n->m_published = false;
        n->m_row = -1;
        n->m_shown.clear();
        for (auto& c : n->m_children)
            stack.push_back(c.get());
    }
}

bool TZvTreeModel::move(TZvNode* node, TZvNode* newParent, bool first)
{
    return moveTo(node, newParent, first ? 0 : -1);
}

bool TZvTreeModel::moveTo(TZvNode* node, TZvNode* newParent, int at)
{
    if (!newParent) newParent = &m_root;
    if (!node || node == &m_root || node == newParent) return false;
    // Two levels only: a node goes under a top-level node, never under itself, and takes
    // no children of its own one level down.
    if (newParent != &m_root && (newParent->m_level != 0 || !node->m_children.empty())) return false;
    beginUpdate();
    TZvNode* oldParent = node->m_parent;
    auto& from = oldParent->m_children;
    const int was = node->m_index;
    std::unique_ptr<TZvNode> up = std::move(from[size_t(was)]);
    from.erase(from.begin() + was);
    renumber(oldParent, was);
    auto& to = newParent->m_children;
    const int size = int(to.size());
    const int pos = at < 0 || at > size ? size : at;
    to.insert(to.begin() + pos, std::move(up));
    node->m_parent = newParent;
    node->m_level = newParent->m_level + 1;
    for (auto& c : node->m_children)
        c->m_level = node->m_level + 1;
    // Only the nodes from the insertion on moved: appended to a long list, none but this one.
    renumber(newParent, pos);
    node->m_height = -1;
    m_dirty = true;
    endUpdate();
    return true;
}

void TZvTreeModel::place(TZvNode* parent, std::vector<std::pair<int, TZvNode*>> entries)
{
    if (!parent) parent = &m_root;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Each node's slot among the entries; a node named twice, or not a child here, is left.
    std::unordered_map<const TZvNode*, size_t> slot;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].second && entries[i].second->m_parent == parent) slot.emplace(entries[i].second, i);
    if (slot.empty()) return;
    beginUpdate();
    auto& list = parent->m_children;
    std::vector<std::unique_ptr<TZvNode>> placed(entries.size()), others;
    others.reserve(list.size());
    for (auto& up : list) {
        const auto it = slot.find(up.get());
        if (it != slot.end())
            placed[it->second] = std::move(up);
        else
            others.push_back(std::move(up));
    }
    // Merged: an entry takes its place as soon as the list has reached its index.
    list.clear();
    auto other = others.begin();
    for (size_t i = 0; i < placed.size(); ++i) {
        if (!placed[i]) continue;
        while (list.size() < size_t(std::max(0, entries[i].first)) && other != others.end())
            list.push_back(std::move(*other++));
        list.push_back(std::move(placed[i]));
    }
    while (other != others.end())
        list.push_back(std::move(*other++));
    renumber(parent);
    m_dirty = true;
    endUpdate();
}

QModelIndex TZvTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const TZvNode* p = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    if (!p || column != 0 || row < 0 || row >= int(p->m_shown.size())) return {};
    return createIndex(row, 0, p->m_shown[size_t(row)]);
}

QModelIndex TZvTreeModel::parent(const QModelIndex& child) const
{
    const TZvNode* n = nodeFromIndex(child);
    const TZvNode* p = n ? n->m_shownParent : nullptr;
    if (!p || p == &m_root || p->m_row < 0) return {};
    return createIndex(p->m_row, 0, const_cast<TZvNode*>(p));
}

int TZvTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) return 0;
    const TZvNode* p = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    return p ? int(p->m_shown.size()) : 0;
}

int TZvTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool TZvTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant TZvTreeModel::data(const QModelIndex& index, int role) const
{
    const TZvNode* n = nodeFromIndex(index);
    if (!n) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        QString text;
        if (m_textSource) Guarded([&] { text = m_textSource(const_cast<TZvNode*>(n)); });
        return text;
    }
    if (role == Qt::CheckStateRole && n->m_checkBox) return n->m_checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

Qt::ItemFlags TZvTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled;
}

QStringList TZvTreeModel::mimeTypes() const
{
    return {mimeType()};
}

QByteArray TZvTreeModel::dragToken() const
{
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(quintptr(this));
}

QMimeData* TZvTreeModel::mimeData(const QModelIndexList&) const
{
    // The drop moves the tree's own selection; the data only says where the drag began.
    auto* mime = new QMimeData;
    mime->setData(mimeType(), dragToken());
    return mime;
}

} // namespace zv
