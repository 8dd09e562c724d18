#include "HeadlessRun.h"

#include "Actions.h"
#include "ConsoleProgress.h"
#include "ExitStatus.h"
#include "StandardOutput.h"
#include "common/OperatorTexts.h"

#include "Session.h"
#include "SessionAssembly.h"
#include "TraceReplay.h"
#include "common/Clock.h"
#include "common/LocalFileName.h"
#include "common/SystemErrorText.h"
#include "journal/ServiceJournal.h"
#include "journal/UnfinishedWrites.h"
#include "link/Connection.h"
#include "link/LineOwner.h"
#include "trace/ExchangeTrace.h"
#include "watch/WatchService.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <optional>

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent {

namespace {

bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void writeStderr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The process has one stderr, and every message reaches it through here from
// wherever it is printed (the actions print theirs without a run at hand): a
// progress line left open on a terminal has to be ended before any of them.
ConsoleProgress &stderrConsole()
{
    static ConsoleProgress console(stderrIsTerminal(), &writeStderr);
    return console;
}

} // namespace

HeadlessRun::HeadlessRun(const CommandLine &commandLine)
    : m_portName(commandLine.value(QStringLiteral("port")))
{
    QString ignored;
    parseTimeout(commandLine, &m_timeoutSeconds, &ignored);
    // No trace window here: the entries go to the file only, so a long run
    // (watch) holds none of them in memory.
    // Watch waits on a quiet line for hours: its port looks at the line twice a second.
    const bool watch = commandLine.action == QLatin1String("watch");
    m_assembly = std::make_unique<SessionAssembly>(SessionAssembly::Options{
        m_portName, commandLine.value(QStringLiteral("data-dir")), false,
        commandLine.value(QStringLiteral("replay")), watch ? WatchService::LinkPollMs : 0});
    if (TraceReplay *replay = m_assembly->replay())
        connect(replay, &TraceReplay::departed, this,
                [](const QString &report) { printError(TraceReplay::departureText(report)); });
    if (commandLine.has(QStringLiteral("trace"))) {
        const QString error = trace().openFile(commandLine.value(QStringLiteral("trace")));
        if (!error.isEmpty())
            printError(error);
        connect(&trace(), &ExchangeTrace::writeFailed, this, &HeadlessRun::printError);
    }
    // A journal line not stored is said on the pane; the exit status says it too.
    connect(&session().journal(), &ServiceJournal::appendFailed, this, &ExitStatus::noteFailure);
    connect(&session().pane(), &MessagePane::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            return;
        if (m_heldTexts)
            m_heldTexts->append(text);
        else if (m_paneEcho)
            stderrConsole().paneText(text);
    });
    connect(&session().pane(), &MessagePane::progressChanged, this, [this](int percent) {
        if (!m_heldTexts && m_paneEcho)
            stderrConsole().progress(percent);
    });
    // A write a killed program left unfinished is said once, at the next start.
    for (const QString &text : UnfinishedWrites::reportOnce(session().journal()))
        printError(text);
}

HeadlessRun::~HeadlessRun()
{
    // A recording that answered says how far it came, as on a pseudo-terminal.
    if (const TraceReplay *replay = m_assembly->replay())
        printError(replay->endText());
    stderrConsole().finish();
}

Session &HeadlessRun::session()
{
    return m_assembly->session();
}

ExchangeTrace &HeadlessRun::trace()
{
    return m_assembly->trace();
}

VirtualInstrument *HeadlessRun::simulator() const
{
    return m_assembly->instrument();
}

bool HeadlessRun::parseTimeout(const CommandLine &commandLine, double *seconds, QString *error)
{
    if (!commandLine.has(QStringLiteral("timeout")))
        return true;
    // Above zero (no wait at all is no timeout) and at most a day: a longer
    // silence is no instrument that will still answer.
    double value = 0;
    if (!secondsInRange(commandLine.value(QStringLiteral("timeout")), 0.001, MaxTimeoutSeconds,
                        &value)) {
        *error = QStringLiteral("Параметру --timeout нужно число секунд от 0.001 до %1.")
                     .arg(MaxTimeoutSeconds);
        return false;
    }
    *seconds = value;
    return true;
}

int HeadlessRun::usageError(const CommandLine &commandLine, const QString &what)
{
    const Action *action = findAction(commandLine.action);
    printError(action ? usageErrorText(*action, what) : what);
    return 2;
}

bool HeadlessRun::openPort()
{
    if (m_portName.isEmpty()) {
#ifdef Q_OS_WIN
        printError(QStringLiteral("Не указан порт: --port ИМЯ (например, --port sim или "
                                  "--port COM3)."));
#else
        printError(QStringLiteral("Не указан порт: --port ИМЯ (например, --port sim или "
                                  "--port /dev/ttyUSB0)."));
#endif
        return false;
    }
    // A recording that could no longer be read since it was checked.
    if (!m_assembly->replayError().isEmpty()) {
        printError(m_assembly->replayError());
        return false;
    }
    // The start-up's texts for a list without ports ("no COM port found", then
    // "no link") would only hide the reason: they are held back, and a port that
    // does not open is told in one sentence.
    QStringList held;
    m_heldTexts = &held;
    session().connection().openFirstPort({m_portName});
    m_heldTexts = nullptr;
    SerialPort &port = m_assembly->port();
    if (!port.isOpen()) {
        printError(OperatorTexts::cannotOpenPort(m_portName,
                                                 SystemErrorText::translate(port.errorString())));
        return false;
    }
    for (const QString &text : std::as_const(held))
        printError(text);
    return true;
}

bool HeadlessRun::portGone()
{
    if (m_assembly->port().isOpen())
        return false;
    if (!m_goneReported) {
        m_goneReported = true;
        printError(
            QStringLiteral("Порт %1 закрыт: %2.").arg(m_portName, SystemErrorText::deviceGone()));
    }
    return true;
}

HeadlessRun::WaitEnd HeadlessRun::runUntil(const std::function<bool()> &done)
{
    ProgressWatch &watch = session().progressWatch();
    if (done()) {
        watch.stop();
        return WaitEnd::Done;
    }
    QEventLoop loop;
    WaitEnd end = WaitEnd::Done;
    const auto finish = [&](WaitEnd how) {
        end = how;
        loop.quit();
    };
    // Whatever the wait is for arrives as an event (a reply, a job's end, the
    // port closing): it is looked at each time the loop has handled what came
    // and is about to sleep, never on a polling timer.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
            [&] {
                if (done())
                    finish(WaitEnd::Done);
                else if (portGone())
                    finish(WaitEnd::PortGone);
            });
    // The watch (started by the caller) says when the wait has gone the
    // timeout without progress, on the line owner's clock.
    connect(&watch, &ProgressWatch::timedOut, &loop, [&] { finish(WaitEnd::TimedOut); });
    loop.exec();
    watch.stop();
    return end;
}

bool HeadlessRun::waitFor(const std::function<bool()> &done)
{
    session().progressWatch().start(timeoutMs());
    return runUntil(done) == WaitEnd::Done;
}

bool HeadlessRun::establishFastLink()
{
    if (!openPort())
        return false;
    // The link service's one way to contact at 115200; the timeout is its limit.
    Connection &link = session().connection();
    std::optional<bool> reached;
    const QMetaObject::Connection heard = connect(&link, &Connection::fastContactEnded, this,
                                                  [&reached](bool fast) { reached = fast; });
    session().progressWatch().start(timeoutMs());
    link.makeFastContact(int(std::min<qint64>(timeoutMs(), MaxTimeoutSeconds * 1000LL)));
    if (runUntil([&reached] { return reached.has_value(); }) == WaitEnd::TimedOut)
        session().line().cancel(QStringLiteral("истекло время ожидания"));
    disconnect(heard);
    if (reached.value_or(false))
        return true;
    if (!portGone())
        printError(OperatorTexts::noAnswer());
    return false;
}

void HeadlessRun::printError(const QString &text)
{
    stderrConsole().message(text);
}

void HeadlessRun::printOut(const QString &text)
{
    writeOut(LocalFileName::encode(text) + '\n');
}

void HeadlessRun::writeOut(const QByteArray &bytes)
{
    // Both streams often share one terminal: the output starts on a line of its own.
    stderrConsole().finish();
    StandardOutput::write(bytes);
}

} // namespace kalent
