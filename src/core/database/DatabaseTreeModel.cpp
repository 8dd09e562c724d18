#include "database/DatabaseTreeModel.h"

namespace kalent {

DatabaseTreeModel::DatabaseTreeModel(const DatabaseList &list, QObject *parent)
    : QAbstractItemModel(parent), m_list(list)
{}

const std::vector<std::unique_ptr<TSNode>> &
DatabaseTreeModel::childrenOf(const TSNode *parent) const
{
    return parent ? parent->children : m_list.tree().topLevel();
}

int DatabaseTreeModel::rowOf(const TSNode *node) const
{
    const auto &siblings = childrenOf(node->parent);
    for (size_t row = 0; row < siblings.size(); ++row)
        if (siblings[row].get() == node)
            return static_cast<int>(row);
    return -1;
}

const TSNode *DatabaseTreeModel::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<const TSNode *>(index.internalPointer());
}

QModelIndex DatabaseTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const auto &children = childrenOf(nodeOf(parent));
    if (row >= static_cast<int>(children.size()))
        return {};
    // The node itself is the index's pointer: the tree keeps its nodes in place
    // until it changes, and every change resets the model first.
    return createIndex(row, 0, children[static_cast<size_t>(row)].get());
}

QModelIndex DatabaseTreeModel::parent(const QModelIndex &child) const
{
    const TSNode *node = nodeOf(child);
    if (!node || !node->parent)
        return {};
    return createIndex(rowOf(node->parent), 0, node->parent);
}

int DatabaseTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(childrenOf(nodeOf(parent)).size());
}

int DatabaseTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant DatabaseTreeModel::data(const QModelIndex &index, int role) const
{
    const TSNode *node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->text();
    case PathRole:
        return QVariant::fromValue(QByteArrayList(node->path()));
    default:
        return {};
    }
}

Qt::ItemFlags DatabaseTreeModel::flags(const QModelIndex &index) const
{
    if (!nodeOf(index))
        return Qt::NoItemFlags;
    // Names are the instrument's: never edited in place.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex DatabaseTreeModel::indexOf(const NodePath &path) const
{
    const TSNode *node = path.isEmpty() ? nullptr : m_list.tree().find(path);
    return node ? createIndex(rowOf(node), 0, const_cast<TSNode *>(node)) : QModelIndex();
}

NodePath DatabaseTreeModel::pathOf(const QModelIndex &index) const
{
    const TSNode *node = nodeOf(index);
    return node ? node->path() : NodePath();
}

void DatabaseTreeModel::listAboutToChange(const DatabaseList &list)
{
    if (&list == &m_list && m_changeDepth++ == 0)
        beginResetModel();
}

void DatabaseTreeModel::listChanged(const DatabaseList &list)
{
    if (&list == &m_list && m_changeDepth > 0 && --m_changeDepth == 0)
        endResetModel();
}

} // namespace kalent
