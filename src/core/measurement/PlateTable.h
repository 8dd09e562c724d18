#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

namespace kalent {

// One well's value as the instrument sent it: six characters of text, and the
// number they spell when they spell one. Blanks, signs alone, overflow markers
// and anything else that is not a plain decimal number stay text: a value the
// program cannot read is never turned into 0 and never left out.
struct PlateValue
{
    QString text; // as received, blanks included
    bool isNumber = false;
    double number = 0;

    static PlateValue parse(const QString &text);
    // The text without its surrounding blanks; a value of blanks only keeps
    // them, so an empty well still reaches the file as a cell.
    QString shownText() const;
    // The number as the instrument wrote it, without blanks ("0.123", "-.5").
    QString numberText() const { return text.trimmed(); }
};

// The 8 x 12 plate held in OPData: row r (1..8, "A".."H"), column c (1..12).
// Built only from a complete table; anything else gives an empty plate.
class PlateTable
{
public:
    static constexpr int Rows = 8;
    static constexpr int Columns = 12;

    PlateTable() = default;
    static PlateTable fromOpData(const QByteArray &opData);

    bool isEmpty() const { return m_values.isEmpty(); }
    const PlateValue &value(int row, int column) const;
    // "A1" .. "H12".
    static QString wellName(int row, int column);
    static QString rowName(int row) { return QString(QChar(u'A' + row - 1)); }

private:
    QVector<PlateValue> m_values;
};

// What the title row of an exported plate says: the name the instrument gave
// the table (known when it was saved automatically) and when it was received.
struct PlateTitle
{
    QString instrumentFileName;
    QDateTime readAt;

    QString text() const;
};

} // namespace kalent
