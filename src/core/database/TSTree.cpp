#include "database/TSTree.h"

#include <algorithm>
#include <functional>

namespace kalent {

std::vector<std::unique_ptr<TSNode>> &TSTree::siblingsOf(TSNode *parent)
{
    return parent ? parent->children : m_top;
}

const std::vector<std::unique_ptr<TSNode>> &TSTree::siblingsOf(const TSNode *parent) const
{
    return parent ? parent->children : m_top;
}

TSNode *TSTree::findChild(const TSNode *parent, const QByteArray &name) const
{
    for (const auto &child : siblingsOf(parent))
        if (child->name == name)
            return child.get();
    return nullptr;
}

TSNode *TSTree::addChild(TSNode *parent, const QByteArray &name)
{
    auto node = std::make_unique<TSNode>();
    node->name = name;
    node->key = NameCollation::keyOf(name);
    node->parent = parent;
    auto &siblings = siblingsOf(parent);
    const auto at = std::upper_bound(
        siblings.begin(), siblings.end(), node,
        [this](const auto &a, const auto &b) { return m_collation.compare(a->key, b->key) < 0; });
    TSNode *raw = node.get();
    siblings.insert(at, std::move(node));
    return raw;
}

TSNode *TSTree::findOrAddChild(TSNode *parent, const QByteArray &name)
{
    if (TSNode *found = findChild(parent, name))
        return found;
    return addChild(parent, name);
}

void TSTree::remove(TSNode *node)
{
    auto &siblings = siblingsOf(node->parent);
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [node](const auto &n) { return n.get() == node; }),
                   siblings.end());
}

std::vector<TSNode *> TSTree::nodesInOrder() const
{
    std::vector<TSNode *> out;
    std::function<void(const std::vector<std::unique_ptr<TSNode>> &)> walk =
        [&](const std::vector<std::unique_ptr<TSNode>> &nodes) {
            for (const auto &n : nodes) {
                out.push_back(n.get());
                walk(n->children);
            }
        };
    walk(m_top);
    return out;
}

std::vector<TSNode *> TSTree::testSystems() const
{
    std::vector<TSNode *> out;
    for (const auto &group : m_top)
        for (const auto &subgroup : group->children)
            for (const auto &ts : subgroup->children)
                out.push_back(ts.get());
    return out;
}

const TSNode *TSTree::find(const NodePath &path) const
{
    const TSNode *node = nullptr;
    for (const QByteArray &name : path) {
        node = findChild(node, name);
        if (!node)
            return nullptr;
    }
    return node;
}

TSNode *TSTree::findPath(const QList<QByteArray> &names) const
{
    const TSNode *parent = nullptr;
    TSNode *found = nullptr;
    for (const QByteArray &name : names) {
        found = nullptr;
        for (const auto &child : siblingsOf(parent)) {
            const int zero = child->name.indexOf('\0');
            const QByteArray shown = zero < 0 ? child->name : child->name.left(zero);
            if (shown == name) {
                found = child.get();
                break;
            }
        }
        if (!found)
            return nullptr;
        parent = found;
    }
    return found;
}

} // namespace kalent
