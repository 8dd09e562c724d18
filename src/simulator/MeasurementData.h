#pragma once

#include "InstrumentFeature.h"

#include <QByteArray>
#include <QDateTime>

namespace kalent {

// The instrument's measurement data: the table of optical densities of the last
// measurement ("G" answers the 873-character D table, "D" the 19-character name
// to save it under) and the results protocol ("g" answers N and the 5-digit
// length of the d reply, "d" the protocol text in windows-1251 with its number
// and DD.MM.YY date at text offset 92, and one final character). A new
// measurement changes the values, the time and the protocol number; the notices
// G and g go out when the instrument finishes one (announce*).
class MeasurementData : public InstrumentFeature
{
public:
    MeasurementData();

    int consume(InstrumentControl &instrument, const QByteArray &heard) override;

    // The next measurement: new values, a later time, the next protocol number.
    void newMeasurement();
    // A new measurement, then the notice G ("densities measured").
    void announceMeasurement(InstrumentControl &instrument);
    // The notice g ("results ready") for the current measurement.
    void announceResults(InstrumentControl &instrument);

    QDateTime measuredAt() const;
    // Which measurement and protocol the notices announce (the simulator logs them).
    int measurementNumber() const { return m_measurement; }
    int protocolNumber() const { return m_protocolNumber; }

    // The replies as they go on the line.
    QByteArray tableReply() const;
    QByteArray fileNameReply() const;
    QByteArray protocolText() const;
    QByteArray protocolReply() const;
    QByteArray lengthReply() const;

    // Test knobs: the name to answer "D" with (sent as given; empty = the
    // measurement's own name) and the protocol text (empty = the built one).
    void setFileNameOverride(const QByteArray &name) { m_fileNameOverride = name; }
    void setProtocolTextOverride(const QByteArray &text) { m_protocolOverride = text; }

    // The value of row 1..8, column 1..12 as its six characters.
    QByteArray valueText(int row, int column) const;

private:
    int m_measurement = 1;
    int m_protocolNumber = 12;
    QByteArray m_fileNameOverride;
    QByteArray m_protocolOverride;
};

} // namespace kalent
