#include "database/TreeSelection.h"

#include "database/TSTree.h"

#include <algorithm>

namespace kalent {

void TreeSelection::click(TSTree &tree, TSNode *node, Click kind,
                          const std::vector<TSNode *> &visibleInOrder)
{
    if (!node)
        return;
    const auto pos = [&](const TSNode *n) {
        return std::find(visibleInOrder.begin(), visibleInOrder.end(), n) - visibleInOrder.begin();
    };
    const bool anchorValid = m_anchor && pos(m_anchor) < static_cast<long>(visibleInOrder.size());
    switch (kind) {
    case Click::Plain:
    case Click::Right:
        tree.clearSelection();
        node->selected = true;
        m_anchor = node;
        return;
    case Click::Ctrl: {
        // A node of another parent starts a new selection: siblings only.
        const auto selected = tree.selectedNodes();
        if (!selected.empty() && selected.front()->parent != node->parent) {
            tree.clearSelection();
            node->selected = true;
        } else {
            node->selected = !node->selected;
        }
        m_anchor = node;
        return;
    }
    case Click::Shift: {
        if (!anchorValid || m_anchor->parent != node->parent) {
            tree.clearSelection();
            node->selected = true;
            m_anchor = node;
            return;
        }
        tree.clearSelection();
        const long a = pos(m_anchor);
        const long b = pos(node);
        for (long i = std::min(a, b); i <= std::max(a, b); ++i) {
            TSNode *n = visibleInOrder[static_cast<size_t>(i)];
            if (n->parent == node->parent)
                n->selected = true;
        }
        return;
    }
    }
}

bool TreeSelection::keepVisible(TSTree &tree, const std::vector<TSNode *> &visibleInOrder)
{
    bool changed = false;
    for (TSNode *n : tree.selectedNodes()) {
        if (std::find(visibleInOrder.begin(), visibleInOrder.end(), n) == visibleInOrder.end()) {
            n->selected = false;
            changed = true;
        }
    }
    return changed;
}

} // namespace kalent
