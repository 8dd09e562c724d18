#include "PtyLine.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kalent {

namespace {

int baudFromSpeed(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    default:
        return 0;
    }
}

speed_t speedFromBaud(int baud)
{
    switch (baud) {
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    default:
        return B115200;
    }
}

} // namespace

PtyLine::PtyLine(QObject *parent) : QObject(parent)
{}

PtyLine::~PtyLine()
{
    close();
}

void PtyLine::close()
{
    // It may be closing from inside its own notifier's signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
}

bool PtyLine::start(int initialBaud)
{
    // Close-on-exec: a program started from here must not hold the line's ends,
    // or closing them would not look like a device going away.
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Keeping one slave descriptor open ourselves means the master never sees a
    // hang-up when the program closes its side, so it can reopen at will.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios raw{};
    if (m_slaveKeeper >= 0 && ::tcgetattr(m_slaveKeeper, &raw) == 0) {
        ::cfmakeraw(&raw);
        const speed_t speed = speedFromBaud(initialBaud);
        ::cfsetispeed(&raw, speed);
        ::cfsetospeed(&raw, speed);
        ::tcsetattr(m_slaveKeeper, TCSANOW, &raw);
    }

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyLine::readMaster);
    return true;
}

int PtyLine::lineBaud() const
{
    termios t{};
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return 0;
    return baudFromSpeed(::cfgetospeed(&t));
}

void PtyLine::readMaster()
{
    char buffer[4096];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            Q_EMIT received(QByteArray(buffer, static_cast<int>(n)), lineBaud());
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO (no slave open) cannot happen while we keep one,
        // but if it does, pause the notifier briefly instead of spinning on it.
        if (n < 0 && errno != EAGAIN) {
            m_notifier->setEnabled(false);
            QTimer::singleShot(50, this, [this] {
                if (m_notifier)
                    m_notifier->setEnabled(true);
            });
        }
        return;
    }
}

void PtyLine::write(const QByteArray &onLine)
{
    if (m_master < 0)
        return;
    if (!onLine.isEmpty())
        Q_EMIT written(onLine, lineBaud());
    qsizetype done = 0;
    int waits = 0;
    constexpr int MaxWaits = 20; // 2 s: a reader that takes nothing loses the rest
    while (done < onLine.size() && waits < MaxWaits) {
        const ssize_t n =
            ::write(m_master, onLine.constData() + done, static_cast<size_t>(onLine.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // The pty's buffer is full: wait for the reader to take some.
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_master, &set);
            timeval tv{0, 100000};
            ++waits;
            ::select(m_master + 1, nullptr, &set, nullptr, &tv);
        } else {
            return;
        }
    }
}

} // namespace kalent
