#pragma once

#include "measurement/PlateTable.h"

#include <QByteArray>
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace kalent {

// The file formats of the plate besides the instrument's own text: each holds
// the plate as rows A..H by columns 1..12 under a title row, numbers as numbers
// and every other value as text.
enum class PlateFormat {
    Text, // OPData, byte for byte (the described .xls/.txt file)
    Csv,
    Xlsx,
    Json,
};

namespace PlateExport {

// "txt", "csv", "xlsx", "json".
std::optional<PlateFormat> formatFromName(const QString &name);
QString suffix(PlateFormat format);

// The field separator and the decimal mark of a CSV file: ";" and "," where
// the locale writes numbers with a decimal comma (Russian among them), so a
// spreadsheet opened in that locale splits the fields and reads the numbers;
// "," and "." elsewhere.
struct CsvStyle
{
    QChar separator = QLatin1Char(',');
    QChar decimalMark = QLatin1Char('.');

    static CsvStyle forLocale(const QLocale &locale);
    // Empty when usable, else why not: the decimal mark is "." or ","; the
    // separator differs from it and is a tab or a printable character that is
    // no letter, digit, sign, quote or blank.
    QString problem() const;
};

// The plate as lines of text, one a row: its letter, then the 12 values as
// received (blanks kept), separated by tabs (read-od's standard output).
QByteArray lines(const PlateTable &table);
// RFC 4180: UTF-8 with a byte order mark, CRLF line ends; numbers unquoted
// with the style's decimal mark, text always quoted, and a text that begins
// like a formula ("=", "+", "-", "@", a tab or a carriage return) behind an
// apostrophe; a blank well an empty field. The row letters and column numbers
// are quoted where they hold the separator.
QByteArray csv(const PlateTable &table, const CsvStyle &style);
// {"instrumentFileName": ..., "readAt": ..., "values": {"A1": 0.123, ..., "H12": "OVER"}},
// a blank well null.
QByteArray json(const PlateTable &table);
// An Excel workbook (one sheet, numbers shown with three decimals, a blank well
// an empty cell), the same in every locale. On failure returns nothing and
// sets *error to the reason (Russian, without a file name: see failureText()).
QByteArray xlsx(const PlateTable &table, QString *error);
// Several plates in one workbook, each on a sheet of its own under the name
// given (at most 31 characters, none of []:*?/\, each once, as Excel wants).
QByteArray xlsxBook(const QVector<PlateTable> &tables, const QStringList &sheetNames,
                    QString *error);

// "Не удалось записать файл PATH: REASON".
QString failureText(const QString &path, const QString &reason);
// The bytes of the table's file in the format: Text is the table's own text
// (OPData) byte for byte. An empty table gives nothing and sets *error to the
// reason, as does a workbook that cannot be made.
QByteArray bytes(PlateFormat format, const PlateTable &table, const CsvStyle &style,
                 QString *error);
// Writes bytes() through AtomicFile: the file is written whole or left as it
// was. Returns an empty string on success, else what failed (Russian).
QString write(const QString &path, PlateFormat format, const PlateTable &table,
              const CsvStyle &style);

} // namespace PlateExport

} // namespace kalent
