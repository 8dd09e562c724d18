#include "link/LineHangUp.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace kalent {

bool lineHungUp(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    const int handle = port.handle();
    if (handle < 0)
        return false;
    pollfd line{handle, POLLIN, 0};
    if (::poll(&line, 1, 0) <= 0)
        return false;
    return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    Q_UNUSED(port);
    return false;
#endif
}

bool errorMeansDeviceGone(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ReadError:
        return true;
#ifdef Q_OS_WIN
    case QSerialPort::PermissionError:
    case QSerialPort::UnknownError:
    case QSerialPort::WriteError:
        return true;
#endif
    default:
        return false;
    }
}

} // namespace kalent
