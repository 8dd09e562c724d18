#include "measurement/PlateTable.h"

#include "common/Cp1251.h"
#include "link/ReplyCode.h"

#include <QRegularExpression>

namespace kalent {

namespace {
// OPData keeps the reply's positions (a blank in place of the "D"): each row is
// 109 characters, each value 6 characters and 3 of separator.
constexpr int TableLength = ReplyLength::DensityBlock;
constexpr int RowLength = 109;
constexpr int ValueStep = 9;
constexpr int ValueWidth = 6;
} // namespace

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

QString PlateValue::shownText() const
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? text : trimmed;
}

PlateTable PlateTable::fromOpData(const QByteArray &opData)
{
    PlateTable table;
    if (opData.size() != TableLength)
        return table;
    table.m_values.reserve(Rows * Columns);
    for (int row = 1; row <= Rows; ++row)
        for (int column = 1; column <= Columns; ++column) {
            const int at = 1 + (row - 1) * RowLength + (column - 1) * ValueStep;
            table.m_values.append(PlateValue::parse(Cp1251::decode(opData.mid(at, ValueWidth))));
        }
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
    return rowName(row) + QString::number(column);
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
