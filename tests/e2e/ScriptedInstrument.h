#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

namespace kalent::test {

// A small instrument on a pseudo-terminal, run on its own thread and driven by a
// script, for putting the program's real serial code through the faults a line
// meets: the device vanishing (its end of the pty closes) while idle, in the
// middle of a reply or of a contact search; endless noise; replies dribbling
// out a byte at a time; noise inside a reply. It answers the contact probe "B"
// only at its own speed, takes the speed change "b"+code, and answers "G" with an
// 873-byte table.
class ScriptedInstrument
{
public:
    enum class Vanish {
        Never,
        // once the contact answer has gone out and vanishAfterMs more have passed
        AfterContact,
        // after half of the table has gone out
        MidReply,
        // after hearing this many probes without answering one
        MidSearch,
    };

    struct Script
    {
        int baud = 115200;
        Vanish vanish = Vanish::Never;
        int vanishAfterMs = 0;
        int probesBeforeVanishing = 2;
        // Each byte of a reply goes out alone, this far apart.
        int byteDelayMs = 0;
        // Put into the middle of the table, making it longer than any table.
        QByteArray noiseInTable;
        // After the contact answer: "D", then noise at the line's pace, forever.
        bool babbleAfterContact = false;
        // After the contact answer: "D" and this many noise bytes as fast as the
        // pty takes them.
        qint64 floodBytes = 0;
        // Half of the table goes out, then the instrument stays silent (its line up).
        bool silentMidReply = false;
        // Waiting in programming mode (no answer to anything): once an upload's
        // header (55 AA and four length bytes) is in, the start-up report "L"
        // goes out this long after it, as a control program that started during
        // the upload sends it. Negative: not in programming mode.
        int reportAfterHeaderMs = -1;
    };

    explicit ScriptedInstrument(Script script);
    ~ScriptedInstrument();
    ScriptedInstrument(const ScriptedInstrument &) = delete;
    ScriptedInstrument &operator=(const ScriptedInstrument &) = delete;

    bool start();
    QString path() const { return m_path; }
    // Its end of the line closes now, as if the device were pulled out.
    void vanishNow() { m_vanishRequested = true; }
    bool vanished() const { return m_vanished; }
    int probesHeard() const { return m_probes; }
    // Programming mode: whether "L" went out, and the bytes heard before and
    // after it (the header included in the former).
    bool reportSent() const { return m_reportSent; }
    qint64 bytesBeforeReport() const { return m_bytesBeforeReport; }
    qint64 bytesAfterReport() const { return m_bytesAfterReport; }

    // The 873-byte table the instrument sends: "D" and 8 rows of 12 values.
    static QByteArray table();

private:
    void run();
    int lineBaud() const;
    bool send(const QByteArray &bytes);
    void closeLine();

    Script m_script;
    int m_master = -1;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_vanishRequested{false};
    std::atomic<bool> m_vanished{false};
    std::atomic<int> m_probes{0};
    std::atomic<bool> m_reportSent{false};
    std::atomic<qint64> m_bytesBeforeReport{0};
    std::atomic<qint64> m_bytesAfterReport{0};
};

} // namespace kalent::test
