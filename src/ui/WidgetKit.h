#pragma once

#include <QColor>
#include <QString>

class QAction;
class QCheckBox;
class QKeySequence;
class QPainter;
class QPushButton;
class QRect;
class QWidget;

namespace kalent {

// The small pieces every page builds its look from: named controls, text and
// background colours, and the two kinds of shadow (under a text, under a panel).
namespace WidgetKit {

// A push button or check box with its objectName, the name tests find it by.
QPushButton *button(const QString &objectName, const QString &text, QWidget *parent);
QCheckBox *checkBox(const QString &objectName, const QString &text, QWidget *parent);

// A window of the program's own beside the main one, opened (shown, raised,
// activated) by an action with its objectName and shortcut: on the main window
// for the shortcut and in the port panel's context menu, so no described
// control moves.
QAction *addWindowOpener(QWidget &mainWindow, QWidget *window, const QString &text,
                         const QString &objectName, const QKeySequence &shortcut);

// Only the enabled look takes the colour: a disabled control keeps the palette's
// disabled text, so a coloured control that cannot be used still looks greyed.
void setTextColour(QWidget *widget, const QColor &colour);
// A filled background of the given colour.
void setBackground(QWidget *widget, const QColor &colour);

// A hard black shadow one pixel below right of the widget's text.
void addTextShadow(QWidget *widget);

// A black drop shadow `depth` pixels deep to the right of and below `bounds`,
// fading outwards: layers of translucent black, darkest next to the panel. A
// panel paints it under its child panels; the child is painted over the rest.
void paintPanelShadow(QPainter &painter, const QRect &bounds, int depth = 6, int layerAlpha = 36);

} // namespace WidgetKit

} // namespace kalent
