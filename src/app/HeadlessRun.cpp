#include "HeadlessRun.h"

#include "Actions.h"
#include "ConsoleProgress.h"
#include "ExitStatus.h"
#include "StandardOutput.h"
#include "common/OperatorTexts.h"

#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/LocalFileName.h"
#include "common/SystemClock.h"
#include "common/SystemErrorText.h"
#include "journal/ServiceJournal.h"
#include "link/HostSerialPort.h"
#include "link/PortSelector.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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
    : m_clock(std::make_unique<SystemClock>()),
      m_port(std::make_unique<PortSelector>(std::make_unique<HostSerialPort>())),
      m_portName(commandLine.value(QStringLiteral("port")))
{
    QString ignored;
    parseTimeout(commandLine, &m_timeoutSeconds, &ignored);
    if (m_portName == QLatin1String("sim")) {
        m_instrument = createBuiltInInstrument(*m_clock);
        m_simPort = std::make_unique<SimulatedPort>(*m_instrument, *m_clock);
        m_port->addNamedPort(m_portName, m_simPort.get());
    }
    m_trace = std::make_unique<ExchangeTrace>();
    // No trace window here: the entries go to the file only, so a long run
    // (watch) holds none of them in memory.
    m_trace->setKeepRecent(false);
    m_tracingPort = std::make_unique<TracingPort>(*m_port, *m_trace);
    if (commandLine.has(QStringLiteral("trace"))) {
        const QString error = m_trace->openFile(commandLine.value(QStringLiteral("trace")));
        if (!error.isEmpty())
            printError(error);
        connect(m_trace.get(), &ExchangeTrace::writeFailed, this, &HeadlessRun::printError);
    }
    m_session = std::make_unique<Session>(
        *m_clock, *m_tracingPort,
        DataFolder::resolve(commandLine.value(QStringLiteral("data-dir"))));
    // A journal line not stored is said on the pane; the exit status says it too.
    connect(&m_session->journal(), &ServiceJournal::appendFailed, this, &ExitStatus::noteFailure);
    connect(&m_session->pane(), &MessagePane::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            return;
        if (m_heldTexts)
            m_heldTexts->append(text);
        else if (m_paneEcho)
            stderrConsole().paneText(text);
    });
    connect(&m_session->pane(), &MessagePane::progressChanged, this, [this](int percent) {
        if (!m_heldTexts && m_paneEcho)
            stderrConsole().progress(percent);
    });
}

HeadlessRun::~HeadlessRun()
{
    stderrConsole().finish();
}

Session &HeadlessRun::session()
{
    return *m_session;
}

VirtualInstrument *HeadlessRun::simulator() const
{
    return m_instrument.get();
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
    // The start-up's texts for a list without ports ("no COM port found", then
    // "no link") would only hide the reason: they are held back, and a port that
    // does not open is told in one sentence.
    QStringList held;
    m_heldTexts = &held;
    m_session->connection().formCreate({m_portName});
    m_heldTexts = nullptr;
    if (!m_port->isOpen()) {
        printError(OperatorTexts::cannotOpenPort(
            m_portName, SystemErrorText::translate(m_port->errorString())));
        return false;
    }
    for (const QString &text : std::as_const(held))
        printError(text);
    return true;
}

bool HeadlessRun::portGone()
{
    if (m_port->isOpen())
        return false;
    if (!m_goneReported) {
        m_goneReported = true;
        printError(
            QStringLiteral("Порт %1 закрыт: %2.").arg(m_portName, SystemErrorText::deviceGone()));
    }
    return true;
}

bool HeadlessRun::runFor(qint64 ms, const std::function<bool()> &done)
{
    const qint64 until = m_clock->nowMs() + ms;
    return runUntil(done, [&] { return m_clock->nowMs() >= until; });
}

bool HeadlessRun::runUntil(const std::function<bool()> &done, const std::function<bool()> &giveUp)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    bool result = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            result = true;
            loop.quit();
        } else if (portGone() || giveUp()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return result;
}

bool HeadlessRun::waitFor(const std::function<bool()> &done)
{
    ProgressWatch &watch = m_session->progressWatch();
    watch.start(static_cast<qint64>(m_timeoutSeconds * 1000.0));
    return runUntil(done, [&watch] { return watch.expired(); });
}

bool HeadlessRun::establishFastLink()
{
    if (!openPort())
        return false;
    Connection &link = m_session->connection();
    const auto atFastestSpeed = [&link] {
        return link.atFastestSpeed();
    };
    // The port opens at 115200, where the program leaves the instrument: one
    // probe there spares the whole search, which follows when it stays silent.
    if (link.linkUp()) {
        link.probeAtPresentSpeed();
        if (runFor(Connection::SearchTickMs, atFastestSpeed))
            return true;
    }
    if (portGone())
        return false;
    link.searchWithFastestSpeed();
    if (waitFor(atFastestSpeed))
        return true;
    if (portGone())
        return false;
    // "Стоп" on a search that found nothing says so itself (on the pane, echoed).
    const bool stopSaysIt = link.searchUnderWay() && !link.contact();
    if (link.searchUnderWay())
        link.contactOrStop(); // what the operator's "Стоп" would do
    if (!stopSaysIt || !m_paneEcho)
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
