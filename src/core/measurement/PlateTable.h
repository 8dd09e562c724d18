#pragma once

#include "link/ReplyCode.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

namespace kalent {

// One well's value as the instrument sent it: six characters of text, and the
// number they spell when they spell one. Signs alone, overflow markers and
// anything else that is not a plain decimal number stay text: a value the
// program cannot read is never turned into 0 and never left out. A well of
// blanks only is empty: the instrument measured nothing there.
struct PlateValue
{
    QString text; // as received, blanks included
    bool isNumber = false;
    double number = 0;

    static PlateValue parse(const QString &text);
    bool isBlank() const { return text.trimmed().isEmpty(); }
    // The text without its surrounding blanks (empty for a blank well).
    QString shownText() const { return text.trimmed(); }
};

// What the title row of an exported plate says: the name the instrument gave
// the table (known when it was saved automatically) and when it was received.
struct PlateTitle
{
    QString instrumentFileName;
    QDateTime readAt;

    QString text() const;
};

// The instrument's table of optical densities as one value, made once from the
// reply: its text (OPData, what the described file holds byte for byte), the
// 8 x 12 plate read from it (row r 1..8, "A".."H"; column c 1..12) and its
// title. Built only from a complete table; anything else gives an empty one.
class PlateTable
{
public:
    static constexpr int Rows = 8;
    static constexpr int Columns = 12;
    // The reply: its code, then each row's 12 values (6 characters, 3 of
    // separator) and the row's end, 109 characters a row.
    static constexpr int TextLength = ReplyLength::DensityBlock;
    static constexpr int RowLength = 109;
    static constexpr int ValueStep = 9;
    static constexpr int ValueWidth = 6;

    PlateTable() = default;
    // The table reply, or OPData: the first character (the reply's code)
    // becomes a blank, so the text keeps the reply's positions and length.
    static PlateTable fromReply(const QByteArray &reply, const PlateTitle &title = {});

    bool isEmpty() const { return m_values.isEmpty(); }
    const PlateValue &value(int row, int column) const;
    // OPData: the reply with a blank for its code; empty for an empty table.
    const QByteArray &text() const { return m_text; }
    const PlateTitle &title() const { return m_title; }
    void setInstrumentFileName(const QString &name) { m_title.instrumentFileName = name; }

    // Where the value of row r, column c starts in the text (from 0).
    static constexpr int valueOffset(int row, int column)
    {
        return 1 + (row - 1) * RowLength + (column - 1) * ValueStep;
    }
    // "A1" .. "H12".
    static QString wellName(int row, int column);
    static QString rowName(int row) { return QString(QChar(u'A' + row - 1)); }
    static QString columnName(int column) { return QString::number(column); }

private:
    QByteArray m_text;
    QVector<PlateValue> m_values;
    PlateTitle m_title;
};

} // namespace kalent
