#include "FileFaults.h"
#include "MeasurementData.h"
#include "MeasurementRig.h"
#include "RecordingOpener.h"
#include "TestSupport.h"
#include "common/SystemErrorText.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace kalent;
using namespace kalent::test;

namespace {

// The contents a failed save must leave in place: larger than any size limit
// used below, so the file is there whole before the fault.
QByteArray oldContents(const char *what)
{
    return QByteArray(what).repeated(200);
}

} // namespace

// Every file the reader and results pages write, against real faults: a write
// that fails part-way, a target that is not a regular file, a file name or a save
// with no table behind it. The old file always survives byte for byte, and the
// failure is reported rather than shown as a save.
class tst_MeasurementFileSafety : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimRig> rig;
    OpticalDensityReader &reader() { return rig->session.reader(); }
    ResultsProtocol &results() { return rig->session.results(); }
    MeasurementData &data() { return *rig->instrument->feature<MeasurementData>(); }
    QString dataPath(const QString &name) { return QDir(rig->dataDir.path()).filePath(name); }
    QString instrumentsName() { return QString::fromLatin1(data().fileNameReply()); }
    QString pane() { return rig->session.pane().text(); }
    bool readTable() { return kalent::test::readTable(*rig); }
    bool readProtocol() { return kalent::test::readProtocol(*rig); }
    static void verifyReported(const QSignalSpy &errors, const QString &path)
    {
        QCOMPARE(errors.count(), 1);
        const QString error = errors.at(0).at(0).toString();
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("файл слишком велик")), qPrintable(error));
    }

private Q_SLOTS:
    void init()
    {
        rig = connectedRig();
        QVERIFY(rig);
    }
    void cleanup() { rig.reset(); }

    void tableFilesSurviveAWriteThatFailsPartWay()
    {
        QVERIFY(readTable());
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        rig->session.pane().setText(QStringLiteral("before"));

        // On request.
        const QString chosen = dataPath(QStringLiteral("VirDat_1.xls"));
        QVERIFY(writeFile(chosen, oldContents("chosen ")));
        {
            const FileSizeLimit fault(500);
            reader().saveChosen(chosen);
        }
        verifyReported(errors, chosen);
        QCOMPARE(readFile(chosen), oldContents("chosen "));
        QCOMPARE(pane(), QStringLiteral("before"));
        errors.clear();

        // For the spreadsheet: the desktop is never asked to show a cut-off file.
        const QString temp = dataPath(QStringLiteral("TempBDTS.xls"));
        QVERIFY(writeFile(temp, oldContents("temp ")));
        RecordingOpener opener;
        {
            const FileSizeLimit fault(0);
            reader().openTableInSpreadsheet(opener);
        }
        verifyReported(errors, temp);
        QCOMPARE(readFile(temp), oldContents("temp "));
        QVERIFY(opener.opened.isEmpty());
        errors.clear();

        // Under the instrument's name, the automatic way.
        const QString named = dataPath(instrumentsName());
        QVERIFY(writeFile(named, oldContents("named ")));
        {
            const FileSizeLimit fault(500);
            reader().setAutoSave(true);
            QVERIFY(readTable());
            QVERIFY(rig->runUntil([&] { return errors.count() == 1; }));
        }
        verifyReported(errors, named);
        QCOMPARE(readFile(named), oldContents("named "));
        QVERIFY(!pane().startsWith(QStringLiteral("Данные записаны")));
        QCOMPARE(QDir(rig->dataDir.path()).entryList(QDir::Files).size(), 3); // no leftovers
    }

    void protocolFilesSurviveAWriteThatFailsPartWay()
    {
        QSignalSpy errors(&results(), &ResultsProtocol::fileError);
        const QString temp = dataPath(QStringLiteral("MSTempProtokol.txt"));
        QVERIFY(writeFile(temp, oldContents("last protocol ")));
        const QString memo = results().screenText();
        {
            const FileSizeLimit fault(100);
            results().readProtocol();
            QVERIFY(rig->runUntil([&] { return errors.count() == 1; }));
        }
        verifyReported(errors, temp);
        QCOMPARE(readFile(temp), oldContents("last protocol "));
        QCOMPARE(results().screenText(), memo);
        errors.clear();

        // The dated copy fails after the temporary file was written.
        const QString dated = dataPath(QStringLiteral("2009_03_24 Pr №   12"));
        QVERIFY(writeFile(dated, oldContents("dated ")));
        std::unique_ptr<FileSizeLimit> fault;
        connect(&results(), &ResultsProtocol::protocolReceived, this,
                [&] { fault = std::make_unique<FileSizeLimit>(100); });
        results().setAutoSave(true);
        QVERIFY(readProtocol());
        fault.reset();
        verifyReported(errors, dated);
        QCOMPARE(readFile(dated), oldContents("dated "));
        QCOMPARE(readFile(temp), data().protocolText());
        QVERIFY(!pane().startsWith(QStringLiteral("Протокол записан")));
        errors.clear();

        // On request.
        const QString chosen = dataPath(QStringLiteral("copy.txt"));
        QVERIFY(writeFile(chosen, oldContents("copy ")));
        {
            const FileSizeLimit fault(10);
            results().saveChosen(chosen);
        }
        verifyReported(errors, chosen);
        QCOMPARE(readFile(chosen), oldContents("copy "));
    }

    void theJournalChosenInASaveDialogIsKept()
    {
        QVERIFY(readTable());
        QVERIFY(readProtocol());
        const QString journal = dataPath(QStringLiteral("ServiceJournal.txt"));
        QVERIFY(writeFile(journal, oldContents("journal ")));
        QSignalSpy tableErrors(&reader(), &OpticalDensityReader::fileError);
        QSignalSpy protocolErrors(&results(), &ResultsProtocol::fileError);
        reader().saveChosen(journal);
        results().saveChosen(journal);
        QCOMPARE(tableErrors.count(), 1);
        QCOMPARE(protocolErrors.count(), 1);
        QVERIFY(protocolErrors.at(0).at(0).toString().contains(QStringLiteral("журнал")));
        QCOMPARE(readFile(journal), oldContents("journal "));
    }

    void specialFilesUnderTheNameAreRefusedAndKept()
    {
        QVERIFY(readTable());
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        const QString fifo = dataPath(QStringLiteral("pipe.xls"));
        QVERIFY(makeFifo(fifo));
        reader().saveChosen(fifo);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(0).toString().contains(SystemErrorText::notRegularFile()));
        QCOMPARE(kindOf(fifo), 'p');

        // The instrument names a device node that stands in the data folder.
        if (!isRoot())
            QSKIP("making a device node needs root");
        const QString node = dataPath(instrumentsName());
        if (!makeFullDeviceNode(node))
            QSKIP("this file system refuses device nodes");
        reader().setAutoSave(true);
        QVERIFY(readTable());
        QVERIFY(rig->runUntil([&] { return errors.count() == 2; }));
        QCOMPARE(kindOf(node), 'c');
        QVERIFY(!pane().startsWith(QStringLiteral("Данные записаны")));
    }

    void fileNameWithNoTableBehindItLeavesTheFileUntouched()
    {
        const QString named = dataPath(instrumentsName());
        QVERIFY(writeFile(named, oldContents("earlier table ")));
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);

        // A stale name before any table: nobody asked for it, and nobody acts on it.
        const QString before = pane();
        rig->instrument->sendRaw(data().fileNameReply());
        rig->settle();
        QCOMPARE(readFile(named), oldContents("earlier table "));
        QCOMPARE(pane(), before);
        QVERIFY(!rig->session.dispatcher().collecting());

        // A name repeated after the table was saved under it: the file is not
        // written a second time (here it was changed meanwhile, and stays so).
        QSignalSpy saved(&reader(), &OpticalDensityReader::autoSaved);
        reader().setAutoSave(true);
        QVERIFY(readTable());
        QVERIFY(rig->runUntil([&] { return saved.count() == 1; }));
        QCOMPARE(readFile(named), reader().opData());
        QVERIFY(writeFile(named, "edited by the operator"));
        rig->instrument->sendRaw(data().fileNameReply());
        rig->settle();
        QCOMPARE(readFile(named), QByteArray("edited by the operator"));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(errors.count(), 0);

        // A read under way has no table either.
        rig->instrument->setSilent(true);
        reader().readTable();
        rig->settle();
        rig->instrument->setSilent(false);
        rig->instrument->sendRaw(data().fileNameReply());
        rig->settle();
        QCOMPARE(readFile(named), QByteArray("edited by the operator"));
    }

    void savesWithNoCompleteTableLeaveTheFilesUntouched()
    {
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        const QString chosen = dataPath(QStringLiteral("VirDat_1.xls"));
        const QString temp = dataPath(QStringLiteral("TempBDTS.xls"));
        QVERIFY(writeFile(chosen, oldContents("chosen ")));
        QVERIFY(writeFile(temp, oldContents("temp ")));
        RecordingOpener opener;
        rig->session.pane().setText(QStringLiteral("before"));
        reader().saveChosen(chosen);
        reader().openTableInSpreadsheet(opener);
        QCOMPARE(errors.count(), 2);
        QCOMPARE(readFile(chosen), oldContents("chosen "));
        QCOMPARE(readFile(temp), oldContents("temp "));
        QVERIFY(opener.opened.isEmpty());
        QCOMPARE(pane(), QStringLiteral("before"));

        // A table received whole is still saved after the page was shown again.
        QVERIFY(readTable());
        Q_EMIT rig->session.readerGridLabelled();
        reader().saveChosen(chosen);
        QCOMPARE(readFile(chosen), " " + data().tableReply().mid(1));
        QCOMPARE(pane(), QStringLiteral("Данные записаны в файл."));
    }

    void protocolNeverReceivedWholeIsNeverSaved()
    {
        QSignalSpy errors(&results(), &ResultsProtocol::fileError);
        const QString temp = dataPath(QStringLiteral("MSTempProtokol.txt"));
        const QString chosen = dataPath(QStringLiteral("copy.txt"));
        // A temporary file left by an earlier run is not this run's protocol.
        QVERIFY(writeFile(temp, oldContents("old run ")));
        QVERIFY(writeFile(chosen, oldContents("chosen ")));
        results().saveChosen(chosen);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(readFile(chosen), oldContents("chosen "));

        // A reply with no text between its first and last character.
        results().setAutoSave(true);
        rig->instrument->setSilent(true);
        results().handleLength(message("N00002"));
        rig->settle(); // the silent instrument has heard the "d"
        results().handleText(message("d\r"));
        QCOMPARE(readFile(temp), oldContents("old run "));
        QCOMPARE(results().screenText(), QString());
        QCOMPARE(pane(), QStringLiteral("Прибор прислал пустой протокол: файлы не записаны."));
        QCOMPARE(QDir(rig->dataDir.path()).entryList(QDir::Files).size(), 2);

        // After a whole protocol, a temporary file emptied behind the program's
        // back gives no empty copy.
        rig->instrument->setSilent(false);
        results().setAutoSave(false);
        QVERIFY(readProtocol());
        QVERIFY(writeFile(temp, QByteArray()));
        results().saveChosen(chosen);
        QCOMPARE(errors.count(), 2);
        QCOMPARE(readFile(chosen), oldContents("chosen "));
    }

    void folderThatTurnedReadOnlyIsAnErrorNotASave()
    {
        QVERIFY(readTable());
        const QString chosen = dataPath(QStringLiteral("VirDat_1.xls"));
        QVERIFY(writeFile(chosen, oldContents("chosen ")));
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        rig->session.pane().setText(QStringLiteral("before"));
        {
            const Immutable locked(rig->dataDir.path());
            if (!locked.active())
                QSKIP("cannot set the immutable flag here (needs root and a file system with it)");
            reader().saveChosen(chosen);
        }
        QCOMPARE(errors.count(), 1);
        QCOMPARE(pane(), QStringLiteral("before"));
        QCOMPARE(readFile(chosen), oldContents("chosen "));
    }
};

QTEST_GUILESS_MAIN(tst_MeasurementFileSafety)
#include "tst_MeasurementFileSafety.moc"
