#include "database/TreeSelection.h"

#include <algorithm>

namespace kalent {

namespace {
NodePath parentOf(const NodePath &path)
{
    return path.mid(0, path.size() - 1);
}
} // namespace

bool TreeSelection::contains(const NodePath &node) const
{
    return std::find(m_selected.begin(), m_selected.end(), node) != m_selected.end();
}

void TreeSelection::setOnly(const NodePath &node)
{
    m_selected = {node};
    m_anchor = node;
}

void TreeSelection::clear()
{
    m_selected.clear();
    m_anchor.clear();
}

void TreeSelection::click(const NodePath &node, Click kind,
                          const std::vector<NodePath> &visibleInOrder)
{
    const auto pos = [&](const NodePath &n) {
        return std::find(visibleInOrder.begin(), visibleInOrder.end(), n) - visibleInOrder.begin();
    };
    const long end = static_cast<long>(visibleInOrder.size());
    // Only a node the tree shows can be clicked.
    if (node.isEmpty() || pos(node) == end)
        return;
    switch (kind) {
    case Click::Plain:
    case Click::Right:
        setOnly(node);
        break;
    case Click::Ctrl:
        // A node of another parent starts a new selection: siblings only.
        if (!m_selected.empty() && parentOf(m_selected.front()) != parentOf(node)) {
            setOnly(node);
        } else if (contains(node)) {
            m_selected.erase(std::find(m_selected.begin(), m_selected.end(), node));
            m_anchor = node;
        } else {
            m_selected.push_back(node);
            m_anchor = node;
        }
        break;
    case Click::Shift: {
        if (m_anchor.isEmpty() || pos(m_anchor) == end || parentOf(m_anchor) != parentOf(node)) {
            setOnly(node);
            break;
        }
        m_selected.clear();
        const long a = pos(m_anchor);
        const long b = pos(node);
        for (long i = std::min(a, b); i <= std::max(a, b); ++i) {
            const NodePath &n = visibleInOrder[static_cast<size_t>(i)];
            if (parentOf(n) == parentOf(node))
                m_selected.push_back(n);
        }
        break;
    }
    }
    // Tree order, as the tree reports its selected nodes.
    std::sort(m_selected.begin(), m_selected.end(),
              [&](const NodePath &x, const NodePath &y) { return pos(x) < pos(y); });
}

void TreeSelection::set(const std::vector<NodePath> &nodes, const std::vector<NodePath> &allInOrder)
{
    clear();
    for (const NodePath &n : allInOrder)
        if (std::find(nodes.begin(), nodes.end(), n) != nodes.end())
            m_selected.push_back(n);
}

bool TreeSelection::keepVisible(const std::vector<NodePath> &visibleInOrder)
{
    const auto before = m_selected.size();
    m_selected.erase(std::remove_if(m_selected.begin(), m_selected.end(),
                                    [&](const NodePath &n) {
                                        return std::find(visibleInOrder.begin(),
                                                         visibleInOrder.end(),
                                                         n) == visibleInOrder.end();
                                    }),
                     m_selected.end());
    return m_selected.size() != before;
}

} // namespace kalent
