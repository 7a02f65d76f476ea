#pragma once

#include "store/ZvScopeExit.h"

#include <QAbstractItemModel>
#include <array>

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zv {

class TZvTree;
class TZvTreeLayout;
class TZvTreeModel;

// The record a frame keeps in a node (TTaskInfo, TMemoInfo derive from it). Freed with
// its node, after the tree's FreeNode event.
struct TZvNodeData
{
    virtual ~TZvNodeData() = default;
};

// One node of the two-level tree. Hidden nodes stay in their parent's child list with
// their sibling index; only the model's published rows leave them out.
// The start of a sort key as a number whose order is the key's: a sort compares these
// first and reads the texts only where they are equal.
using TZvSortHead = std::array<quint64, 4>;
constexpr qsizetype kZvSortHeadChars = 16; // four of 16 bits in each number

class TZvNode
{
public:
    int level() const { return m_level; }
    TZvNode* parent() const { return m_level > 0 ? m_parent : nullptr; } // nullptr for top level
    int index() const { return m_index; } // among all siblings, hidden ones counted

    TZvNodeData* data() const { return m_data.get(); }
    template <class T> T* dataAs() const { return dynamic_cast<T*>(m_data.get()); }
    void setData(std::unique_ptr<TZvNodeData> data) { m_data = std::move(data); }

    int childCount() const { return int(m_children.size()); }
    TZvNode* child(int i) const { return m_children.at(size_t(i)).get(); }

    bool isVisible() const { return m_visible; } // the node's own flag
    bool isExpanded() const { return m_expanded; }
    bool hasCheckBox() const { return m_checkBox; }
    bool isChecked() const { return m_checked; }
    bool isMultiLine() const { return m_multiLine; }
    int alignment() const { return m_alignment; } // 0 = button at the top, 50 = centred
    bool isTopAligned() const { return m_alignment < 50; }
    // A mark of the caller's own, kept in the node itself: a pass over every node that
    // tests it reads nothing else (the frames' search marks its matches).
    quint32 mark() const { return m_mark; }
    void setMark(quint32 mark) { m_mark = mark; }

private:
    friend class TZvTreeModel;
    friend class TZvTree;
    friend class TZvTreeLayout;

    TZvNode* m_parent = nullptr; // the model's hidden root for top-level nodes
    int m_level = -1;
    int m_index = 0;
    int m_row = -1; // row in the parent's published rows; -1 when not published
    // The parent whose published rows hold this node. Until the next relayout it may differ
    // from m_parent (a move), and the model must answer for the layout the view knows.
    TZvNode* m_shownParent = nullptr;
    std::vector<std::unique_ptr<TZvNode>> m_children;
    std::vector<TZvNode*> m_shown; // published rows: visible children of a published node
    std::unique_ptr<TZvNodeData> m_data;
    bool m_visible = true;
    bool m_expanded = false;
    bool m_checkBox = false;
    bool m_checked = false;
    bool m_multiLine = false;
    bool m_published = false;
    int m_alignment = 50;
    quint32 m_mark = 0;
    int m_height = -1; // cached row height, valid for the layout's generation m_heightGen
    unsigned m_heightGen = 0;
    int m_layoutRow = -1; // row in the layout when it last placed the node
};

// The view's model: one column; rows are the published (visible) nodes only, so a
// filter pass is one relayout instead of thousands of hidden rows. It knows no view: what a
// view must hear of, it signals.
class TZvTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit TZvTreeModel(QObject* parent = nullptr);
    ~TZvTreeModel() override;

    static const QString& mimeType();

    // The text of a node for the display role (the frame's text; nothing by default).
    void setTextSource(std::function<QString(TZvNode*)> source) { m_textSource = std::move(source); }

    TZvNode* root() { return &m_root; }
    TZvNode* nodeFromIndex(const QModelIndex& index) const;
    QModelIndex indexOf(const TZvNode* node) const; // invalid when not published

    // Structure. Outside an update each call relayouts at once; inside one the published
    // rows stay as they were until the outermost endUpdate.
    TZvNode* append(TZvNode* parent, std::unique_ptr<TZvNodeData> data);
    void beginUpdate();
    void endUpdate();
    bool inUpdate() const { return m_updateCount > 0; }
    // Counts the times the published rows were laid out again or reset.
    quint64 layoutCount() const { return m_layoutCount; }
    void setVisible(TZvNode* node, bool visible);
    // Whether a node's sub-nodes are rows under it; a layout over the model reads it.
    void setNodeExpanded(TZvNode* node, bool expanded)
    {
        if (node) node->m_expanded = expanded;
    }
    void remove(TZvNode* node);                          // with its children
    void removeMany(const std::vector<TZvNode*>& nodes); // nodes and their children
    void removeChildren(TZvNode* node);
    void clear();
    bool move(TZvNode* node, TZvNode* newParent, bool first);
    bool moveTo(TZvNode* node, TZvNode* newParent, int index); // -1 or past the end: last
    // These children of parent each to its index, taken in the order of the indexes; the
    // other children keep their order in the places left, and an index past them puts its
    // node last. One pass over the list, where a move per node renumbers it each time.
    void place(TZvNode* parent, std::vector<std::pair<int, TZvNode*>> entries);
    template <class Less> void sortSiblings(Less less);
    // The same, by a key taken once from each node's text, key(text(node)); less compares
    // two keys. For a long tree text, key and less run on two threads at once (for
    // different sibling lists), so they must only read.
    template <class Text, class KeyOf, class Less> void sortSiblingsBy(Text text, KeyOf key, Less less);
    // Every node in tree order (each one before its children) for which
    // test(node, text(node)) holds. For a long tree text and test run on two threads at
    // once, so they must only read.
    template <class Text, class Test> std::vector<TZvNode*> findNodes(Text text, Test test) const;
    // From this many nodes a pass over the whole tree is split between two threads.
    static constexpr size_t kTwoThreadsFrom = 20000;
    int publishedCount() const { return m_publishedCount; }
    int nodeCount() const { return m_nodeCount; }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

    // Identifies drags that started in this tree (the drop refuses anything else).
    QByteArray dragToken() const;

signals:
    // A node and its record are about to be freed (after the relayout that dropped it).
    void nodeFreeing(zv::TZvNode* node);
    // The published rows were laid out again or reset (after layoutChanged or the reset).
    void relaidOut();

private:
    void relayout();
    void publish(TZvNode* node, bool published);
    void takeOut(TZvNode* node);
    void collectFree(TZvNode* node);
    void markDying(TZvNode* node);
    static void unpublishAll(TZvNode* node);
    void renumber(TZvNode* parent, int from = 0);
    void reshow(TZvNode* parent); // its shown rows again, after its children were reordered

    // A pass over a long tree waits mostly for memory: the node, its record and its text,
    // each in a block of its own that the pass last read long ago. This loads those of a
    // node a few steps ahead of the pass, so that the waits overlap.
    template <class Text>
    static void readAhead(const std::vector<TZvNode*>& nodes, size_t i, const Text& text);
    // work(half, first, last) over the two halves (0 and 1) of parts, split where half of
    // the total weight (each part's weight(part)) is done; the second half on a thread of
    // its own when there are two processors and the weight is at least kTwoThreadsFrom.
    template <class Weight, class Work>
    static void inTwo(size_t parts, Weight weight, size_t total, Work work);
    static void flatten(const TZvNode* parent, std::vector<TZvNode*>& out);

    std::function<QString(TZvNode*)> m_textSource;
    TZvNode m_root;
    int m_updateCount = 0;
    bool m_dirty = false;     // the shown rows must be published again
    bool m_reordered = false; // only their order changed, and each list's is up to date
    quint64 m_layoutCount = 0;
    int m_publishedCount = 0;
    int m_nodeCount = 0;
    std::vector<std::unique_ptr<TZvNode>> m_graveyard; // removed, freed after the relayout
    std::unordered_set<const TZvNode*> m_dying;
};

template <class Less> void TZvTreeModel::sortSiblings(Less less)
{
    beginUpdate();
    std::vector<TZvNode*> stack{&m_root};
    while (!stack.empty()) {
        TZvNode* parent = stack.back();
        stack.pop_back();
        auto& list = parent->m_children;
        std::stable_sort(list.begin(), list.end(),
                         [&](const std::unique_ptr<TZvNode>& a, const std::unique_ptr<TZvNode>& b) {
                             return less(a.get(), b.get());
                         });
        renumber(parent);
        for (auto& c : list)
            if (!c->m_children.empty()) stack.push_back(c.get());
    }
    m_dirty = true;
    endUpdate();
}

template <class Text>
void TZvTreeModel::readAhead(const std::vector<TZvNode*>& nodes, size_t i, const Text& text)
{
    constexpr size_t kNode = 16, kRecord = 11, kText = 6;
    if (i + kNode < nodes.size()) __builtin_prefetch(nodes[i + kNode]);
    if (i + kRecord < nodes.size())
        if (const auto* record = reinterpret_cast<const char*>(nodes[i + kRecord]->m_data.get())) {
            __builtin_prefetch(record);
            __builtin_prefetch(record + 64);
        }
    if (i + kText < nodes.size()) {
        const QStringView t = text(nodes[i + kText]);
        if (!t.isEmpty()) {
            __builtin_prefetch(t.data());
            __builtin_prefetch(t.data() + std::min(t.size(), kZvSortHeadChars) - 1);
        }
    }
}

template <class Weight, class Work>
void TZvTreeModel::inTwo(size_t parts, Weight weight, size_t total, Work work)
{
    size_t split = parts;
    if (total >= kTwoThreadsFrom && std::thread::hardware_concurrency() > 1) {
        size_t done = 0;
        for (split = 0; split < parts && done < total / 2; ++split)
            done += weight(split);
    }
    std::exception_ptr failed;
    {
        std::jthread second; // joined at the end of this block, also when this thread throws
        if (split < parts)
            second = std::jthread([&] {
                try {
                    work(1, split, parts);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        work(0, size_t(0), split);
    }
    if (failed) std::rethrow_exception(failed);
}

template <class Text, class KeyOf, class Less>
void TZvTreeModel::sortSiblingsBy(Text text, KeyOf key, Less less)
{
    using K = decltype(key(QStringView()));
    beginUpdate();
    const auto done = ScopeExit([this] { endUpdate(); });
    // A sort shows and hides nothing: each list's shown rows are put in their new order as
    // the list is sorted, and the tree is not published again.
    m_reordered = true;
    // Every list of two or more, and their nodes one list after another.
    std::vector<TZvNode*> parents;
    std::vector<size_t> starts; // of each list in nodes
    std::vector<TZvNode*> nodes;
    std::vector<TZvNode*> stack{&m_root};
    while (!stack.empty()) {
        TZvNode* parent = stack.back();
        stack.pop_back();
        if (parent->m_children.size() > 1) {
            parents.push_back(parent);
            starts.push_back(nodes.size());
            for (const auto& c : parent->m_children)
                nodes.push_back(c.get());
        }
        for (const auto& c : parent->m_children)
            if (!c->m_children.empty()) stack.push_back(c.get());
    }
    // A list at a time, sorted while its nodes and texts are still in the cache.
    const auto sortLists = [&](int, size_t first, size_t last) {
        std::vector<K> keys;
        std::vector<int> order;
        std::vector<std::unique_ptr<TZvNode>> sorted;
        for (size_t p = first; p < last; ++p) {
            auto& list = parents[p]->m_children;
            keys.clear();
            for (size_t i = starts[p]; i < starts[p] + list.size(); ++i) {
                readAhead(nodes, i, text);
                keys.push_back(key(text(nodes[i])));
            }
            order.resize(list.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return less(keys[size_t(a)], keys[size_t(b)]); });
            sorted.clear();
            sorted.reserve(list.size());
            for (int i : order)
                sorted.push_back(std::move(list[size_t(i)]));
            list.swap(sorted);
            renumber(parents[p]);
            reshow(parents[p]);
        }
    };
    try {
        inTwo(
            parents.size(), [&](size_t p) { return parents[p]->m_children.size(); }, nodes.size(), sortLists);
    } catch (...) {
        m_dirty = true; // some lists sorted, some not: publish them all again
        throw;
    }
}

template <class Text, class Test> std::vector<TZvNode*> TZvTreeModel::findNodes(Text text, Test test) const
{
    std::vector<TZvNode*> nodes;
    nodes.reserve(size_t(m_nodeCount));
    flatten(&m_root, nodes);
    std::vector<TZvNode*> found[2];
    inTwo(
        nodes.size(), [](size_t) { return size_t(1); }, nodes.size(),
        [&](int half, size_t first, size_t last) {
            auto& out = found[half];
            for (size_t i = first; i < last; ++i) {
                readAhead(nodes, i, text);
                if (test(nodes[i], text(nodes[i]))) out.push_back(nodes[i]);
            }
        });
    found[0].insert(found[0].end(), found[1].begin(), found[1].end());
    return std::move(found[0]);
}

} // namespace zv
