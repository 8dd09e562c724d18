#include "FirmwareRig.h"
#include "UploadFrame.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
    return bytes;
}

// Runs a confirmed load to its end, one millisecond at a time, and records
// every size the written stream jumps to, when each write left the program and
// when the next began, and every progress the bar showed.
struct TransferLog
{
    QList<qsizetype> writtenSizes;
    QList<qint64> drainedAt;
    QList<qint64> writtenAt;
    QList<int> progress;
    int progressAheadOfLine = 0;
};

TransferLog runTransfer(FirmwareRig &rig, qint64 maxMs = 20000)
{
    TransferLog log;
    QObject::connect(&rig.session.pane(), &MessagePane::progressChanged, [&](int percent) {
        log.progress.append(percent);
        const qint64 left = rig.port.written().size() - rig.port.bytesToWrite() - 6;
        const qint64 shownBytes = percent * rig.upload().size() / 100;
        if (percent > 0 && shownBytes > left)
            ++log.progressAheadOfLine;
    });
    rig.wizard().startUpload(true);
    qsizetype last = rig.port.written().size();
    bool draining = true;
    log.writtenSizes.append(last);
    log.writtenAt.append(rig.clock.nowMs());
    for (qint64 t = 0; t < maxMs && (rig.upload().running() || draining); ++t) {
        rig.clock.advance(1);
        if (rig.port.written().size() != last) {
            last = rig.port.written().size();
            log.writtenSizes.append(last);
            log.writtenAt.append(rig.clock.nowMs());
            draining = true;
        }
        if (draining && rig.port.bytesToWrite() == 0) {
            log.drainedAt.append(rig.clock.nowMs());
            draining = false;
        }
    }
    QObject::disconnect(&rig.session.pane(), &MessagePane::progressChanged, nullptr, nullptr);
    return log;
}

} // namespace

class tst_FirmwareUpload : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void threeByteFileGoesOutWithItsChecksumInTheFirstTick();
    void largeFileGoesInThreeBlocksPacedByTheLine();
    void fileOfExactlyOneBlockIsOneTick();
    void checksumKeepsOnlyTheLowSixteenBits();
    void cancelAfterTheSecondOfThreeBlocksStopsThere();
    void cancelButtonGoesOnceTheChecksumIsHandedOver();
    void declinedOrClosedPortWritesNothing();
    void missingFileIsReportedBeforeAnythingIsSent();
    void emptyFileIsRefusedBeforeAnythingIsSent();
};

void tst_FirmwareUpload::threeByteFileGoesOutWithItsChecksumInTheFirstTick()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("abc.tsk", "abc")));
    const TransferLog log = runTransfer(rig);

    QCOMPARE(rig.port.written(), QByteArray::fromHex("55AA090000006162632601"));
    QCOMPARE(log.writtenSizes, QList<qsizetype>({6, 11}));
    QCOMPARE(log.progress, QList<int>({100, 0}));
    QCOMPARE(log.progressAheadOfLine, 0);
    QVERIFY((rig.step() == WizardStep::AwaitingRestart));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора"));
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY((rig.step() != WizardStep::Sending));
}

void tst_FirmwareUpload::largeFileGoesInThreeBlocksPacedByTheLine()
{
    FirmwareRig rig;
    const QByteArray image = patterned(25000);
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", image)));
    const TransferLog log = runTransfer(rig);

    const QByteArray &line = rig.port.written();
    QCOMPARE(line.left(6), QByteArray::fromHex("55AAAE610000"));
    QCOMPARE(line, uploadFrame(image));
    // Header, then 10,000, 10,000 and 5,000 + checksum in three ticks.
    QCOMPARE(log.writtenSizes, QList<qsizetype>({6, 10006, 20006, 25008}));
    QCOMPARE(log.progress, QList<int>({40, 80, 100, 0}));
    QCOMPARE(log.progressAheadOfLine, 0);
    // Each tick comes 100 ms after the previous write has left the program
    // (the port is looked at every millisecond).
    QCOMPARE(log.drainedAt.size(), 4);
    for (int i = 1; i < log.writtenAt.size(); ++i) {
        const qint64 gap = log.writtenAt.at(i) - log.drainedAt.at(i - 1);
        QVERIFY2(gap >= 100 && gap <= 102, qPrintable(QString::number(gap)));
    }
    // A full block needs about 868 ms at 115200 baud, far more than the tick.
    QVERIFY(log.drainedAt.at(1) - log.writtenAt.at(1) >= 860);
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
}

void tst_FirmwareUpload::fileOfExactlyOneBlockIsOneTick()
{
    FirmwareRig rig;
    const QByteArray image = patterned(10000);
    QVERIFY(rig.reachStepThree(rig.writeFile("one.tsk", image)));
    const TransferLog log = runTransfer(rig);

    QCOMPARE(log.writtenSizes, QList<qsizetype>({6, 10008}));
    QCOMPARE(rig.port.written(), uploadFrame(image));
    QCOMPARE(rig.port.written().mid(2, 4), QByteArray::fromHex("16270000"));
    QCOMPARE(log.progress, QList<int>({100, 0}));
}

void tst_FirmwareUpload::checksumKeepsOnlyTheLowSixteenBits()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("ff.tsk", QByteArray(300, '\xFF'))));
    runTransfer(rig);

    const QByteArray &line = rig.port.written();
    QCOMPARE(line.size(), 6 + 300 + 2);
    QCOMPARE(line.left(6), QByteArray::fromHex("55AA32010000"));
    QCOMPARE(line.right(2), QByteArray::fromHex("D42A"));
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
}

void tst_FirmwareUpload::cancelAfterTheSecondOfThreeBlocksStopsThere()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", patterned(25000))));
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 80; }));
    QVERIFY((rig.step() == WizardStep::Sending));

    rig.wizard().cancelUpload();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора приостановлено"));
    QCOMPARE(rig.session.pane().progress(), 0);
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY((rig.step() != WizardStep::Sending));
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), 6 + 20000);
    // The instrument keeps waiting for the rest; it does not restart.
    QVERIFY(rig.bootLoader().inProgrammingMode());
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::None);

    rig.wizard().updateFirmwareWizard();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Выключите прибор. Шаг 2."));
}

void tst_FirmwareUpload::cancelButtonGoesOnceTheChecksumIsHandedOver()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", patterned(25000))));
    rig.wizard().startUpload(true);

    // While a block other than the last is still leaving, cancelling is offered.
    QVERIFY(rig.runUntil([&] { return rig.port.written().size() == 6 + 20000; }));
    QVERIFY(rig.port.bytesToWrite() > 0);
    QVERIFY((rig.step() == WizardStep::Sending));
    QVERIFY((rig.step() == WizardStep::Sending));

    // The last block and the checksum are with the port: the instrument will
    // have the whole upload, so a cancel could only misreport it.
    QVERIFY(rig.runUntil([&] { return rig.port.written().size() == 6 + 25000 + 2; }));
    QVERIFY(rig.port.bytesToWrite() > 0);
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY((rig.step() != WizardStep::AwaitingRestart));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузка программы в прибор"));

    QVERIFY(rig.runUntil([&] { return (rig.step() == WizardStep::AwaitingRestart); }));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора"));
    QVERIFY((rig.step() != WizardStep::Sending));
}

void tst_FirmwareUpload::declinedOrClosedPortWritesNothing()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("abc.tsk", "abc")));

    rig.wizard().startUpload(false);
    rig.clock.advance(1000);
    QVERIFY(rig.port.written().isEmpty());
    QVERIFY((rig.step() == WizardStep::Ready));
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    // The engine driven while no upload holds the line sends nothing either.
    rig.upload().start("abc");
    rig.clock.advance(1000);
    QVERIFY(rig.port.written().isEmpty());

    rig.port.close();
    rig.wizard().startUpload(true);
    rig.clock.advance(1000);
    QVERIFY(rig.port.written().isEmpty());
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Порт отключен."));
    QVERIFY((rig.step() == WizardStep::Ready));
    QVERIFY(!rig.wizard().state().uploadUnderWay());
}

void tst_FirmwareUpload::missingFileIsReportedBeforeAnythingIsSent()
{
    FirmwareRig rig;
    const QString path = rig.writeFile("gone.tsk", "abc");
    QVERIFY(rig.reachStepThree(path));
    QVERIFY(QFile::remove(path));
    QSignalSpy errors(&rig.wizard(), &FirmwareWizard::errorOccurred);

    rig.wizard().startUpload(true);
    rig.clock.advance(1000);
    QVERIFY(rig.port.written().isEmpty());
    QCOMPARE(errors.size(), 1);
    const QString expected =
        QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path));
    QCOMPARE(errors.at(0).at(0).toString(), expected);
    QCOMPARE(rig.session.pane().text(), expected);
    // Nothing started: no cancel button, step 3 still open for another try.
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY((rig.step() == WizardStep::Ready));

    // A folder named like the file is no image either.
    QVERIFY(QDir().mkpath(path));
    rig.wizard().startUpload(true);
    rig.clock.advance(1000);
    QVERIFY(rig.port.written().isEmpty());
    QCOMPARE(errors.size(), 2);
}

void tst_FirmwareUpload::emptyFileIsRefusedBeforeAnythingIsSent()
{
    FirmwareRig rig;
    const QString path = rig.writeFile("empty.tsk", QByteArray());
    QVERIFY(rig.reachStepThree(path));
    QSignalSpy errors(&rig.wizard(), &FirmwareWizard::errorOccurred);

    rig.wizard().startUpload(true);
    rig.clock.advance(2000);
    QVERIFY(rig.port.written().isEmpty());
    QCOMPARE(errors.size(), 1);
    QCOMPARE(
        rig.session.pane().text(),
        QStringLiteral("Файл %1 пуст. Загрузка не начата.").arg(QDir::toNativeSeparators(path)));
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    QVERIFY((rig.step() == WizardStep::Ready));
}

QTEST_GUILESS_MAIN(tst_FirmwareUpload)
#include "tst_FirmwareUpload.moc"
