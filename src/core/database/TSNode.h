#pragma once

#include "database/NameCollation.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace kalent {

// One node of a database tree: a group (level 0), a subgroup (1) or a test
// system (2). The name keeps its terminating zero byte as the record holds it.
struct TSNode
{
    QByteArray name;
    NameCollation::Key key;
    TSNode *parent = nullptr;
    std::vector<std::unique_ptr<TSNode>> children;
    // Test systems only: the index of the locator in the list that owns the bytes.
    int locator = -1;
    bool selected = false;

    int level() const
    {
        int n = 0;
        for (const TSNode *p = parent; p; p = p->parent)
            ++n;
        return n;
    }
    // What the tree shows: the text before the zero byte.
    QString text() const { return key.text; }
};

} // namespace kalent
