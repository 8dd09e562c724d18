#include "measurement/PlateTable.h"

#include "common/Cp1251.h"

#include <QRegularExpression>

namespace kalent {

static_assert(PlateTable::valueOffset(PlateTable::Rows, PlateTable::Columns) +
                      PlateTable::ValueWidth <=
                  PlateTable::TextLength,
              "the last value lies inside the table");
static_assert(PlateTable::Rows * PlateTable::RowLength + 1 == PlateTable::TextLength,
              "the code and eight rows make the table");

PlateValue PlateValue::parse(const QString &text)
{
    // Only plain decimals: QString::toDouble alone would also take "nan",
    // "inf", "1e3" and a lone "." or "-" would fail silently elsewhere.
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    PlateValue v;
    v.text = text;
    const QString trimmed = text.trimmed();
    if (number.match(trimmed).hasMatch()) {
        bool ok = false;
        const double parsed = trimmed.toDouble(&ok);
        if (ok) {
            v.isNumber = true;
            v.number = parsed;
        }
    }
    return v;
}

PlateTable PlateTable::fromReply(const QByteArray &reply, const PlateTitle &title)
{
    PlateTable table;
    if (reply.size() != TextLength)
        return table;
    table.m_text = reply;
    table.m_text[0] = ' ';
    table.m_title = title;
    table.m_values.reserve(Rows * Columns);
    for (int row = 1; row <= Rows; ++row)
        for (int column = 1; column <= Columns; ++column)
            table.m_values.append(
                PlateValue::parse(Cp1251::decode(reply.mid(valueOffset(row, column), ValueWidth))));
    return table;
}

const PlateValue &PlateTable::value(int row, int column) const
{
    static const PlateValue none;
    if (isEmpty() || row < 1 || row > Rows || column < 1 || column > Columns)
        return none;
    return m_values.at((row - 1) * Columns + (column - 1));
}

QString PlateTable::wellName(int row, int column)
{
    return rowName(row) + columnName(column);
}

QString PlateTitle::text() const
{
    QString out = QStringLiteral("Оптические плотности");
    if (!instrumentFileName.isEmpty())
        out += QStringLiteral(", файл прибора ") + instrumentFileName;
    if (readAt.isValid())
        out +=
            QStringLiteral(", приняты ") + readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return out;
}

} // namespace kalent
