#pragma once

#include "database/DatabaseList.h"
#include "database/TestSystemDatabase.h"

#include <QAbstractItemModel>

namespace kalent {

// One database list as an item model: its rows are the nodes of the list's tree
// (groups, their subgroups, their test systems), one column, the shown name. The
// model reads the list it was given and holds nothing of its own, so a view over
// it shows what the list holds and nothing else. The list's owner reports every
// change of the tree (TestSystemDatabase::ListObserver), which resets the model:
// the old rows are gone before a view can ask for them again.
class DatabaseTreeModel : public QAbstractItemModel, public TestSystemDatabase::ListObserver
{
    Q_OBJECT
public:
    // The node's identity (NodePath as a QByteArrayList): stable across resets.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit DatabaseTreeModel(const DatabaseList &list, QObject *parent = nullptr);

    const DatabaseList &list() const { return m_list; }
    // The row of a node, or an invalid index when the list has no such node.
    QModelIndex indexOf(const NodePath &path) const;
    // The identity of the node a row stands for; empty for an invalid index.
    NodePath pathOf(const QModelIndex &index) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void listAboutToChange(const DatabaseList &list) override;
    void listChanged(const DatabaseList &list) override;

private:
    const TSNode *nodeOf(const QModelIndex &index) const;
    const std::vector<std::unique_ptr<TSNode>> &childrenOf(const TSNode *parent) const;
    int rowOf(const TSNode *node) const;

    const DatabaseList &m_list;
    // Changes may nest (an addition forms the additional list again): one reset.
    int m_changeDepth = 0;
};

} // namespace kalent
