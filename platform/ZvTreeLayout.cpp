#include "platform/ZvTreeLayout.h"

#include "platform/ZvTreeModel.h"

#include <algorithm>

namespace zv {

TZvTreeLayout::TZvTreeLayout(const TZvNode* root, std::function<int(TZvNode*)> measure)
    : m_root(root), m_measure(std::move(measure))
{}

void TZvTreeLayout::invalidateHeights()
{
    ++m_generation;
    if (m_dirty) return;
    // Every row back to the estimate, the list itself stays.
    std::fill(m_heights.begin(), m_heights.end(), m_estimate);
    rebuild();
}

void TZvTreeLayout::invalidateHeight(TZvNode* node)
{
    if (!node) return;
    node->m_height = -1;
    if (m_dirty) return;
    const int row = rowOf(node);
    if (row >= 0) setHeight(row, m_estimate);
}

void TZvTreeLayout::setEstimate(int height)
{
    height = std::max(1, height);
    if (height == m_estimate) return;
    m_estimate = height;
    invalidateHeights();
}

bool TZvTreeLayout::cached(const TZvNode* node) const
{
    return node->m_height > 0 && node->m_heightGen == m_generation;
}

void TZvTreeLayout::ensure() const
{
    if (m_dirty) rebuild();
}

void TZvTreeLayout::rebuild() const
{
    if (m_dirty) {
        m_dirty = false;
        m_rows.clear();
        for (TZvNode* top : m_root->m_shown) {
            top->m_layoutRow = int(m_rows.size());
            m_rows.push_back(top);
            if (!top->m_expanded) continue;
            for (TZvNode* child : top->m_shown) {
                child->m_layoutRow = int(m_rows.size());
                m_rows.push_back(child);
            }
        }
        m_heights.resize(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i)
            m_heights[i] = cached(m_rows[i]) ? m_rows[i]->m_height : m_estimate;
    }
    // The Fenwick tree in linear time: each node passes its sum on to its parent.
    const size_t n = m_heights.size();
    m_tree.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        m_tree[i] += m_heights[i - 1];
        const size_t parent = i + (i & (~i + 1));
        if (parent <= n) m_tree[parent] += m_tree[i];
    }
    m_topBit = 1;
    while (size_t(m_topBit) * 2 <= n)
        m_topBit *= 2;
}

void TZvTreeLayout::setHeight(int row, int height) const
{
    const int delta = height - m_heights[size_t(row)];
    if (delta == 0) return;
    m_heights[size_t(row)] = height;
    for (size_t i = size_t(row) + 1; i < m_tree.size(); i += i & (~i + 1))
        m_tree[i] += delta;
}

int TZvTreeLayout::rowCount() const
{
    ensure();
    return int(m_rows.size());
}

TZvNode* TZvTreeLayout::nodeAt(int row) const
{
    ensure();
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)] : nullptr;
}

int TZvTreeLayout::rowOf(const TZvNode* node) const
{
    ensure();
    if (!node) return -1;
    const int row = node->m_layoutRow;
    return row >= 0 && row < int(m_rows.size()) && m_rows[size_t(row)] == node ? row : -1;
}

int TZvTreeLayout::yOfRow(int row) const
{
    ensure();
    row = std::clamp(row, 0, int(m_rows.size()));
    int y = 0;
    for (size_t i = size_t(row); i > 0; i -= i & (~i + 1))
        y += m_tree[i];
    return y;
}

int TZvTreeLayout::heightOf(int row) const
{
    ensure();
    return row >= 0 && row < int(m_rows.size()) ? m_heights[size_t(row)] : 0;
}

int TZvTreeLayout::rowAtY(int y) const
{
    ensure();
    if (y < 0 || m_rows.empty()) return -1;
    // The number of rows that end at or above y, found bit by bit down the tree.
    size_t pos = 0;
    int rest = y;
    for (size_t step = size_t(m_topBit); step > 0; step /= 2) {
        const size_t next = pos + step;
        if (next < m_tree.size() && m_tree[next] <= rest) {
            pos = next;
            rest -= m_tree[next];
        }
    }
    return pos < m_rows.size() ? int(pos) : -1;
}

bool TZvTreeLayout::isMeasured(int row) const
{
    ensure();
    return row >= 0 && row < int(m_rows.size()) && cached(m_rows[size_t(row)]);
}

int TZvTreeLayout::measure(int row)
{
    ensure();
    if (row < 0 || row >= int(m_rows.size())) return 0;
    TZvNode* node = m_rows[size_t(row)];
    if (!cached(node)) {
        node->m_height = std::max(1, m_measure ? m_measure(node) : m_estimate);
        node->m_heightGen = m_generation;
    }
    setHeight(row, node->m_height);
    return node->m_height;
}

} // namespace zv
