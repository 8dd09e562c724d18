#include "link/HostSerialPort.h"

#include "common/FileSizeLimit.h"
#include "common/SystemErrorText.h"
#include "link/LineHangUp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#endif

namespace kalent {

namespace {
constexpr int LinePollMs = 50;
// What QSerialPort may hold of input the program has not read yet (the receive
// handler reads everything at each event, so this is only reached while the line
// is down or the device babbles): beyond it the rest waits in the system.
constexpr qint64 ReadBufferBytes = 128 * 1024;
} // namespace

HostSerialPort::HostSerialPort(QObject *parent)
    : SerialPort(parent), m_ownPort(std::make_unique<QSerialPort>()), m_port(*m_ownPort)
{
    init();
}

HostSerialPort::HostSerialPort(QSerialPort &port, QObject *parent)
    : SerialPort(parent), m_port(port)
{
    init();
}

void HostSerialPort::init()
{
    m_linePoll.setTimerType(Qt::PreciseTimer);
    m_linePoll.setInterval(LinePollMs);
    connect(&m_linePoll, &QTimer::timeout, this, &HostSerialPort::pollLines);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::commEvent);
    connect(&m_port, &QSerialPort::errorOccurred, this, &HostSerialPort::onError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    m_port.setReadBufferSize(ReadBufferBytes);
}

HostSerialPort::~HostSerialPort()
{
    m_linePoll.stop();
    if (m_port.isOpen())
        m_port.close();
}

QString HostSerialPort::portName() const
{
    return m_port.portName();
}

void HostSerialPort::setPortName(const QString &name)
{
    if (m_port.isOpen())
        return;
    m_port.setPortName(name);
    m_givenName = name;
}

bool HostSerialPort::open()
{
    if (m_port.isOpen())
        return true;
    m_lastError.clear();
    m_port.setBaudRate(baudOfSettings(m_settings) > 0 ? baudOfSettings(m_settings) : 9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        // errorOccurred has usually recorded the reason already.
        if (m_lastError.isEmpty())
            m_lastError = m_port.errorString();
        m_port.clearError();
        return false;
    }
#ifdef Q_OS_UNIX
    // Qt's lock file is per name, and root passes the exclusive mode: one device
    // under two names (a link, a by-id path) would be opened twice and two
    // programs would take each other's replies. A lock on the opened descriptor
    // is a lock on the device itself; the system drops it when the port closes.
    if (::flock(static_cast<int>(m_port.handle()), LOCK_EX | LOCK_NB) != 0) {
        m_lastError = SystemErrorText::fromErrno(errno == EWOULDBLOCK ? EBUSY : errno);
        m_port.close();
        m_port.clearError();
        return false;
    }
#endif
    ++m_openCount;
    m_closePending = false;
    m_threeWire = false;
    m_cts = readCts();
    // Also on a three-wire line: the poll is what notices a hang-up.
    m_linePoll.start();
    return true;
}

void HostSerialPort::close()
{
    m_linePoll.stop();
    m_closePending = false;
    if (m_port.isOpen())
        m_port.close();
    m_cts = false;
}

bool HostSerialPort::isOpen() const
{
    return m_port.isOpen();
}

QString HostSerialPort::errorString() const
{
    return m_lastError.isEmpty() ? m_port.errorString() : m_lastError;
}

bool HostSerialPort::setSettings(const QString &settings)
{
    const int baud = baudOfSettings(settings);
    if (baud <= 0)
        return false;
    m_settings = settings;
    if (m_port.isOpen())
        return m_port.setBaudRate(baud);
    return true;
}

QString HostSerialPort::settings() const
{
    return m_settings;
}

bool HostSerialPort::ctsHolding() const
{
    // A device found gone reads as down at once, before its close comes round.
    return m_port.isOpen() && m_cts && !m_closePending;
}

int HostSerialPort::inBufferCount() const
{
    return m_port.isOpen() ? static_cast<int>(m_port.bytesAvailable()) : 0;
}

QByteArray HostSerialPort::input()
{
    if (!m_port.isOpen())
        return {};
    // Reading also lets QSerialPort listen again after its buffer was full.
    return m_port.readAll();
}

void HostSerialPort::discardInput()
{
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
}

void HostSerialPort::discardOutput()
{
    // Also flushes what the system queue still holds (TCOFLUSH).
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

void HostSerialPort::output(const QByteArray &bytes)
{
    if (m_port.isOpen())
        m_port.write(bytes);
}

qint64 HostSerialPort::bytesToWrite() const
{
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

qint64 HostSerialPort::bytesQueuedInSystem() const
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    if (m_port.isOpen() && ::ioctl(static_cast<int>(m_port.handle()), TIOCOUTQ, &queued) == 0)
        return std::max(queued, 0);
#endif
    return 0;
}

bool HostSerialPort::drain(int timeoutMs)
{
    if (!m_port.isOpen())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    while (m_port.bytesToWrite() > 0) {
        const qint64 left = timeoutMs - elapsed.elapsed();
        if (left <= 0 || !m_port.waitForBytesWritten(static_cast<int>(left)))
            return m_port.bytesToWrite() == 0;
    }
#ifdef Q_OS_UNIX
    // The kernel's queue goes out at the line's pace; without flow control
    // that ends within the line time of a few kilobytes.
    ::tcdrain(static_cast<int>(m_port.handle()));
#endif
    return true;
}

bool HostSerialPort::readCts()
{
    // QSerialPort keeps its last error until cleared; an old one must not be
    // taken for the answer of this read.
    m_port.clearError();
    const QSerialPort::PinoutSignals pins = m_port.pinoutSignals();
    if (m_port.error() == QSerialPort::UnsupportedOperationError) {
        // No modem lines to read (a pty): a three-wire line, present while open.
        m_port.clearError();
        m_threeWire = true;
        return true;
    }
    return pins.testFlag(QSerialPort::ClearToSendSignal);
}

void HostSerialPort::pollLines()
{
    if (!m_port.isOpen())
        return;
    // A device node that is gone (an adapter unplugged, a pty whose other end
    // ended, a link that now points nowhere) can leave the open port without
    // an error; it never answers again.
    if (lineHungUp(m_port) ||
        (QDir::isAbsolutePath(m_givenName) && !QFileInfo::exists(m_givenName))) {
        deviceGone();
        return;
    }
    if (m_threeWire)
        return;
    const bool cts = readCts();
    if (cts != m_cts) {
        m_cts = cts;
        Q_EMIT commEvent();
    }
}

void HostSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError)
        return; // modem lines that cannot be read are handled by readCts()
    if (m_port.isOpen() && errorMeansDeviceGone(error)) {
        m_lastError = m_port.errorString();
        m_port.clearError();
        // A readable port that yields nothing (end of file, a pty whose other end
        // closed), a failed read and a vanished device all mean the device is gone;
        // left open, such a port reports itself readable forever and the program
        // would spin on it.
        deviceGone();
        return;
    }
    switch (error) {
    case QSerialPort::PermissionError:
        // A port locked by another program comes with no system text of its own.
        m_lastError = SystemErrorText::translate(m_port.errorString());
        if (m_lastError == m_port.errorString())
            m_lastError = FileSizeLimit::portLockRefusal().isEmpty()
                              ? QStringLiteral("порт занят другой программой или нет прав доступа")
                              : FileSizeLimit::portLockRefusal();
        m_port.clearError();
        return;
    default:
        // Also a device that fails to open: only open() reports it; nothing to close.
        m_lastError = m_port.errorString();
        m_port.clearError();
        return;
    }
}

void HostSerialPort::deviceGone()
{
    m_linePoll.stop();
    if (m_closePending)
        return;
    m_closePending = true;
    // Closed from the event loop, not inside QSerialPort's own notification, and
    // only if the port is still the one that failed. Until then nothing is read.
    const quint64 failedOpen = m_openCount;
    QMetaObject::invokeMethod(
        this,
        [this, failedOpen] {
            if (failedOpen != m_openCount || !m_port.isOpen())
                return;
            close();
            Q_EMIT commEvent();
        },
        Qt::QueuedConnection);
}

} // namespace kalent
