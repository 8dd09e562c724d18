#pragma once

#include "database/TreeSelection.h"

#include <QTreeView>

#include <vector>

namespace kalent {

class DatabaseTreeModel;

// A tree view over one database list's model: every row is a node of the list.
// What was expanded stays expanded when the model is reset (nodes are known by
// their identity, the path of names). The instrument's tree (multiSelect) leaves
// the selection to the page controller and draws the controller's selection
// model: a click, or the keyboard acting like one (arrows move and select,
// Shift+arrows extend, Ctrl keeps the selection while moving, Space selects or
// with Ctrl toggles), is reported with its kind and the nodes now visible;
// Delete asks for deletion. The selection stays visible while the view has no focus.
class DatabaseTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit DatabaseTreeView(bool multiSelect, QWidget *parent = nullptr);

    // The list's model, and for the instrument's tree the controller's selection
    // model over it; both stay the controller's.
    void setDatabaseModel(DatabaseTreeModel *model, QItemSelectionModel *selection = nullptr);
    DatabaseTreeModel *databaseModel() const { return m_model; }
    NodePath pathOf(const QModelIndex &index) const;
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
    void rememberExpanded();
    void restoreExpanded();

    bool m_multiSelect;
    DatabaseTreeModel *m_model = nullptr;
    std::vector<NodePath> m_expanded;
};

} // namespace kalent
