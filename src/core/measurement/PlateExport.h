#pragma once

#include "measurement/PlateTable.h"

#include <QByteArray>
#include <QChar>
#include <QLocale>
#include <QString>

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

// RFC 4180: UTF-8 with a byte order mark, CRLF line ends; numbers unquoted
// with the style's decimal mark, text always quoted, and a text that begins
// like a formula ("=", "+", "-", "@", a tab or a carriage return) behind an
// apostrophe. The row letters and column numbers are quoted where they hold
// the separator.
QByteArray csv(const PlateTable &table, const PlateTitle &title, const CsvStyle &style);
// {"instrumentFileName": ..., "readAt": ..., "values": {"A1": 0.123, ..., "H12": "OVER"}}
QByteArray json(const PlateTable &table, const PlateTitle &title);
// An Excel workbook (one sheet, numbers shown with three decimals), the same in
// every locale. On failure returns nothing and sets *error to the reason
// (Russian, without a file name: see failureText()).
QByteArray xlsx(const PlateTable &table, const PlateTitle &title, QString *error);

// "Не удалось записать файл PATH: REASON".
QString failureText(const QString &path, const QString &reason);
// Writes the table in the format through AtomicFile: the file is written whole
// or left as it was. Text writes opData unchanged; the others need a complete
// table. Returns an empty string on success, else what failed (Russian).
QString write(const QString &path, PlateFormat format, const QByteArray &opData,
              const PlateTitle &title, const CsvStyle &style);
// The bytes of the file write() would write. On failure returns nothing and
// sets *error to the reason, as xlsx() does.
QByteArray bytes(PlateFormat format, const QByteArray &opData, const PlateTitle &title,
                 const CsvStyle &style, QString *error);

} // namespace PlateExport

} // namespace kalent
