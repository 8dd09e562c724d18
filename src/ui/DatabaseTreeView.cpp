#include "DatabaseTreeView.h"

#include "database/TSTree.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSet>

#include <functional>

namespace kalent {

namespace {
constexpr int NodeRole = Qt::UserRole + 1;

QString pathOf(const QTreeWidgetItem *item)
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
            expanded.insert(pathOf(*it));
    clear();
    std::function<void(QTreeWidgetItem *, const TSNode &)> add = [&](QTreeWidgetItem *parent,
                                                                     const TSNode &node) {
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, node.text());
        item->setData(0, NodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
        for (const auto &child : node.children)
            add(item, *child);
    };
    for (const auto &top : tree.topLevel())
        add(nullptr, *top);
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if (expanded.contains(pathOf(*it)))
            (*it)->setExpanded(true);
    if (m_multiSelect)
        showSelection();
}

void DatabaseTreeView::showSelection()
{
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        const TSNode *node = nodeOf(*it);
        (*it)->setSelected(node && node->selected);
    }
}

const TSNode *DatabaseTreeView::nodeOf(const QTreeWidgetItem *item) const
{
    if (!item)
        return nullptr;
    return reinterpret_cast<const TSNode *>(item->data(0, NodeRole).value<quintptr>());
}

QTreeWidgetItem *DatabaseTreeView::itemOf(const TSNode *node) const
{
    for (QTreeWidgetItemIterator it(const_cast<DatabaseTreeView *>(this)); *it; ++it)
        if (nodeOf(*it) == node)
            return *it;
    return nullptr;
}

std::vector<const TSNode *> DatabaseTreeView::visibleNodes() const
{
    std::vector<const TSNode *> out;
    for (QTreeWidgetItemIterator it(const_cast<DatabaseTreeView *>(this)); *it; ++it) {
        bool shown = true;
        for (const QTreeWidgetItem *p = (*it)->parent(); p && shown; p = p->parent())
            shown = p->isExpanded();
        if (shown)
            out.push_back(nodeOf(*it));
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
            Q_EMIT nodeClicked(nullptr, TreeSelection::Click::Plain);
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
    Q_EMIT nodeClicked(nodeOf(item), kind);
}

} // namespace kalent
