#include "HeadlessRun.h"

#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"
#include "link/PortSelector.h"
#include "trace/ExchangeTrace.h"
#include "trace/TracingPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace kalent {

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
    connect(&m_session->pane(), &MessagePane::textChanged, this, [this](const QString &text) {
        m_lastActivity = m_clock->nowMs();
        if (m_paneEcho && !text.isEmpty())
            printError(text);
    });
    connect(&m_session->pane(), &MessagePane::progressChanged, this,
            [this] { m_lastActivity = m_clock->nowMs(); });
    connect(m_port.get(), &SerialPort::commEvent, this,
            [this] { m_lastActivity = m_clock->nowMs(); });
}

HeadlessRun::~HeadlessRun() = default;

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
    bool ok = false;
    const double value = commandLine.value(QStringLiteral("timeout")).toDouble(&ok);
    if (!ok || value <= 0) {
        *error = QStringLiteral("--timeout needs a positive number of seconds");
        return false;
    }
    *seconds = value;
    return true;
}

bool HeadlessRun::openPort()
{
    if (m_portName.isEmpty()) {
        printError(QStringLiteral("Не указан порт: --port ИМЯ (например, --port sim или "
                                  "--port /dev/ttyUSB0)."));
        return false;
    }
    Connection &link = m_session->connection();
    link.formCreate({m_portName});
    if (!m_port->isOpen()) {
        printError(QStringLiteral("Не удалось открыть порт %1: %2")
                       .arg(m_portName, m_port->errorString()));
        return false;
    }
    return true;
}

bool HeadlessRun::waitFor(const std::function<bool()> &done)
{
    m_lastActivity = m_clock->nowMs();
    const qint64 limitMs = static_cast<qint64>(m_timeoutSeconds * 1000.0);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    bool result = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            result = true;
            loop.quit();
        } else if (m_clock->nowMs() - m_lastActivity > limitMs) {
            loop.quit();
        }
    });
    if (done())
        return true;
    poll.start();
    loop.exec();
    return result;
}

bool HeadlessRun::establishFastLink()
{
    if (!openPort())
        return false;
    Connection &link = m_session->connection();
    link.searchWithFastestSpeed();
    const auto atFastestSpeed = [&link] {
        return link.atFastestSpeed();
    };
    if (waitFor(atFastestSpeed))
        return true;
    if (link.panel().connectCaption == QLatin1String("Стоп"))
        link.btnConnectClick(); // what the operator's "Стоп" would do
    if (m_session->pane().text() != QLatin1String("Прибор не отвечает!"))
        printError(QStringLiteral("Прибор не отвечает!"));
    return false;
}

void HeadlessRun::printError(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void HeadlessRun::printOut(const QString &text)
{
    writeOut(text.toUtf8() + '\n');
}

void HeadlessRun::writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace kalent
