#include "measurement/PlateExport.h"

#include "common/AtomicFile.h"
#include "common/OperatorTexts.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace kalent::PlateExport {

namespace {

QByteArray csvQuoted(const QString &text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return '"' + doubled.toUtf8() + '"';
}

// A field the program writes itself (a row letter, a column number): quoted
// only when it holds what would end or split it.
QByteArray csvField(const QString &text, QChar separator)
{
    if (text.contains(separator) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        return csvQuoted(text);
    return text.toUtf8();
}

// A spreadsheet takes a cell that begins with "=", "+", "-" or "@" (or a tab or
// a carriage return before one) as a formula, even from a quoted CSV field, so
// a text value such as "-----" or one a faulty line made up could run as one. A
// leading apostrophe makes it plain text, as spreadsheet guidance recommends;
// numbers are written as numbers and never reach here.
QString neutralised(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.at(0)))
        return QLatin1Char('\'') + text;
    return text;
}

QByteArray jsonString(const QString &text)
{
    // QJsonDocument does the escaping; the array's brackets are cut off.
    const QByteArray wrapped = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

} // namespace

std::optional<PlateFormat> formatFromName(const QString &name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("txt"))
        return PlateFormat::Text;
    if (n == QLatin1String("csv"))
        return PlateFormat::Csv;
    if (n == QLatin1String("xlsx"))
        return PlateFormat::Xlsx;
    if (n == QLatin1String("json"))
        return PlateFormat::Json;
    return std::nullopt;
}

QString suffix(PlateFormat format)
{
    switch (format) {
    case PlateFormat::Text:
        return QStringLiteral("txt");
    case PlateFormat::Csv:
        return QStringLiteral("csv");
    case PlateFormat::Xlsx:
        return QStringLiteral("xlsx");
    case PlateFormat::Json:
        return QStringLiteral("json");
    }
    return {};
}

CsvStyle CsvStyle::forLocale(const QLocale &locale)
{
    CsvStyle style;
    if (locale.decimalPoint() == QLatin1String(",")) {
        style.separator = QLatin1Char(';');
        style.decimalMark = QLatin1Char(',');
    }
    return style;
}

QString CsvStyle::problem() const
{
    // Any other mark makes a number that no spreadsheet reads as one ("1e048"
    // is 10^48, "1 048" is text).
    if (decimalMark != QLatin1Char('.') && decimalMark != QLatin1Char(','))
        return QStringLiteral("Десятичный знак может быть только точкой \".\" или запятой \",\".");
    if (separator == decimalMark)
        return QStringLiteral("Разделитель полей и десятичный знак должны различаться.");
    // Numbers go unquoted: a separator that can stand in one (a digit, a sign)
    // would split it. A letter splits the row letters and the text values'
    // words; a quote, a blank or a control character breaks the file's syntax
    // (a tab is the one usual separator among them).
    const bool usable =
        separator == QLatin1Char('\t') ||
        (separator.isPrint() && !separator.isSpace() && !separator.isLetter() &&
         !separator.isDigit() && !separator.isMark() && separator != QLatin1Char('"') &&
         separator != QLatin1Char('-') && separator != QLatin1Char('+'));
    if (!usable)
        return QStringLiteral("Разделитель полей не может быть буквой, цифрой, знаком \"+\" или "
                              "\"-\", кавычкой, пробелом или управляющим символом.");
    return {};
}

QByteArray lines(const PlateTable &table)
{
    QString out;
    for (int row = 1; row <= PlateTable::Rows; ++row) {
        QStringList line{PlateTable::rowName(row)};
        for (int column = 1; column <= PlateTable::Columns; ++column)
            line.append(table.value(row, column).text);
        out += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray csv(const PlateTable &table, const CsvStyle &style)
{
    const QByteArray sep = QString(style.separator).toUtf8();
    const QByteArray crlf = QByteArrayLiteral("\r\n");
    QByteArray out = QByteArrayLiteral("\xEF\xBB\xBF");
    out += csvQuoted(neutralised(table.title().text())) + crlf;
    for (int column = 1; column <= PlateTable::Columns; ++column)
        out += sep + csvField(PlateTable::columnName(column), style.separator);
    out += crlf;
    for (int row = 1; row <= PlateTable::Rows; ++row) {
        out += csvField(PlateTable::rowName(row), style.separator);
        for (int column = 1; column <= PlateTable::Columns; ++column) {
            const PlateValue &v = table.value(row, column);
            out += sep;
            if (v.isNumber) {
                QString digits = v.shownText();
                digits.replace(QLatin1Char('.'), style.decimalMark);
                out += digits.toUtf8();
            } else if (!v.isBlank()) {
                out += csvQuoted(neutralised(v.shownText()));
            }
        }
        out += crlf;
    }
    return out;
}

QByteArray json(const PlateTable &table)
{
    const PlateTitle &title = table.title();
    QByteArray out = QByteArrayLiteral("{\n  \"instrumentFileName\": ");
    out += title.instrumentFileName.isEmpty() ? QByteArrayLiteral("null")
                                              : jsonString(title.instrumentFileName);
    out += QByteArrayLiteral(",\n  \"readAt\": ");
    out += title.readAt.isValid()
               ? jsonString(title.readAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
               : QByteArrayLiteral("null");
    out += QByteArrayLiteral(",\n  \"values\": {");
    // Written by hand so the wells keep the plate's order (A1, A2, ... H12).
    bool first = true;
    for (int row = 1; row <= PlateTable::Rows; ++row)
        for (int column = 1; column <= PlateTable::Columns; ++column) {
            const PlateValue &v = table.value(row, column);
            out += first ? "\n    " : ",\n    ";
            first = false;
            out += jsonString(PlateTable::wellName(row, column)) + ": ";
            if (v.isNumber)
                out += QString::number(v.number, 'g', QLocale::FloatingPointShortest).toLatin1();
            else if (v.isBlank())
                out += QByteArrayLiteral("null");
            else
                out += jsonString(v.shownText());
        }
    out += QByteArrayLiteral("\n  }\n}\n");
    return out;
}

QByteArray bytes(PlateFormat format, const PlateTable &table, const CsvStyle &style, QString *error)
{
    if (table.isEmpty()) {
        *error = QStringLiteral("таблица оптических плотностей не принята целиком");
        return {};
    }
    switch (format) {
    case PlateFormat::Text:
        return table.text();
    case PlateFormat::Csv:
        return csv(table, style);
    case PlateFormat::Json:
        return json(table);
    case PlateFormat::Xlsx:
        return xlsx(table, error);
    }
    return {};
}

QString failureText(const QString &path, const QString &reason)
{
    return OperatorTexts::cannotWriteFile(QDir::toNativeSeparators(path), reason);
}

QString write(const QString &path, PlateFormat format, const PlateTable &table,
              const CsvStyle &style)
{
    QString reason;
    const QByteArray out = bytes(format, table, style, &reason);
    if (!reason.isEmpty())
        return failureText(path, reason);
    return AtomicFile::write(path, out);
}

} // namespace kalent::PlateExport
