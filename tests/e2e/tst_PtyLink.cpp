#include "InstrumentFeature.h"
#include "PortPanelPresenter.h"
#include "PtyBridge.h"
#include "Session.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace kalent;

namespace {

// Hears everything and answers nothing: shows exactly which bytes arrived.
class Recorder : public InstrumentFeature
{
public:
    int consume(InstrumentControl &, const QByteArray &heard) override
    {
        bytes.append(heard);
        return heard.size();
    }
    QByteArray bytes;
};

QByteArray allByteValues()
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    return all;
}

// The real serial code against the built-in instrument served on a pty.
struct PtyRig
{
    SystemClock clock;
    VirtualInstrument instrument{clock};
    std::unique_ptr<PtyBridge> bridge = std::make_unique<PtyBridge>(instrument);
    HostSerialPort port;
    QTemporaryDir dataDir;
    Session session{clock, port, DataFolder(dataDir.path())};

    bool start() { return bridge->start(); }
};

QString exe()
{
    return QStringLiteral(KALENT_EXE);
}

} // namespace

class tst_PtyLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyByteValuePassesUnchangedBothWays()
    {
        // The port alone, without a session reading it.
        SystemClock clock;
        VirtualInstrument instrument(clock);
        PtyBridge bridge(instrument);
        HostSerialPort port;
        QVERIFY(bridge.start());
        auto recorder = std::make_unique<Recorder>();
        Recorder *heard = recorder.get();
        instrument.addFeature(std::move(recorder));
        instrument.setExclusiveFeature(heard);

        port.setPortName(bridge.slavePath());
        port.setSettings("115200,n,8,1");
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        QVERIFY(port.ctsHolding()); // a pty is a three-wire line

        port.output(allByteValues());
        QTRY_COMPARE_WITH_TIMEOUT(heard->bytes.size(), 256, 5000);
        QCOMPARE(heard->bytes, allByteValues());

        QByteArray received;
        connect(&port, &SerialPort::commEvent, [&] { received.append(port.input()); });
        instrument.sendRaw(allByteValues());
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 256, 5000);
        QCOMPARE(received, allByteValues());
    }

    void contactIsFoundAndRaisedTo115200AtEverySpeed_data()
    {
        QTest::addColumn<int>("baud");
        for (int baud : {4800, 9600, 19200, 38400, 57600, 115200})
            QTest::addRow("%d", baud) << baud;
    }

    void contactIsFoundAndRaisedTo115200AtEverySpeed()
    {
        QFETCH(int, baud);
        PtyRig rig;
        rig.instrument.setBaud(baud);
        QVERIFY(rig.start());
        Connection &link = rig.session.connection();
        link.openFirstPort({rig.bridge->slavePath()});
        QVERIFY(rig.port.isOpen());
        link.searchWithFastestSpeed();
        QTRY_VERIFY_WITH_TIMEOUT(link.atFastestSpeed(), 10000);
        QCOMPARE(rig.instrument.baud(), 115200);
        QCOMPARE(rig.bridge->lineBaud(), 115200);
        QCOMPARE(rig.session.pane().text(), QString("Есть контакт с прибором"));
    }

    void peerClosingThePtyIsSurvived()
    {
        PtyRig rig;
        QVERIFY(rig.start());
        Connection &link = rig.session.connection();
        link.openFirstPort({rig.bridge->slavePath()});
        link.searchWithFastestSpeed();
        QTRY_VERIFY_WITH_TIMEOUT(link.atFastestSpeed(), 10000);

        rig.bridge.reset(); // the other end goes away
        // The hang-up closes the port; the line reads down.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port.isOpen(), 3000);
        QCOMPARE(rig.session.pane().text(), QString("Нет связи с прибором"));
        QVERIFY(!link.lineUp());
        QVERIFY(!link.state().portOpen);
        // "Контакт" stays usable: it opens the port again once the device is back.
        const PortPanelView panel = PortPanelPresenter::derive(link.state());
        QVERIFY(panel.contactEnabled);
        QVERIFY(panel.portEnabled);
        QCOMPARE(panel.portOpenCaption, QString("выкл."));
        // Later actions report the closed port instead of failing.
        link.checkContact();
        QCOMPARE(rig.session.pane().text(), QString("Порт отключен."));
    }

    void portThatFailsToOpenLeavesTheNextPortOpen()
    {
        // A pty whose slave is still locked: opening it fails with an I/O error,
        // which QSerialPort reports as a vanished device.
        const int locked = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(locked >= 0);
        QVERIFY(::grantpt(locked) == 0);
        const QString lockedPath = QString::fromLocal8Bit(::ptsname(locked));

        PtyRig rig;
        QVERIFY(rig.start());
        Connection &link = rig.session.connection();
        link.openFirstPort({lockedPath, rig.bridge->slavePath()});
        QCOMPARE(link.state().ports, QStringList{rig.bridge->slavePath()});
        QVERIFY(rig.port.isOpen());
        // Whatever the failed open left behind must not close the port opened after it.
        QTest::qWait(300);
        ::close(locked);
        QVERIFY(rig.port.isOpen());
        QVERIFY(link.state().portOpen);
        link.searchWithFastestSpeed();
        QTRY_VERIFY_WITH_TIMEOUT(link.atFastestSpeed(), 10000);
    }

    void contactActionPrints115200()
    {
        QProcess server;
        server.start(exe(), {"simulate", "--pty", "--baud", "19200"});
        QVERIFY(server.waitForStarted());
        QVERIFY(server.waitForReadyRead(5000));
        const QString pty = QString::fromUtf8(server.readLine()).trimmed();
        QVERIFY(pty.startsWith("/dev/"));

        QProcess contact;
        contact.start(exe(), {"contact", "--port", pty});
        QVERIFY(contact.waitForFinished(20000));
        QCOMPARE(contact.exitCode(), 0);
        QCOMPARE(contact.readAllStandardOutput(), QByteArray("115200\n"));
        const QString log = QString::fromUtf8(contact.readAllStandardError());
        QVERIFY(log.contains("Установка новой скорости обмена."));
        QVERIFY(log.trimmed().endsWith("Есть контакт с прибором"));

        server.terminate();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
    }

    void contactActionGivesUpOnASilentLine()
    {
        // A pty with nobody answering on the other side.
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString pty = QString::fromLocal8Bit(::ptsname(master));

        QProcess contact;
        contact.start(exe(), {"contact", "--port", pty, "--timeout", "1"});
        QVERIFY(contact.waitForFinished(20000));
        ::close(master);
        QCOMPARE(contact.exitCode(), 1);
        QVERIFY(contact.readAllStandardOutput().isEmpty());
        const QStringList lines =
            QString::fromUtf8(contact.readAllStandardError()).trimmed().split('\n');
        QCOMPARE(lines.last(), QString("Прибор не отвечает!"));
        QCOMPARE(lines.count(QString("Прибор не отвечает!")), 1); // said once, not echoed twice
    }

    void contactActionReportsAPortThatDoesNotOpen()
    {
        QProcess contact;
        contact.start(exe(), {"contact", "--port", "/dev/no-such-port"});
        QVERIFY(contact.waitForFinished(20000));
        QCOMPARE(contact.exitCode(), 1);
        // One sentence with the reason, in Russian, and nothing else.
        QCOMPARE(QString::fromUtf8(contact.readAllStandardError()),
                 QString("Не удалось открыть порт /dev/no-such-port: нет такого файла или "
                         "папки.\n"));
    }

    void usageErrorsExitWith2()
    {
        for (const QStringList &args :
             {QStringList{"contact", "--port"}, QStringList{"contact", "--port", "sim", "--bogus"},
              QStringList{"contact", "--port", "sim", "--timeout", "x"}, QStringList{"simulate"},
              QStringList{"contact"}, QStringList{"read-od", "--timeout", "1"},
              QStringList{"ports", "extra"}, QStringList{"contact", "--port", "sim", "extra"}}) {
            QProcess p;
            p.start(exe(), args);
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(p.exitCode() == 2, qPrintable(args.join(' ')));
        }
    }

    void portsListsTheBuiltInInstrumentLast()
    {
        QProcess p;
        p.start(exe(), {"ports"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardOutput()).trimmed().split('\n');
        QCOMPARE(lines.last(), QString("sim"));
    }
};

QTEST_GUILESS_MAIN(tst_PtyLink)
#include "tst_PtyLink.moc"
