#include "WidgetKit.h"

#include "ObjectNames.h"

#include <QAction>
#include <QCheckBox>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <QRect>

namespace kalent::WidgetKit {

QPushButton *button(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(objectName);
    return b;
}

QCheckBox *checkBox(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    return box;
}

QAction *addWindowOpener(QWidget &mainWindow, QWidget *window, const QString &text,
                         const QString &objectName, const QKeySequence &shortcut)
{
    auto *open = new QAction(text, &mainWindow);
    open->setObjectName(objectName);
    open->setShortcut(shortcut);
    open->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(open, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    mainWindow.addAction(open);
    if (auto *panel = mainWindow.findChild<QGroupBox *>(objectNames::portPanel::Panel)) {
        panel->setContextMenuPolicy(Qt::ActionsContextMenu);
        panel->addAction(open);
    }
    return open;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::ButtonText, colour);
    }
    widget->setPalette(palette);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void addTextShadow(QWidget *widget)
{
    auto *shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setOffset(1, 1);
    shadow->setBlurRadius(0);
    shadow->setColor(Qt::black);
    widget->setGraphicsEffect(shadow);
}

void paintPanelShadow(QPainter &painter, const QRect &bounds, int depth, int layerAlpha)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = depth; i >= 1; --i)
        painter.fillRect(bounds.translated(i, i), QColor(0, 0, 0, layerAlpha));
    painter.restore();
}

} // namespace kalent::WidgetKit
