#pragma once

#include "database/NameCollation.h"
#include "database/TSNode.h"

#include <QList>

#include <vector>

namespace kalent {

// A three-level database tree (group, subgroup, test system) whose siblings stay
// sorted in the instrument's name order. Tree order is the display order: depth
// first, each node before its children.
class TSTree
{
public:
    TSTree() = default;
    TSTree(const TSTree &) = delete;
    TSTree &operator=(const TSTree &) = delete;
    TSTree(TSTree &&) = default;
    TSTree &operator=(TSTree &&) = default;

    void clear() { m_top.clear(); }
    bool isEmpty() const { return m_top.empty(); }
    const std::vector<std::unique_ptr<TSNode>> &topLevel() const { return m_top; }

    // The child of parent (null: a top-level node) whose name equals name byte for byte.
    TSNode *findChild(const TSNode *parent, const QByteArray &name) const;
    // Adds a child in its sorted place.
    TSNode *addChild(TSNode *parent, const QByteArray &name);
    TSNode *findOrAddChild(TSNode *parent, const QByteArray &name);
    // Removes the node with its subtree.
    void remove(TSNode *node);

    std::vector<TSNode *> nodesInOrder() const;
    std::vector<TSNode *> testSystems() const;
    // The node of a path of exact names (zero bytes included), or null.
    const TSNode *find(const NodePath &path) const;
    // The node of a path of shown names (without zero bytes), or null.
    TSNode *findPath(const QList<QByteArray> &names) const;

    const NameCollation &collation() const { return m_collation; }

private:
    std::vector<std::unique_ptr<TSNode>> &siblingsOf(TSNode *parent);
    const std::vector<std::unique_ptr<TSNode>> &siblingsOf(const TSNode *parent) const;

    NameCollation m_collation;
    std::vector<std::unique_ptr<TSNode>> m_top;
};

} // namespace kalent
