#include "measurement/PlateExport.h"

#include "common/AtomicFile.h"

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
    const auto bad = [](QChar c) {
        return c.isNull() || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
               c == QLatin1Char('\n');
    };
    if (bad(separator) || bad(decimalMark))
        return QStringLiteral("Разделитель и десятичный знак не могут быть кавычкой или концом "
                              "строки.");
    if (separator == decimalMark)
        return QStringLiteral("Разделитель полей и десятичный знак должны различаться.");
    if (decimalMark.isDigit() || separator.isDigit() || decimalMark == QLatin1Char('-') ||
        decimalMark == QLatin1Char('+'))
        return QStringLiteral("Десятичный знак или разделитель не может быть цифрой или знаком.");
    return {};
}

QByteArray csv(const PlateTable &table, const PlateTitle &title, const CsvStyle &style)
{
    const QByteArray sep = QString(style.separator).toUtf8();
    const QByteArray crlf = QByteArrayLiteral("\r\n");
    QByteArray out = QByteArrayLiteral("\xEF\xBB\xBF");
    out += csvQuoted(title.text()) + crlf;
    for (int column = 1; column <= PlateTable::Columns; ++column)
        out += sep + QByteArray::number(column);
    out += crlf;
    for (int row = 1; row <= PlateTable::Rows; ++row) {
        out += PlateTable::rowName(row).toUtf8();
        for (int column = 1; column <= PlateTable::Columns; ++column) {
            const PlateValue &v = table.value(row, column);
            out += sep;
            if (v.isNumber) {
                QString digits = v.numberText();
                digits.replace(QLatin1Char('.'), style.decimalMark);
                out += digits.toUtf8();
            } else {
                out += csvQuoted(v.shownText());
            }
        }
        out += crlf;
    }
    return out;
}

QByteArray json(const PlateTable &table, const PlateTitle &title)
{
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
            out += v.isNumber
                       ? QString::number(v.number, 'g', QLocale::FloatingPointShortest).toLatin1()
                       : jsonString(v.shownText());
        }
    out += QByteArrayLiteral("\n  }\n}\n");
    return out;
}

QByteArray bytes(PlateFormat format, const QByteArray &opData, const PlateTitle &title,
                 const CsvStyle &style, QString *error)
{
    if (format == PlateFormat::Text)
        return opData;
    const PlateTable table = PlateTable::fromOpData(opData);
    if (table.isEmpty()) {
        *error = QStringLiteral("Таблица оптических плотностей не принята: записывать нечего.");
        return {};
    }
    switch (format) {
    case PlateFormat::Csv:
        return csv(table, title, style);
    case PlateFormat::Json:
        return json(table, title);
    case PlateFormat::Xlsx:
        return xlsx(table, title, error);
    case PlateFormat::Text:
        break;
    }
    return opData;
}

QString write(const QString &path, PlateFormat format, const QByteArray &opData,
              const PlateTitle &title, const CsvStyle &style)
{
    QString error;
    const QByteArray out = bytes(format, opData, title, style, &error);
    if (!error.isEmpty())
        return error;
    return AtomicFile::write(path, out);
}

} // namespace kalent::PlateExport
