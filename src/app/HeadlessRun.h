#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalent {

class ExchangeTrace;
class Session;
class SessionAssembly;
class VirtualInstrument;

// What every headless action runs on: the program's one assembly (a real clock,
// the port control with the built-in instrument behind the name "sim", the
// trace, the Session) whose message pane is
// echoed to stderr (its messages line by line, an exchange's progress on one
// line rewritten in place when stderr is a terminal), and a wait that gives up after the given
// seconds without progress toward the awaited reply (noise is no progress), or
// at once when the port's device goes away.
class HeadlessRun : public QObject
{
    Q_OBJECT
public:
    explicit HeadlessRun(const CommandLine &commandLine);
    ~HeadlessRun() override;

    Session &session();
    ExchangeTrace &trace();
    // The built-in instrument, when the port is "sim"; otherwise null.
    VirtualInstrument *simulator() const;
    // Whether message-pane texts go to stderr as they appear (on by default).
    void setPaneEcho(bool on) { m_paneEcho = on; }

    // Opens the port named by --port the way the start-up opens the first port.
    // Prints why and returns false when there is no --port or it does not open.
    bool openPort();
    // Opens the port and brings the link to 115200: one probe at 115200 first,
    // then, if it stays silent, the search entering the database, reader or
    // results page runs until its job ends (or the timeout passes without
    // progress, when the search is cancelled). Prints why and returns false on
    // failure.
    bool establishFastLink();
    // Runs the event loop until done() holds (true), or the timeout passes
    // without progress, or the port's device goes away (false).
    bool waitFor(const std::function<bool()> &done);

    static void printError(const QString &text);
    static void printOut(const QString &text);
    static void writeOut(const QByteArray &bytes);
    // Prints what is wrong with the action's usage; returns the usage exit status, 2.
    static int usageError(const CommandLine &commandLine, const QString &what);
    // An --out given without a name.
    static QString missingOutText() { return QStringLiteral("Параметру --out нужно имя файла."); }

    static constexpr int MaxTimeoutSeconds = 86400;
    // The --timeout value, or an error for a value that is not a positive number
    // of seconds up to a day.
    static bool parseTimeout(const CommandLine &commandLine, double *seconds, QString *error);

private:
    // True once the port has closed itself; says so on stderr the first time.
    bool portGone();
    enum class WaitEnd { Done, TimedOut, PortGone };
    // The event loop until done() holds, the port's device goes away, or the
    // progress watch (started by the caller) sees the timeout pass.
    WaitEnd runUntil(const std::function<bool()> &done);
    qint64 timeoutMs() const { return static_cast<qint64>(m_timeoutSeconds * 1000.0); }

    // Every byte the session exchanges passes the trace (a file with --trace).
    std::unique_ptr<SessionAssembly> m_assembly;
    QString m_portName;
    double m_timeoutSeconds = 10.0;
    QStringList *m_heldTexts = nullptr;
    bool m_goneReported = false;
    bool m_paneEcho = true;
};

} // namespace kalent
