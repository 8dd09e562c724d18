#include "MeasurementData.h"

#include "InstrumentFeature.h"
#include "common/Clock.h"
#include "common/Cp1251.h"

namespace kalent {

namespace {
constexpr int PlateRows = 8;
constexpr int PlateColumns = 12;
constexpr int ProtocolNumberOffset = 92;
// What the instrument puts between values and at the end of a row: the table is
// a text a spreadsheet opens as tab-separated columns.
const QByteArray Separator = QByteArrayLiteral("  \t");
const QByteArray RowEnd = QByteArrayLiteral("\n");
constexpr char ProtocolEnd = '\x03';

QByteArray padded(const QByteArray &text, int width)
{
    QByteArray out = text;
    if (out.size() < width)
        out.append(QByteArray(width - out.size(), ' '));
    return out;
}
} // namespace

MeasurementData::MeasurementData() = default;

int MeasurementData::consume(InstrumentControl &instrument, const QByteArray &heard)
{
    switch (heard.at(0)) {
    case 'G':
        instrument.send(tableReply());
        return 1;
    case 'D':
        instrument.send(fileNameReply());
        return 1;
    case 'g':
        instrument.send(lengthReply());
        return 1;
    case 'd':
        instrument.send(protocolReply());
        return 1;
    default:
        return NotMine;
    }
}

void MeasurementData::newMeasurement()
{
    ++m_measurement;
    ++m_protocolNumber;
}

void MeasurementData::announceMeasurement(InstrumentControl &instrument)
{
    newMeasurement();
    instrument.sendRaw(QByteArrayLiteral("G"));
}

void MeasurementData::announceResults(InstrumentControl &instrument)
{
    instrument.sendRaw(QByteArrayLiteral("g"));
}

QDateTime MeasurementData::measuredAt() const
{
    const QDateTime first(QDate(2009, 3, 24), QTime(14, 30, 5));
    return first.addSecs(static_cast<qint64>(m_measurement - 1) * 7 * 60 + 13);
}

QByteArray MeasurementData::valueText(int row, int column) const
{
    // Plausible densities: a blank row-A control, rising calibrators, samples.
    const int well = (row - 1) * PlateColumns + (column - 1);
    const int thousandths = 40 + (well * 389 + m_measurement * 977 + row * column * 31) % 2900;
    return padded(QByteArray::number(thousandths / 1000.0, 'f', 3), 6);
}

QByteArray MeasurementData::tableReply() const
{
    QByteArray reply("D");
    for (int row = 1; row <= PlateRows; ++row) {
        for (int column = 1; column <= PlateColumns; ++column)
            reply += valueText(row, column) + Separator;
        reply += RowEnd;
    }
    return reply;
}

QByteArray MeasurementData::fileNameReply() const
{
    if (!m_fileNameOverride.isEmpty())
        return m_fileNameOverride;
    // 19 characters, the first the "2" of the year.
    return measuredAt().toString(QStringLiteral("yyyyMMdd_HHmmss")).toLatin1() + ".xls";
}

QByteArray MeasurementData::protocolText() const
{
    if (!m_protocolOverride.isEmpty())
        return m_protocolOverride;
    const QDateTime at = measuredAt();
    const QByteArray lead = Cp1251::encode(QStringLiteral("Протокол результатов №"));
    QByteArray text = padded(Cp1251::encode(QStringLiteral("ВИРАНТ (ОРМИС-01)   ИФА-анализатор")),
                             ProtocolNumberOffset - 2 - lead.size());
    text += "\r\n" + lead;
    // The number right-aligned in five places, then " от DD.MM.YY  HH:MM".
    text += QByteArray::number(m_protocolNumber).rightJustified(5, ' ');
    text += Cp1251::encode(QStringLiteral(" от ")) +
            at.toString(QStringLiteral("dd.MM.yy")).toLatin1() + "  " +
            at.toString(QStringLiteral("HH:mm")).toLatin1() + "\r\n";
    text += Cp1251::encode(QStringLiteral("Тест-система: HBsAg-ИФА    Метод: качественный\r\n"));
    text += Cp1251::encode(QStringLiteral("Длина волны: 450 нм   Cut-off: 0.250\r\n"));
    text += "\r\n" + Cp1251::encode(QStringLiteral("Лунка    ОП      Результат\r\n"));
    for (int row = 1; row <= PlateRows; ++row)
        for (int column = 1; column <= PlateColumns; ++column) {
            const QByteArray value = valueText(row, column);
            const bool positive = value.trimmed().toDouble() >= 0.25;
            QByteArray well =
                QByteArray(1, static_cast<char>('A' + row - 1)) + QByteArray::number(column);
            text += padded(well, 9) + value + "  " +
                    Cp1251::encode(positive ? QStringLiteral("ПОЛОЖ.") : QStringLiteral("ОТРИЦ.")) +
                    "\r\n";
        }
    text += "\r\n" + Cp1251::encode(QStringLiteral("Оператор: ____________\r\n"));
    return text;
}

QByteArray MeasurementData::protocolReply() const
{
    return "d" + protocolText() + ProtocolEnd;
}

QByteArray MeasurementData::lengthReply() const
{
    return "N" + QByteArray::number(protocolReply().size()).rightJustified(5, '0');
}

} // namespace kalent
