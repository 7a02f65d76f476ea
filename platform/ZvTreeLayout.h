#pragma once

// TZvTreeLayout: the rows a tree shows, top to bottom, and where each one is.
//
// The rows are the published nodes of a TZvTreeModel, a node's published children following
// it while it is expanded. Each row has a height: its measured one, or an estimate until it
// is measured (rows are measured when first shown, so neither a load nor a long scroll
// measures every text). A Fenwick tree over the heights answers "row at y", "y of row" and a
// height change in O(log n); the row list itself is rebuilt lazily, after a change.

#include <functional>
#include <vector>

namespace zv {

class TZvNode;

class TZvTreeLayout
{
public:
    // root: the model's hidden root. measure: a row's height in pixels (at least 1).
    TZvTreeLayout(const TZvNode* root, std::function<int(TZvNode*)> measure);

    // The rows changed (a relayout, an expansion, a reset): rebuilt at the next question.
    void invalidate() { m_dirty = true; }
    // Every height is measured again when next shown (a new width or font).
    void invalidateHeights();
    // That node's height is measured again when next shown.
    void invalidateHeight(TZvNode* node);
    // The height a row counts with until it is measured.
    void setEstimate(int height);
    int estimate() const { return m_estimate; }

    int rowCount() const;
    TZvNode* nodeAt(int row) const;       // nullptr outside the rows
    int rowOf(const TZvNode* node) const; // -1: not a row (hidden, or under a collapsed node)
    int yOfRow(int row) const;            // top of the row; the total height past the end
    int heightOf(int row) const;          // as counted now (measured or estimated)
    int rowAtY(int y) const;              // -1 above the first row or below the last
    int totalHeight() const { return yOfRow(rowCount()); }
    bool isMeasured(int row) const;
    // Measures the row if it is not yet; its height as measured.
    int measure(int row);

private:
    void ensure() const;
    void rebuild() const;
    void setHeight(int row, int height) const;
    bool cached(const TZvNode* node) const;

    const TZvNode* m_root;
    std::function<int(TZvNode*)> m_measure;
    int m_estimate = 20;
    unsigned m_generation = 1; // a node's cached height counts only from this generation
    mutable bool m_dirty = true;
    mutable std::vector<TZvNode*> m_rows;
    mutable std::vector<int> m_heights; // per row, as counted
    mutable std::vector<int> m_tree;    // Fenwick tree over m_heights, 1-based
    mutable int m_topBit = 1;
};

} // namespace zv
