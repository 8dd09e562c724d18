#pragma once

#include <vector>

namespace kalent {

struct TSNode;
class TSTree;

// The instrument tree's multi-selection: a plain or right click selects one node,
// Ctrl+click adds or removes one, Shift+click selects the run from the last
// clicked node. Only visible nodes and only siblings are ever selected together.
class TreeSelection
{
public:
    enum class Click { Plain, Ctrl, Shift, Right };

    // visibleInOrder: the nodes the tree shows (every ancestor expanded), top to bottom.
    void click(TSTree &tree, TSNode *node, Click kind, const std::vector<TSNode *> &visibleInOrder);
    // A node was collapsed: selected nodes it hides are deselected, so only
    // visible nodes stay selected. True when the selection changed.
    bool keepVisible(TSTree &tree, const std::vector<TSNode *> &visibleInOrder);
    // The tree was rebuilt: the anchor is gone.
    void reset() { m_anchor = nullptr; }

private:
    TSNode *m_anchor = nullptr;
};

} // namespace kalent
