#pragma once

#include <QString>

class QFileDialog;
class QLabel;
class QTableView;
class QWidget;

namespace kalent {

// The pieces the reader and results pages share: the title band, the save
// dialog of "Данные в файл" and the file-error box.
namespace MeasurementWidgets {
QLabel *titleBand(const QString &objectName, const QString &text, QWidget *parent);
// A file dialog with one filter and its extension, opened in folder.
QFileDialog *fileDialog(const QString &objectName, bool forSaving, const QString &filter,
                        const QString &suffix, const QString &folder, QWidget *parent);
// "Таблица Excel (*.xls)" and "Текстовый файл (*.txt)", extension .xls, name
// "VirDat_", opened in the data folder.
QFileDialog *saveDialog(const QString &folder, QWidget *parent);
// Every value of the instrument's table is six characters ("A01.00", "-0.123",
// "10.000") and must be readable whole in a column of the given width: the cells
// keep a one-pixel text margin instead of the style's three, and the grid takes
// the largest font (11, 10 or 9 pixels, plain or semi-condensed) in which the
// widest value fits.
void fitValuesToColumns(QTableView *grid, int columnWidth);
// A message box (objectName "fileErrorBox") that does not block the caller.
void showFileError(const QString &message, QWidget *parent);
} // namespace MeasurementWidgets

} // namespace kalent
