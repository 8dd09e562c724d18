#pragma once

#include <QStyledItemDelegate>

namespace kalent {

// Paints one line of the exchange trace from a role of TraceListModel, on one
// line, never wrapped or elided. Every row has the same size, that of the
// longest line the role can hold, so a view with uniform item sizes lays out
// its rows without asking any row for its text; the text is made only for the
// rows painted.
class TraceLineDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    TraceLineDelegate(int role, int longestLineChars, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int m_role;
    int m_longestLineChars;
};

} // namespace kalent
