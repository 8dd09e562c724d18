// The workbook of PlateExport::xlsx, kept apart because it is the one piece that
// talks to libxlsxwriter (a C library).
#include "measurement/PlateExport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

namespace kalent::PlateExport {

namespace {

// Excel's XML cannot hold a zero character and libxlsxwriter takes C strings,
// where it would end the text early; it stands as U+FFFD so the rest survives.
QByteArray cellText(const QString &text)
{
    QString safe = text;
    safe.replace(QChar(0), QChar(0xFFFD));
    return safe.toUtf8();
}

QString xlsxError(lxw_error error)
{
    return QStringLiteral("Не удалось создать книгу Excel: %1")
        .arg(QString::fromUtf8(lxw_strerror(error)));
}

} // namespace

QByteArray xlsx(const PlateTable &table, const PlateTitle &title, QString *error)
{
    // The version Debian ships writes only to a named file: the workbook goes
    // into a private folder and is read back, so the caller's file is written
    // once, whole, by AtomicFile.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        *error = QStringLiteral("Не удалось создать временную папку для книги Excel: %1")
                     .arg(dir.errorString());
        return {};
    }
    const QString path = dir.filePath(QStringLiteral("plate.xlsx"));
    const QByteArray encodedPath = QFile::encodeName(path);
    QByteArray tempDir = QFile::encodeName(dir.path());
    lxw_workbook_options options{};
    options.tmpdir = tempDir.data();
    lxw_workbook *workbook = workbook_new_opt(encodedPath.constData(), &options);
    if (!workbook) {
        *error = xlsxError(LXW_ERROR_MEMORY_MALLOC_FAILED);
        return {};
    }
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Оптические плотности");
    lxw_format *numberFormat = workbook_add_format(workbook);
    format_set_num_format(numberFormat, "0.000");
    lxw_format *header = workbook_add_format(workbook);
    format_set_bold(header);
    format_set_align(header, LXW_ALIGN_CENTER);
    lxw_format *titleFormat = workbook_add_format(workbook);
    format_set_bold(titleFormat);

    lxw_error failed = sheet ? LXW_NO_ERROR : LXW_ERROR_MEMORY_MALLOC_FAILED;
    const auto check = [&failed](lxw_error result) {
        if (failed == LXW_NO_ERROR)
            failed = result;
    };
    if (sheet) {
        check(worksheet_write_string(sheet, 0, 0, cellText(title.text()).constData(), titleFormat));
        check(worksheet_set_column(sheet, 0, 0, 4, nullptr));
        check(worksheet_set_column(sheet, 1, PlateTable::Columns, 8, nullptr));
        for (int column = 1; column <= PlateTable::Columns; ++column)
            check(worksheet_write_number(sheet, 1, static_cast<lxw_col_t>(column), column, header));
        for (int row = 1; row <= PlateTable::Rows; ++row) {
            const auto sheetRow = static_cast<lxw_row_t>(row + 1);
            check(worksheet_write_string(sheet, sheetRow, 0,
                                         PlateTable::rowName(row).toUtf8().constData(), header));
            for (int column = 1; column <= PlateTable::Columns; ++column) {
                const PlateValue &v = table.value(row, column);
                const auto sheetColumn = static_cast<lxw_col_t>(column);
                if (v.isNumber)
                    check(worksheet_write_number(sheet, sheetRow, sheetColumn, v.number,
                                                 numberFormat));
                else
                    check(worksheet_write_string(sheet, sheetRow, sheetColumn,
                                                 cellText(v.shownText()).constData(), nullptr));
            }
        }
    }
    // Closing writes the file and frees the workbook, also after a failure.
    const lxw_error closed = workbook_close(workbook);
    check(closed);
    if (failed != LXW_NO_ERROR) {
        *error = xlsxError(failed);
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Не удалось прочитать созданную книгу Excel: %1")
                     .arg(file.errorString());
        return {};
    }
    return file.readAll();
}

} // namespace kalent::PlateExport
