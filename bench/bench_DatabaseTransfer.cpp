// A 999-page read and write over the modelled 115200 line on the manual clock:
// how long the transfer takes against the line's own time for the same bytes,
// i.e. what the program's turnaround per page adds.
#include "DatabaseCommands.h"
#include "DemoDatabase.h"
#include "ManualClock.h"
#include "Session.h"
#include "SimulatedPort.h"
#include "SimulatorSetup.h"
#include "VirtualInstrument.h"
#include "database/DatabasePage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace kalent;

namespace {

constexpr double LineBytesPerMs = 115200.0 / 10.0 / 1000.0;

void report(const char *what, qint64 simulatedMs, qint64 lineBytes, int pages, qint64 wallMs)
{
    const double lineMs = static_cast<double>(lineBytes) / LineBytesPerMs;
    std::printf("%s: %lld ms on the line clock, %.0f ms of line time for its %lld bytes\n", what,
                static_cast<long long>(simulatedMs), lineMs, static_cast<long long>(lineBytes));
    std::printf("  ratio %.3f, turnaround %.3f ms per page; %lld ms of real time to simulate\n",
                static_cast<double>(simulatedMs) / lineMs,
                (static_cast<double>(simulatedMs) - lineMs) / pages,
                static_cast<long long>(wallMs));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ManualClock clock;
    auto instrument = createBuiltInInstrument(clock);
    SimulatedPort port(*instrument, clock);
    Session session(clock, port, DataFolder(dir.path()));
    session.connection().openFirstPort({QStringLiteral("sim")});
    session.connection().searchWithFastestSpeed();
    if (!clock.advanceUntil([&] { return session.connection().atFastestSpeed(); }, 30000)) {
        std::fprintf(stderr, "no contact with the built-in instrument\n");
        return 1;
    }
    clock.advance(50);
    const QByteArray image = DemoDatabase::withPages(999);
    instrument->feature<DatabaseCommands>()->setImage(image);
    DatabasePage &page = session.databasePage();

    QElapsedTimer wall;
    wall.start();
    qint64 start = clock.nowMs();
    page.readInstrumentList();
    if (!clock.advanceUntil([&] { return page.readsCompleted() == 1; }, 600000))
        return 1;
    // Sent "R" and 999 "r"; received "R" + 4 characters and 999 pages behind their "r".
    report("read of 999 pages", clock.nowMs() - start, 1000 + 5 + 999 * 529, 999, wall.elapsed());

    const QByteArray toWrite = page.database().instrument().image();
    wall.restart();
    start = clock.nowMs();
    page.writeInstrumentList(); // disabled on the page, but the flow is the same as after an edit
    if (!clock.advanceUntil([&] { return page.writesCompleted() == 1; }, 600000))
        return 1;
    // Sent "M"+2 and 999 pages behind their "m"; received 1000 "m".
    report("write of 999 pages", clock.nowMs() - start, 3 + 999 * 529 + 1000, 999, wall.elapsed());
    if (instrument->feature<DatabaseCommands>()->image() != toWrite) {
        std::fprintf(stderr, "the instrument holds something else than was written\n");
        return 1;
    }
    return 0;
}
