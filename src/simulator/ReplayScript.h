#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace kalent {

// A recorded exchange trace read as a script: each step is what the program sent
// (consecutive "tx" entries joined, with the speed it sent them at) and what the
// instrument answered after it, each piece with its delay from the step's last
// sent byte. The instrument's bytes before the first command form a step that
// expects nothing.
//
// The steps stay in the file: a whole pass checks it when it is opened (a
// malformed line is refused with its number) and counts the steps, then they
// are read one at a time while the replay serves them, so memory holds about one
// exchange, whatever the size of the trace.
class ReplayScript
{
public:
    struct Reply
    {
        qint64 delayMs = 0;
        QByteArray bytes;
    };
    struct Step
    {
        int line = 0; // the trace line of the step's first entry
        int baud = 0;
        QByteArray expected;
        QVector<Reply> replies;
    };
    // Where a step begins: its first entry's byte offset and line number.
    struct Position
    {
        qint64 offset = 0;
        int line = 1;
    };

    // Opens and checks a trace file (only a regular file, at most 256 MiB, no
    // line longer than 4 MiB).
    static std::unique_ptr<ReplayScript> load(const QString &path, QString *error);
    // The same for a trace held in memory.
    static std::unique_ptr<ReplayScript> parse(const QByteArray &text, QString *error);
    ~ReplayScript();

    int stepCount() const { return m_stepCount; }
    // The speed of the first command, or 0 when there is none.
    int firstBaud() const { return m_firstBaud; }
    // The step that begins at `at`, and in *next where the one after it begins;
    // nothing at the end of the trace or when the file can no longer be read.
    std::optional<Step> read(Position at, Position *next, QString *error = nullptr);

private:
    ReplayScript(std::unique_ptr<QIODevice> device, QString name);
    bool check(QString *error);

    std::unique_ptr<QIODevice> m_device;
    QString m_name;
    QByteArray m_line; // one line's buffer, reused
    int m_stepCount = 0;
    int m_firstBaud = 0;
};

} // namespace kalent
