#pragma once

#include "database/NameCollation.h"
#include "database/TSLocator.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace kalent {

// A node's identity: the names from its group down to it, each with its zero
// byte. Siblings never share a name, so a path names at most one node, and it
// outlives the node objects of a tree that is built anew.
using NodePath = QList<QByteArray>;

// One node of a database tree: a group (level 0), a subgroup (1) or a test
// system (2). The name keeps its terminating zero byte as the record holds it.
struct TSNode
{
    QByteArray name;
    NameCollation::Key key;
    TSNode *parent = nullptr;
    std::vector<std::unique_ptr<TSNode>> children;
    // Test systems only: where the record's bytes stand in the list's image.
    TSLocator locator;

    int level() const
    {
        int n = 0;
        for (const TSNode *p = parent; p; p = p->parent)
            ++n;
        return n;
    }
    NodePath path() const
    {
        NodePath out;
        for (const TSNode *n = this; n; n = n->parent)
            out.prepend(n->name);
        return out;
    }
    // What the tree shows: the text before the zero byte.
    QString text() const { return key.text; }
};

} // namespace kalent
