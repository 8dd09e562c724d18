#pragma once

#include "database/TreeSelection.h"

#include <QTreeWidget>

#include <functional>
#include <vector>

namespace kalent {

class TSTree;

// A tree view of one database list. Each item carries its node's identity (the
// path of names), never a pointer into the list. The instrument's tree
// (multiSelect) leaves the selection to the page controller: a click, or the
// keyboard acting like one (arrows move and select, Shift+arrows extend, Ctrl
// keeps the selection while moving, Space selects or with Ctrl toggles), is
// reported with its kind and the nodes now visible; Delete asks for deletion.
// The view shows the selection the controller holds, also while it has no focus.
class DatabaseTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DatabaseTreeView(bool multiSelect, QWidget *parent = nullptr);

    // Fills the view from the tree, keeping what was expanded.
    void showTree(const TSTree &tree);
    // Mirrors the controller's selection.
    void showSelection(const std::function<bool(const NodePath &)> &selected);
    NodePath pathOf(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *itemOf(const NodePath &path) const;
    // Nodes whose ancestors are all expanded, top to bottom.
    std::vector<NodePath> visibleNodes() const;

Q_SIGNALS:
    void nodeClicked(const kalent::NodePath &node, kalent::TreeSelection::Click kind);
    // A node was collapsed (its children are no longer visible).
    void nodeCollapsed();
    // The Delete key: the selected nodes are to be deleted.
    void deleteRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_multiSelect;
    std::function<bool(const NodePath &)> m_selected;
};

} // namespace kalent
