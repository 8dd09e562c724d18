#include "BootLoader.h"
#include "ManualClock.h"
#include "SimulatorSetup.h"
#include "UploadFrame.h"
#include "VirtualInstrument.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;

namespace {

using kalent::test::uploadFrame;

struct Instrument
{
    ManualClock clock;
    std::unique_ptr<VirtualInstrument> instrument = createBuiltInInstrument(clock);
    BootLoader &loader = *instrument->feature<BootLoader>();
    QByteArray sent;
    QList<bool> cts;

    Instrument()
    {
        QObject::connect(instrument.get(), &VirtualInstrument::transmitted,
                         [this](const QByteArray &bytes, int) { sent.append(bytes); });
        QObject::connect(instrument.get(), &VirtualInstrument::ctsChanged,
                         [this](bool up) { cts.append(up); });
    }
    void switchOn(bool stylus)
    {
        instrument->setPowered(false);
        instrument->setStylusHeld(stylus);
        instrument->setPowered(true);
        instrument->setStylusHeld(false);
        cts.clear();
    }
    void hear(const QByteArray &bytes) { instrument->hear(bytes, 115200); }
};

} // namespace

class tst_BootLoader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalStartReportsAfterASecond();
    void goodUploadIsProgrammedAndTheInstrumentRestarts();
    void badChecksumLeavesItSilentInProgrammingMode();
    void impossibleLengthIsRefused();
    void uploadArrivingInPiecesIsTakenWhole();
};

void tst_BootLoader::normalStartReportsAfterASecond()
{
    Instrument rig;
    rig.switchOn(false);
    QVERIFY(!rig.loader.inProgrammingMode());
    rig.clock.advance(999);
    QVERIFY(rig.sent.isEmpty());
    rig.clock.advance(1);
    QCOMPARE(rig.sent, QByteArray("L"));
    // Its normal program answers the contact probe.
    rig.hear("B");
    QCOMPARE(rig.sent, QByteArray("LB"));
}

void tst_BootLoader::goodUploadIsProgrammedAndTheInstrumentRestarts()
{
    Instrument rig;
    rig.instrument->setBaud(9600);
    rig.switchOn(true);
    QVERIFY(rig.loader.inProgrammingMode());
    QCOMPARE(rig.instrument->baud(), 115200);
    // Silent in programming mode: no "L", no answer to a probe.
    rig.hear("B");
    rig.clock.advance(3000);
    QVERIFY(rig.sent.isEmpty());

    QSignalSpy finished(&rig.loader, &BootLoader::uploadFinished);
    QSignalSpy progress(&rig.loader, &BootLoader::uploadProgress);
    const QByteArray image = QByteArray(12345, '\x5A') + "tail";
    rig.hear(uploadFrame(image));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.loader.programImage(), image);
    QCOMPARE(progress.last().at(0).toLongLong(), image.size());
    QCOMPARE(progress.last().at(1).toLongLong(), image.size());

    rig.clock.advance(BootLoader::ProgrammingMs);
    QCOMPARE(rig.cts, QList<bool>({false}));
    rig.clock.advance(BootLoader::RestartMs);
    QCOMPARE(rig.cts, QList<bool>({false, true}));
    QVERIFY(!rig.loader.inProgrammingMode());
    QVERIFY(rig.sent.isEmpty());
    rig.clock.advance(BootLoader::StartupMs);
    QCOMPARE(rig.sent, QByteArray("L"));
}

void tst_BootLoader::badChecksumLeavesItSilentInProgrammingMode()
{
    Instrument rig;
    rig.switchOn(true);
    rig.hear(uploadFrame("firmware", 1));
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::BadChecksum);
    rig.clock.advance(5000);
    QVERIFY(rig.sent.isEmpty());
    QVERIFY(rig.cts.isEmpty());
    QVERIFY(rig.loader.inProgrammingMode());

    // Ready for another try.
    rig.hear(uploadFrame("firmware"));
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::Accepted);
}

void tst_BootLoader::impossibleLengthIsRefused()
{
    Instrument rig;
    rig.switchOn(true);
    rig.hear(QByteArray::fromHex("55AA05000000"));
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::BadLength);
    rig.hear(uploadFrame("x", 0, BootLoader::Capacity + 7));
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::BadLength);
    rig.clock.advance(5000);
    QVERIFY(rig.sent.isEmpty());
    QVERIFY(rig.loader.inProgrammingMode());
}

void tst_BootLoader::uploadArrivingInPiecesIsTakenWhole()
{
    Instrument rig;
    rig.switchOn(true);
    // Noise before the marker is dropped; the upload may be split anywhere.
    const QByteArray bytes = QByteArray::fromHex("0013") + uploadFrame("abc");
    for (const char c : bytes)
        rig.hear(QByteArray(1, c));
    QCOMPARE(rig.loader.lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.loader.programImage(), QByteArray("abc"));
}

QTEST_GUILESS_MAIN(tst_BootLoader)
#include "tst_BootLoader.moc"
