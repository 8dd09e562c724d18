// How long a headless read of the optical-density table takes against the
// built-in instrument served on a pty, against the line's own time for the 873
// bytes of the table. First in-process, the two ways to reach the instrument
// side by side: the window's contact search from 4800 (which every headless
// action ran before) and the one probe at 115200 the headless actions now try
// first; then the program itself (`read-od`) with the instrument at 115200 and
// at 9600. Prints figures; asserts nothing.
#include "PtyBridge.h"
#include "Session.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "common/SystemClock.h"
#include "link/HostSerialPort.h"
#include "measurement/OpticalDensityReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace kalent;

namespace {

constexpr int Runs = 3;
constexpr double TableLineMs = 873 * 10 * 1000.0 / 115200;

// Milliseconds from opening the port to the table, in-process.
double readTable(bool searchFirst)
{
    SystemClock clock;
    auto instrument = createBuiltInInstrument(clock);
    instrument->setBaud(115200);
    PtyBridge bridge(*instrument);
    if (!bridge.start())
        return -1;
    HostSerialPort port;
    QTemporaryDir data;
    Session session(clock, port, DataFolder(data.path()));
    Connection &link = session.connection();
    bool received = false;
    QObject::connect(&session.reader(), &OpticalDensityReader::tableReceived,
                     [&] { received = true; });

    QElapsedTimer timer;
    timer.start();
    link.openFirstPort({bridge.slavePath()});
    if (searchFirst)
        link.searchWithFastestSpeed();
    else
        link.probeAtPresentSpeed();
    if (!QTest::qWaitFor([&] { return link.atFastestSpeed(); }, 10000))
        return -1;
    session.reader().readTable();
    if (!QTest::qWaitFor([&] { return received; }, 10000))
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

// Milliseconds the read-od action lives, against a fresh instrument at baud.
double runReadOd(const QString &exe, int baud)
{
    QProcess server;
    server.start(exe, {"simulate", "--pty", "--baud", QString::number(baud)});
    if (!server.waitForStarted() || !server.waitForReadyRead(5000))
        return -1;
    const QString pty = QString::fromUtf8(server.readLine()).trimmed();
    QTemporaryDir data;
    QProcess read;
    QElapsedTimer timer;
    timer.start();
    read.start(exe, {"read-od", "--port", pty, "--data-dir", data.path()});
    const bool ok = read.waitForFinished(30000) && read.exitCode() == 0;
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    server.terminate();
    server.waitForFinished(5000);
    return ok ? ms : -1;
}

void report(const char *what, double ms)
{
    std::printf("%-52s %8.1f ms  (line time + %.0f ms, %.1f x line time)\n", what, ms,
                ms - TableLineMs, ms / TableLineMs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("line time of the 873-byte table at 115200: %.1f ms\n", TableLineMs);
    for (int i = 0; i < Runs; ++i) {
        report("in-process, contact search from 4800 (before)", readTable(true));
        report("in-process, one probe at 115200 (now)", readTable(false));
    }
#ifdef KALENT_SERVICE_PATH
    const QString exe = QStringLiteral(KALENT_SERVICE_PATH);
    for (int i = 0; i < Runs; ++i) {
        report("read-od, instrument at 115200", runReadOd(exe, 115200));
        report("read-od, instrument at 9600 (full search)", runReadOd(exe, 9600));
    }
#endif
    return 0;
}
