#pragma once

#include "database/TreeSelection.h"

#include <QTreeWidget>

#include <vector>

namespace kalent {

struct TSNode;
class TSTree;

// A tree view of one database list. The instrument's tree (multiSelect) leaves
// the selection to the page controller: a click is reported with its kind and
// the nodes now visible, and the view shows the selection the controller holds,
// also while it has no focus.
class DatabaseTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DatabaseTreeView(bool multiSelect, QWidget *parent = nullptr);

    // Fills the view from the tree, keeping what was expanded.
    void showTree(const TSTree &tree);
    // Mirrors the nodes' selected flags.
    void showSelection();
    const TSNode *nodeOf(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *itemOf(const TSNode *node) const;
    // Nodes whose ancestors are all expanded, top to bottom.
    std::vector<const TSNode *> visibleNodes() const;

Q_SIGNALS:
    void nodeClicked(const TSNode *node, TreeSelection::Click kind);
    // A node was collapsed (its children are no longer visible).
    void nodeCollapsed();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool m_multiSelect;
};

} // namespace kalent
