#include "link/HostSerialPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kalent;

namespace {

// A pseudo-terminal whose master end this test holds: the port on its slave
// end never hangs up while the test lives.
struct Pty
{
    int master = -1;
    QString slavePath;

    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slavePath = QString::fromLocal8Bit(ptsname(master));
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    bool ok() const { return master >= 0 && !slavePath.isEmpty(); }
};

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class tst_HostSerialPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void anErrorOfTheDeviceClosesThePort_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("gone");
        // The device failed under the program: it is gone, whatever the line says.
        QTest::newRow("read") << QSerialPort::ReadError << true;
        QTest::newRow("resource") << QSerialPort::ResourceError << true;
        QTest::newRow("not found") << QSerialPort::DeviceNotFoundError << true;
        // A passing complaint leaves a working port open.
        QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
        QTest::newRow("unsupported") << QSerialPort::UnsupportedOperationError << false;
    }

    void anErrorOfTheDeviceClosesThePort()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, gone);
        Pty pty;
        QVERIFY(pty.ok());
        QSerialPort serial;
        HostSerialPort port(serial);
        port.setPortName(pty.slavePath);
        port.setSettings(QStringLiteral("115200,n,8,1"));
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        QVERIFY(port.ctsHolding());
        QSignalSpy events(&port, &SerialPort::commEvent);

        // The line stays up (the master end is held): only the error can close it,
        // not the poll that notices a hang-up.
        Q_EMIT serial.errorOccurred(error);
        QCOMPARE(port.ctsHolding(), !gone);
        QTest::qWait(300);
        QCOMPARE(port.isOpen(), !gone);
        QCOMPARE(port.ctsHolding(), !gone);
        QCOMPARE(events.count() > 0, gone);
        if (gone) {
            // Closed once and cleanly: the device, still there, opens again.
            QCOMPARE(events.count(), 1);
            QVERIFY2(port.open(), qPrintable(port.errorString()));
            QVERIFY(port.ctsHolding());
        }
    }

    void unreadInputIsCappedWhileTheDeviceKeepsSending()
    {
        // The program reads nothing (as while the line is down); the device
        // sends on. What the serial library holds stays bounded: the rest waits
        // in the system, and the sender is held back.
        Pty pty;
        QVERIFY(pty.ok());
        HostSerialPort port;
        port.setPortName(pty.slavePath);
        port.setSettings(QStringLiteral("115200,n,8,1"));
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        const qint64 rssBefore = residentKiB();

        constexpr qint64 Offered = 16 * 1024 * 1024;
        const QByteArray chunk(64 * 1024, 'x');
        qint64 written = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        while (written < Offered && elapsed.elapsed() < 4000) {
            const ssize_t n = ::write(pty.master, chunk.constData(), chunk.size());
            if (n > 0)
                written += n;
            else if (errno != EAGAIN && errno != EINTR)
                QFAIL(qPrintable(QStringLiteral("write: %1").arg(errno)));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QTest::qWait(200);

        QVERIFY2(port.isOpen(), qPrintable(port.errorString()));
        QVERIFY2(port.inBufferCount() > 0, "nothing arrived at all");
        QVERIFY2(port.inBufferCount() <= 128 * 1024,
                 qPrintable(QString::number(port.inBufferCount())));
        QVERIFY2(written < Offered, qPrintable(QString::number(written)));
        const qint64 grownKiB = residentKiB() - rssBefore;
        QVERIFY2(grownKiB < 4 * 1024, qPrintable(QString::number(grownKiB)));

        // Reading lets the rest flow again.
        QByteArray received = port.input();
        QVERIFY(!received.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(port.inBufferCount() > 0, 5000);
    }
};

QTEST_GUILESS_MAIN(tst_HostSerialPort)
#include "tst_HostSerialPort.moc"
