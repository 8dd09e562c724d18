#include "DatabaseTreeView.h"

#include "database/TSTree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>

namespace kalent {

namespace {
constexpr int PathRole = Qt::UserRole + 1;

QString shownPathOf(const QTreeWidgetItem *item)
{
    QStringList parts;
    for (; item; item = item->parent())
        parts.prepend(item->text(0));
    return parts.join(QChar(0x1F));
}
} // namespace

DatabaseTreeView::DatabaseTreeView(bool multiSelect, QWidget *parent)
    : QTreeWidget(parent), m_multiSelect(multiSelect)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // the controller's order is the instrument's
    // The instrument tree's selection is the controller's; the others pick one node.
    setSelectionMode(multiSelect ? QAbstractItemView::NoSelection
                                 : QAbstractItemView::SingleSelection);
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    connect(this, &QTreeWidget::itemCollapsed, this, [this] { Q_EMIT nodeCollapsed(); });
}

void DatabaseTreeView::showTree(const TSTree &tree)
{
    QSet<QString> expanded;
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if ((*it)->isExpanded())
            expanded.insert(shownPathOf(*it));
    clear();
    std::function<void(QTreeWidgetItem *, const TSNode &)> add = [&](QTreeWidgetItem *parent,
                                                                     const TSNode &node) {
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, node.text());
        item->setData(0, PathRole, QVariant::fromValue(QByteArrayList(node.path())));
        for (const auto &child : node.children)
            add(item, *child);
    };
    for (const auto &top : tree.topLevel())
        add(nullptr, *top);
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if (expanded.contains(shownPathOf(*it)))
            (*it)->setExpanded(true);
    if (m_multiSelect && m_selected)
        showSelection(m_selected);
}

void DatabaseTreeView::showSelection(const std::function<bool(const NodePath &)> &selected)
{
    m_selected = selected;
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        (*it)->setSelected(selected(pathOf(*it)));
}

NodePath DatabaseTreeView::pathOf(const QTreeWidgetItem *item) const
{
    if (!item)
        return {};
    return item->data(0, PathRole).value<QByteArrayList>();
}

QTreeWidgetItem *DatabaseTreeView::itemOf(const NodePath &path) const
{
    for (QTreeWidgetItemIterator it(const_cast<DatabaseTreeView *>(this)); *it; ++it)
        if (pathOf(*it) == path)
            return *it;
    return nullptr;
}

std::vector<NodePath> DatabaseTreeView::visibleNodes() const
{
    std::vector<NodePath> out;
    for (QTreeWidgetItemIterator it(const_cast<DatabaseTreeView *>(this)); *it; ++it) {
        bool shown = true;
        for (const QTreeWidgetItem *p = (*it)->parent(); p && shown; p = p->parent())
            shown = p->isExpanded();
        if (shown)
            out.push_back(pathOf(*it));
    }
    return out;
}

void DatabaseTreeView::mousePressEvent(QMouseEvent *event)
{
    QTreeWidgetItem *item = itemAt(event->position().toPoint());
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press left of the text (the branch sign) expands or collapses as usual.
    const bool onBranch = index.isValid() && event->position().x() < visualRect(index).left();
    if (!m_multiSelect || !item || onBranch) {
        QTreeWidget::mousePressEvent(event);
        if (m_multiSelect && !item)
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
    setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    Q_EMIT nodeClicked(pathOf(item), kind);
}

void DatabaseTreeView::keyPressEvent(QKeyEvent *event)
{
    if (!m_multiSelect) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Delete:
        Q_EMIT deleteRequested();
        return;
    case Qt::Key_Space:
        if (QTreeWidgetItem *item = currentItem())
            Q_EMIT nodeClicked(pathOf(item), (mods & Qt::ControlModifier)
                                                 ? TreeSelection::Click::Ctrl
                                                 : TreeSelection::Click::Plain);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        QTreeWidgetItem *before = currentItem();
        // Moves the current item only: the view itself never selects.
        QTreeWidget::keyPressEvent(event);
        QTreeWidgetItem *now = currentItem();
        // Ctrl moves without touching the selection, as Ctrl+click picks later.
        if (!now || now == before || (mods & Qt::ControlModifier))
            return;
        Q_EMIT nodeClicked(pathOf(now), (mods & Qt::ShiftModifier) ? TreeSelection::Click::Shift
                                                                   : TreeSelection::Click::Plain);
        return;
    }
    default:
        // Left and Right collapse and expand as usual.
        QTreeWidget::keyPressEvent(event);
    }
}

} // namespace kalent
