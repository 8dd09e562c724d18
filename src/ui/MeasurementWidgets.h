#pragma once

#include <QString>

class QCheckBox;
class QFileDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace kalent {

// The pieces the reader and results pages share: their look (title band,
// buttons, check boxes), the save dialog sdlgSaveVirDat and the file-error box.
namespace MeasurementWidgets {
QLabel *titleBand(const QString &objectName, const QString &text, QWidget *parent);
QPushButton *button(const QString &objectName, const QString &text, QWidget *parent);
QCheckBox *checkBox(const QString &objectName, const QString &text, QWidget *parent);
// "Таблица Excel (*.xls)" and "Текстовый файл (*.txt)", extension .xls, name
// "VirDat_", opened in the data folder.
QFileDialog *saveDialog(const QString &folder, QWidget *parent);
// A message box (objectName "fileErrorBox") that does not block the caller.
void showFileError(const QString &message, QWidget *parent);
} // namespace MeasurementWidgets

} // namespace kalent
