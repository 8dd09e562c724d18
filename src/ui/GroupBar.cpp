#include "GroupBar.h"

#include "ObjectNames.h"
#include "WidgetKit.h"

#include <QAction>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalent {

namespace {

// No font properties here: the entries keep the window's font.
const char *const CaptionStyle = "QPushButton { color: #ffffff; border: none;"
                                 " text-align: left; padding: 3px 4px;"
                                 " background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                 " stop:0 #0a3fa8, stop:1 #5b8ae0); }"
                                 "QPushButton:disabled { color: #8c96aa; }";
const char *const EntryStyle = "QPushButton { color: #10308c; border: none; text-align: left;"
                               " padding: 2px 6px; background: transparent; }"
                               "QPushButton:hover { color: #3c78e6; }"
                               "QPushButton:disabled { color: #8c96aa; }";

QPushButton *entryFor(QAction *action, QWidget *parent)
{
    auto *entry = new QPushButton(action->text(), parent);
    entry->setFlat(true);
    entry->setCursor(Qt::PointingHandCursor);
    entry->setStyleSheet(QString::fromLatin1(EntryStyle));
    entry->setEnabled(action->isEnabled());
    entry->setFocusPolicy(Qt::NoFocus);
    // A narrow bar cuts the caption rather than pushing the pages aside.
    entry->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    entry->setObjectName(action->objectName() + QStringLiteral("Item"));
    QObject::connect(entry, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, entry, [entry, action] {
        entry->setText(action->text());
        entry->setEnabled(action->isEnabled());
    });
    return entry;
}

} // namespace

GroupBar::GroupBar(QWidget *parent) : QWidget(parent), m_layout(new QVBoxLayout(this))
{
    setObjectName(objectNames::mainWindow::NavigationBar);
    m_layout->setContentsMargins(4, 6, 4, 6);
    m_layout->setSpacing(8);
    m_layout->addStretch(1);
}

void GroupBar::addGroup(const QString &caption, const QList<QAction *> &actions)
{
    auto *group = new QWidget(this);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->setSpacing(0);

    auto *header = new QPushButton(caption, group);
    header->setCheckable(true);
    header->setChecked(true);
    header->setCursor(Qt::PointingHandCursor);
    header->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    header->setStyleSheet(QString::fromLatin1(CaptionStyle));
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    header->setFocusPolicy(Qt::NoFocus);
    groupLayout->addWidget(header);

    auto *body = new QWidget(group);
    WidgetKit::setBackground(body, QColor(0xd6, 0xdf, 0xf7));
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 3, 0, 3);
    bodyLayout->setSpacing(0);
    for (QAction *action : actions)
        bodyLayout->addWidget(entryFor(action, body));
    groupLayout->addWidget(body);
    connect(header, &QPushButton::toggled, body, &QWidget::setVisible);

    m_layout->insertWidget(m_layout->count() - 1, group);
}

void GroupBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QColor(0x7b, 0xa2, 0xe7));
    gradient.setColorAt(1, QColor(0x63, 0x75, 0xd6));
    painter.fillRect(rect(), gradient);
}

} // namespace kalent
