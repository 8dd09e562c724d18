#pragma once

#include <QString>

class QFileDialog;
class QFileInfo;

namespace kalent {

// What every file dialog of the program gets on top of Qt's own (the Qt
// dialog, not the desktop's): the Type column in Russian ("Папка", "Диск",
// "Файл BDT"; Qt's catalogue has no Russian for these), and Size, Type and Date
// columns as wide as their texts, so no size or date is cut short, and the
// places on the left shown whole.
namespace FileDialogLook {
void apply(QFileDialog *dialog);
// The Type column's word for a path.
QString typeOf(const QFileInfo &info);
} // namespace FileDialogLook

} // namespace kalent
