#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace kalent {

// Picks the journal's lines stamped at or after a time while the text streams
// through it, piece by piece as it is read: it holds no more than the start of
// one line (the stamp), whatever the size of the journal or of one line. Lines
// without a readable time are kept (nothing is hidden), empty lines dropped, a
// last line without its end gets one. Without a time every byte passes as is.
class JournalFilter
{
public:
    using Sink = std::function<void(const char *data, qint64 size)>;

    JournalFilter(const QDateTime &since, Sink sink);

    void feed(const char *data, qint64 size);
    // The end of the text.
    void finish();

    // The --since value: a date "2026-05-14" (local midnight) or a date and time
    // "2026-05-14T09:30" / "2026-05-14 09:30[:15[.118]]" (local time; a final "Z"
    // for UTC), so a stamp copied from the journal ("2026-05-14T09:31:02.118Z")
    // is taken as it stands. Anything else, trailing text or an hour 25
    // included, gives an invalid time.
    static QDateTime parseSince(const QString &text);

private:
    enum class Mode { Stamp, Keep, Skip };
    void decide();

    QDateTime m_since;
    Sink m_sink;
    Mode m_mode = Mode::Stamp;
    QByteArray m_stamp; // the start of the line, until its tab
};

} // namespace kalent
