#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>

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
// echoed to stderr line by line, and a wait that gives up after the given
// seconds of silence on the line.
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
    double timeoutSeconds() const { return m_timeoutSeconds; }
    // Whether message-pane texts go to stderr as they appear (on by default).
    void setPaneEcho(bool on) { m_paneEcho = on; }

    // Opens the port named by --port the way the start-up opens the first port.
    // Prints why and returns false when there is no --port or it does not open.
    bool openPort();
    // Opens the port and brings the link to 115200 as entering the database,
    // reader or results page does. Prints why and returns false on failure.
    bool establishFastLink();
    // Runs the event loop until done() holds (true) or the line has been silent
    // for the timeout (false).
    bool waitFor(const std::function<bool()> &done);

    static void printError(const QString &text);
    static void printOut(const QString &text);
    static void writeOut(const QByteArray &bytes);

    // The --timeout value, or an error for a value that is not a positive number.
    static bool parseTimeout(const CommandLine &commandLine, double *seconds, QString *error);

private:
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
    qint64 m_lastActivity = 0;
    bool m_paneEcho = true;
};

} // namespace kalent
