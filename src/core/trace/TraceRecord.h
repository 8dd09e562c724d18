#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kalent {

// One entry of an exchange trace: bytes that went to the instrument or came from
// it, when (microseconds on a monotonic clock since the trace started), at which
// line speed and on which port. A trace file holds one entry per line as JSON:
//   {"t_us":1234,"dir":"tx","baud":115200,"port":"/dev/ttyUSB0","hex":"47"}
// "tx" is the program sending, "rx" the instrument's bytes the program read,
// "drop" the instrument's bytes the program threw away unread, "unasked" a reply
// the program read but no exchange had asked for (its bytes are also in "rx",
// so it is no line traffic of its own), and "start" opens
// each run appended to the file (with the wall-clock time in "wall").
struct TraceRecord
{
    enum class Direction { Start, Sent, Received, Dropped, Unasked };
    // Bounds of a readable entry: a year of microseconds, a line speed far above
    // any serial port's.
    static constexpr qint64 LongestRunUs = 366LL * 24 * 3600 * 1000 * 1000;
    static constexpr int HighestBaud = 4000000;

    qint64 timeUs = 0;
    Direction direction = Direction::Sent;
    int baud = 0;
    QString port;
    QByteArray bytes;
    QString wall; // Start only

    // One line of JSON, without the line end.
    QByteArray toJsonLine() const;
    // Reads one line; on failure returns nothing and says why in *error.
    static std::optional<TraceRecord> fromJsonLine(const QByteArray &line, QString *error);
};

} // namespace kalent
