#include "DatabaseTreeView.h"

#include "database/DatabaseTreeModel.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <functional>

namespace kalent {

DatabaseTreeView::DatabaseTreeView(bool multiSelect, QWidget *parent)
    : QTreeView(parent), m_multiSelect(multiSelect)
{
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // the list's order is the instrument's
    setUniformRowHeights(true);
    // The instrument tree's selection is the controller's; the others pick one node.
    setSelectionMode(multiSelect ? QAbstractItemView::NoSelection
                                 : QAbstractItemView::SingleSelection);
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    connect(this, &QTreeView::collapsed, this, [this] { Q_EMIT nodeCollapsed(); });
}

void DatabaseTreeView::setDatabaseModel(DatabaseTreeModel *model, QItemSelectionModel *selection)
{
    m_model = model;
    QItemSelectionModel *own = selectionModel();
    setModel(model);
    if (selection) {
        setSelectionModel(selection);
        // The selection model made by setModel is the view's; it goes with the view's.
        if (own != selectionModel())
            delete own;
    }
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            &DatabaseTreeView::rememberExpanded);
    connect(model, &QAbstractItemModel::modelReset, this, &DatabaseTreeView::restoreExpanded);
}

void DatabaseTreeView::rememberExpanded()
{
    // Walks the model, not the view's rows: the view may be waiting for a layout.
    m_expanded.clear();
    const std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int row = 0; row < m_model->rowCount(parent); ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            if (isExpanded(index)) {
                m_expanded.push_back(m_model->pathOf(index));
                walk(index);
            }
        }
    };
    walk(QModelIndex());
}

void DatabaseTreeView::restoreExpanded()
{
    // Parents first (remembered in tree order), so that every restored node's
    // children are shown when it is expanded in turn.
    for (const NodePath &node : m_expanded) {
        const QModelIndex index = m_model->indexOf(node);
        if (index.isValid())
            setExpanded(index, true);
    }
    m_expanded.clear();
}

NodePath DatabaseTreeView::pathOf(const QModelIndex &index) const
{
    return m_model ? m_model->pathOf(index) : NodePath();
}

std::vector<NodePath> DatabaseTreeView::visibleNodes() const
{
    std::vector<NodePath> out;
    if (!m_model)
        return out;
    const std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int row = 0; row < m_model->rowCount(parent); ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            out.push_back(m_model->pathOf(index));
            if (isExpanded(index))
                walk(index);
        }
    };
    walk(QModelIndex());
    return out;
}

void DatabaseTreeView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press left of the text (the branch sign) expands or collapses as usual.
    const bool onBranch = index.isValid() && event->position().x() < visualRect(index).left();
    if (!m_multiSelect || !index.isValid() || onBranch) {
        QTreeView::mousePressEvent(event);
        if (m_multiSelect && !index.isValid())
            Q_EMIT nodeClicked(NodePath(), TreeSelection::Click::Plain);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    TreeSelection::Click kind = TreeSelection::Click::Plain;
    if (event->button() == Qt::RightButton)
        kind = TreeSelection::Click::Right;
    else if (event->modifiers() & Qt::ShiftModifier)
        kind = TreeSelection::Click::Shift;
    else if (event->modifiers() & Qt::ControlModifier)
        kind = TreeSelection::Click::Ctrl;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    Q_EMIT nodeClicked(pathOf(index), kind);
}

void DatabaseTreeView::keyPressEvent(QKeyEvent *event)
{
    if (!m_multiSelect) {
        QTreeView::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Delete:
        Q_EMIT deleteRequested();
        return;
    case Qt::Key_Space:
        if (currentIndex().isValid())
            Q_EMIT nodeClicked(pathOf(currentIndex()), (mods & Qt::ControlModifier)
                                                           ? TreeSelection::Click::Ctrl
                                                           : TreeSelection::Click::Plain);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const QModelIndex before = currentIndex();
        // Moves the current row only: the view itself never selects.
        QTreeView::keyPressEvent(event);
        const QModelIndex now = currentIndex();
        // Ctrl moves without touching the selection, as Ctrl+click picks later.
        if (!now.isValid() || now == before || (mods & Qt::ControlModifier))
            return;
        Q_EMIT nodeClicked(pathOf(now), (mods & Qt::ShiftModifier) ? TreeSelection::Click::Shift
                                                                   : TreeSelection::Click::Plain);
        return;
    }
    default:
        // Left and Right collapse and expand as usual.
        QTreeView::keyPressEvent(event);
    }
}

} // namespace kalent
