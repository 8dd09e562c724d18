#pragma once

#include "database/TSNode.h"

#include <vector>

namespace kalent {

// The instrument tree's multi-selection, held as node identities (paths) so it
// never points into a tree that has been built anew: a plain or right click
// selects one node, Ctrl+click adds or removes one, Shift+click selects the run
// from the last clicked node. Only visible nodes and only siblings are ever
// selected together. Kept in tree order.
class TreeSelection
{
public:
    enum class Click { Plain, Ctrl, Shift, Right };

    // visibleInOrder: the nodes the tree shows (every ancestor expanded), top to bottom.
    void click(const NodePath &node, Click kind, const std::vector<NodePath> &visibleInOrder);
    // A node was collapsed: selected nodes it hides are deselected, so only
    // visible nodes stay selected. True when the selection changed.
    bool keepVisible(const std::vector<NodePath> &visibleInOrder);
    // Sets the selection as given (the command line names any nodes), in the
    // order of allInOrder; nodes not in it are left out.
    void set(const std::vector<NodePath> &nodes, const std::vector<NodePath> &allInOrder);
    // The tree was built anew or is being replaced: nothing is selected.
    void clear();

    const std::vector<NodePath> &nodes() const { return m_selected; }
    int count() const { return static_cast<int>(m_selected.size()); }
    bool contains(const NodePath &node) const;

private:
    void setOnly(const NodePath &node);

    std::vector<NodePath> m_selected;
    NodePath m_anchor;
};

} // namespace kalent
