#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalent {

class Clock;
class PortSelector;
class Session;
class SimulatedPort;
class ExchangeTrace;
class TracingPort;
class VirtualInstrument;

// What every headless action runs on: a real clock, the port control (with the
// built-in instrument behind the name "sim"), a Session whose message pane is
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
    ExchangeTrace &trace() { return *m_trace; }
    // The built-in instrument, when the port is "sim"; otherwise null.
    VirtualInstrument *simulator() const;
    // Whether message-pane texts go to stderr as they appear (on by default).
    void setPaneEcho(bool on) { m_paneEcho = on; }

    // Opens the port named by --port the way the start-up opens the first port.
    // Prints why and returns false when there is no --port or it does not open.
    bool openPort();
    // Opens the port and brings the link to 115200: one probe at 115200 first,
    // then, if it stays silent, the search entering the database, reader or
    // results page runs. Prints why and returns false on failure.
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
    bool runFor(qint64 ms, const std::function<bool()> &done);
    bool runUntil(const std::function<bool()> &done, const std::function<bool()> &giveUp);

    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<VirtualInstrument> m_instrument;
    std::unique_ptr<SimulatedPort> m_simPort;
    std::unique_ptr<PortSelector> m_port;
    // Every byte the session exchanges passes the trace (a file with --trace).
    std::unique_ptr<ExchangeTrace> m_trace;
    std::unique_ptr<TracingPort> m_tracingPort;
    std::unique_ptr<Session> m_session;
    QString m_portName;
    double m_timeoutSeconds = 10.0;
    QStringList *m_heldTexts = nullptr;
    bool m_goneReported = false;
    bool m_paneEcho = true;
};

} // namespace kalent
