#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace kalent {

class ExchangeTrace;
class Session;
class TraceReplay;
class MainWindow;
class VirtualInstrument;

// The window as the program assembles it: a real clock, the port control (with
// the built-in instrument behind "sim"), the exchange trace every byte passes
// (filed too when a trace file is given), the Session on the data folder, the
// main window with its feature pages and the trace window. The program's window
// is one of these; tests build one to drive the same wiring over a real port.
class WindowComposition
{
public:
    struct Options
    {
        QString portName;                 // tried first at start-up: a path, or "sim"
        std::optional<QString> traceFile; // appended to; an empty name fails as any other
        QString dataDir;                  // empty: the default data folder
        QString replayFile;               // with "sim": a recording answers there
        QString storeUrl;                 // empty: the readings store in the data folder
    };

    explicit WindowComposition(const Options &options);
    ~WindowComposition();
    WindowComposition(const WindowComposition &) = delete;
    WindowComposition &operator=(const WindowComposition &) = delete;

    // The ports the start-up tries, in order: the preferred name first (a typed
    // path or "sim" too), then every port the system lists, in number order.
    static QStringList startupPorts(const QStringList &systemPorts, const QString &preferred);

    // Why the trace file cannot be written; empty when it can, or none was given.
    // Later write failures go to the message pane.
    QString traceError() const { return m_traceError; }
    // Why the readings store named cannot be used (the window then does not open).
    QString storeError() const { return m_storeError; }

    // The start-up: tries the startupPorts and opens the first that opens, then
    // shows the window.
    void start();

    MainWindow &window();
    Session &session();
    ExchangeTrace &trace();
    // The built-in instrument behind "sim"; null when the window was not started
    // on it, or a recording answers there.
    VirtualInstrument *instrument();
    // The recording answering behind "sim", or null.
    TraceReplay *replay();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    QString m_portName;
    QString m_traceError;
    QString m_storeError;
};

} // namespace kalent
