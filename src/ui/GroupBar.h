#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QVBoxLayout;

namespace kalent {

// RzGroupBar1, the navigation bar: groups with a caption, each listing its
// actions as entries under a hand cursor. An entry follows its action's text and
// enabled state and triggers it when clicked. A group's caption opens and
// closes it; all groups start open.
class GroupBar : public QWidget
{
    Q_OBJECT
public:
    explicit GroupBar(QWidget *parent = nullptr);

    void addGroup(const QString &caption, const QList<QAction *> &actions);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVBoxLayout *m_layout;
};

} // namespace kalent
