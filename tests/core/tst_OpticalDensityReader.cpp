#include "MeasurementData.h"
#include "MeasurementRig.h"
#include "RecordingOpener.h"
#include "TestSupport.h"
#include "measurement/OpticalDensityGridModel.h"
#include "measurement/OpticalDensityReader.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// A table reply in which every position holds a character that tells where it
// came from: a value cell that shows the wrong positions shows the wrong text.
QByteArray markedTable()
{
    QByteArray table(873, '\0');
    table[0] = 'D';
    for (int i = 1; i < 873; ++i)
        table[i] = static_cast<char>('!' + (i % 90));
    table[869] = table[870] = table[871] = table[872] = '~';
    return table;
}

} // namespace

class tst_OpticalDensityReader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimRig> rig;
    OpticalDensityReader &reader() { return rig->session.reader(); }
    MeasurementData &data() { return *rig->instrument->feature<MeasurementData>(); }
    QString dataPath(const QString &name) { return QDir(rig->dataDir.path()).filePath(name); }
    bool readTable() { return kalent::test::readTable(*rig); }

private Q_SLOTS:
    void init()
    {
        rig = connectedRig();
        QVERIFY(rig);
    }
    void cleanup() { rig.reset(); }

    void gridModelGivesTheTablesTextAndItsNumbers_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QVariant>("number");
        QTest::newRow("number") << QByteArray("0.123 ") << QVariant(0.123);
        QTest::newRow("negative") << QByteArray("-0.50 ") << QVariant(-0.5);
        QTest::newRow("overflow marker") << QByteArray("OVER  ") << QVariant();
        QTest::newRow("blanks") << QByteArray("      ") << QVariant();
        QTest::newRow("sign alone") << QByteArray("-     ") << QVariant();
    }

    void gridModelGivesTheTablesTextAndItsNumbers()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QVariant, number);
        OpticalDensityGridModel model(reader());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 8);
        QCOMPARE(model.columnCount(), 12);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        // Row C, column 5: 2 + (3-1)*109 + (5-1)*9, counted from 1.
        QByteArray table = data().tableReply();
        table.replace(1 + 2 * 109 + 4 * 9, 6, sent);
        reader().handleTable(message(table));
        QCOMPARE(changed.size(), 1);
        const QModelIndex cell = model.index(2, 4);
        QCOMPARE(cell.data().toString(), QString::fromLatin1(sent));
        const QVariant got = cell.data(OpticalDensityGridModel::NumberRole);
        QCOMPARE(got.isValid(), number.isValid());
        if (number.isValid())
            QCOMPARE(got.toDouble(), number.toDouble());
        // The headers are the model's, never cells.
        QCOMPARE(model.headerData(11, Qt::Horizontal).toString(), QStringLiteral("12"));
        QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("C"));
        QVERIFY(!model.headerData(12, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(8, Qt::Vertical).isValid());
    }

    void gridModelRangeSpansTheNumbersOnly()
    {
        OpticalDensityGridModel model(reader());
        double low = 0;
        double high = 0;
        QVERIFY(!model.numberRange(&low, &high));
        QByteArray table = data().tableReply();
        for (int row = 1; row <= 8; ++row)
            for (int column = 1; column <= 12; ++column)
                table.replace(1 + (row - 1) * 109 + (column - 1) * 9, 6, "OVER  ");
        table.replace(1, 6, "-1.500");
        table.replace(1 + 7 * 109 + 11 * 9, 6, "2.250 ");
        reader().handleTable(message(table));
        QVERIFY(model.numberRange(&low, &high));
        QCOMPARE(low, -1.5);
        QCOMPARE(high, 2.25);
    }

    void tableInPiecesShowsCountsAndIsParsedOnlyAtExactly873()
    {
        QStringList cellAtEachCount;
        connect(&rig->session.pane(), &MessagePane::textChanged, this, [&](const QString &t) {
            bool number = false;
            t.toInt(&number);
            if (number)
                cellAtEachCount.append(reader().table().value(1, 1).text);
        });
        QVERIFY(readTable());
        QCOMPARE(rig->port.written(), QByteArrayLiteral("G"));

        // Several pieces, counts rising, none of them 873, the grid untouched meanwhile.
        QStringList counts;
        for (const QString &t : rig->statusLog)
            if (t != QStringLiteral("Оптические плотности приняты"))
                counts.append(t);
        QVERIFY2(counts.size() >= 3, qPrintable(rig->statusLog.join('|')));
        int previous = 0;
        for (int i = 0; i < counts.size() - 1; ++i) {
            const int n = counts.at(i).toInt();
            QVERIFY2(n > previous && n < 873, qPrintable(rig->statusLog.join(QLatin1Char('|'))));
            previous = n;
            QCOMPARE(cellAtEachCount.at(i), QString());
        }
        QCOMPARE(counts.last(), QStringLiteral("873"));
        QCOMPARE(rig->statusLog.last(), QStringLiteral("Оптические плотности приняты"));
        QCOMPARE(rig->session.pane().progress(), 0);
        QCOMPARE(reader().table().value(1, 1).text, QString::fromLatin1(data().valueText(1, 1)));
        QVERIFY(!rig->session.dispatcher().collecting());
        QVERIFY(reader().state().tableEverReceived);
    }

    void progressIsTheCountInHundredthsOf873()
    {
        rig->instrument->setSilent(true); // the test answers the read
        reader().readTable();
        rig->settle();
        rig->instrument->sendRaw(markedTable().left(500));
        rig->settle();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("500"));
        QCOMPARE(rig->session.pane().progress(), 57);                // 500 * 100 / 873
        QCOMPARE(rig->session.dispatcher().collecting()->have, 500); // keeps collecting
        QVERIFY(reader().table().isEmpty());
    }

    void babbleBehindATableStartNeverPassesAFullBarNorBecomesATable()
    {
        // A "D" and babble far past the table's length, in pieces: the bar and the
        // count never pass the table's, and the babble is no table (the decoder
        // drops it once what follows the 873rd byte is no message).
        int highest = 0;
        connect(&rig->session.pane(), &MessagePane::progressChanged, this,
                [&](int percent) { highest = qMax(highest, percent); });
        rig->instrument->sendRaw("D");
        for (int i = 0; i < 40; ++i) {
            // (Not a byte that is a message of its own: "x" refuses a database page.)
            rig->instrument->sendRaw(QByteArray(100, 'z'));
            rig->settle(5);
        }
        rig->settle();
        QVERIFY(highest <= 100);
        QVERIFY(rig->session.pane().text().toInt() <= 873);
        QVERIFY(reader().table().isEmpty());
        QVERIFY(reader().opData().isEmpty());
        QVERIFY(!reader().state().tableEverReceived);
    }

    void cellsComeFromTheirPositionsAndTheRowEndsAreNeverShown()
    {
        const QByteArray table = markedTable();
        reader().handleTable(message(table));
        // Positions counted from 1: (1,1) is 2..7 and (12,8) is 864..869.
        const PlateTable &plate = reader().table();
        QCOMPARE(plate.value(1, 1).text, QString::fromLatin1(table.mid(1, 6)));
        QCOMPARE(plate.value(8, 12).text, QString::fromLatin1(table.mid(863, 6)));
        for (int r = 1; r <= 8; ++r)
            for (int c = 1; c <= 12; ++c) {
                const QString text = plate.value(r, c).text;
                QCOMPARE(text, QString::fromLatin1(table.mid(1 + (r - 1) * 109 + (c - 1) * 9, 6)));
                QVERIFY(!text.contains(QLatin1Char('~')));
            }
        // OPData: a blank, then characters 2..873 exactly as received.
        QCOMPARE(reader().opData(), QByteArray(" ") + table.mid(1));
    }

    void savedFileIsOpDataWhicheverFilterWasChosen()
    {
        QVERIFY(readTable());
        const QByteArray expected = " " + data().tableReply().mid(1);
        QCOMPARE(reader().opData(), expected);
        const QString xls = dataPath(QStringLiteral("VirDat_1.xls"));
        const QString txt = dataPath(QStringLiteral("VirDat_1.txt"));
        reader().saveChosen(xls);
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Данные записаны в файл."));
        reader().saveChosen(txt);
        QCOMPARE(readFile(xls), expected);
        QCOMPARE(readFile(txt), expected);
        QCOMPARE(readFile(xls).size(), 873);
        QCOMPARE(readFile(xls).at(0), ' ');
        // The save hands the file to the spreadsheet container without showing it.
        QCOMPARE(reader().handOff().heldFile(), txt);
        QVERIFY(!reader().handOff().shown());
    }

    void savingAfterANewReadStartedWritesNothingAndSaysSo()
    {
        QVERIFY(readTable());
        rig->instrument->setSilent(true);
        reader().readTable();
        rig->settle();
        QVERIFY(reader().state().tableEverReceived); // stays so while the new read runs
        const QString path = dataPath(QStringLiteral("empty.xls"));
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        reader().saveChosen(path);
        // An empty OPData is no table: no empty file, and the operator is told.
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(0).toString().contains(QStringLiteral("не записан")));
    }

    void automaticChainSavesEachMeasurementUnderTheInstrumentsName()
    {
        reader().setAutoRead(true);
        reader().setAutoSave(true);
        QSignalSpy saved(&reader(), &OpticalDensityReader::autoSaved);

        data().announceMeasurement(*rig->instrument);
        QVERIFY(rig->runUntil([&] { return saved.count() == 1; }));
        const QByteArray firstName = data().fileNameReply();
        QCOMPARE(firstName.size(), 19);
        QCOMPARE(rig->port.written(), QByteArrayLiteral("GD"));
        QCOMPARE(saved.at(0).at(0).toString(), dataPath(QString::fromLatin1(firstName)));
        QCOMPARE(readFile(dataPath(QString::fromLatin1(firstName))),
                 " " + data().tableReply().mid(1));
        QCOMPARE(rig->session.pane().text(),
                 QStringLiteral("Данные записаны в файл: ") + QString::fromLatin1(firstName));
        QVERIFY(rig->statusLog.contains(QStringLiteral("Оптические плотности измерены")));
        QVERIFY(!rig->session.dispatcher().collecting());

        // A second measurement: a second file, the first one untouched.
        const QByteArray firstTable = data().tableReply();
        data().announceMeasurement(*rig->instrument);
        QVERIFY(rig->runUntil([&] { return saved.count() == 2; }));
        const QByteArray secondName = data().fileNameReply();
        QVERIFY(secondName != firstName);
        QCOMPARE(readFile(dataPath(QString::fromLatin1(firstName))), " " + firstTable.mid(1));
        QCOMPARE(readFile(dataPath(QString::fromLatin1(secondName))),
                 " " + data().tableReply().mid(1));

        // A name equal to an existing file's overwrites it.
        data().setFileNameOverride(firstName);
        data().announceMeasurement(*rig->instrument);
        QVERIFY(rig->runUntil([&] { return saved.count() == 3; }));
        QCOMPARE(readFile(dataPath(QString::fromLatin1(firstName))),
                 " " + data().tableReply().mid(1));
    }

    void noticeWithoutAutomaticReadOnlyReports()
    {
        reader().setAutoSave(true);
        rig->instrument->sendRaw(QByteArrayLiteral("G"));
        rig->settle();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Оптические плотности измерены"));
        QCOMPARE(rig->port.written(), QByteArray());
        QVERIFY(reader().state().instrumentPresent);
    }

    void instrumentNameWithPathPartsLandsSafelyInTheDataFolder()
    {
        // 19 characters: climbing out, a separator, a control byte and a zero byte.
        const QByteArray hostile("2../../x/y\x01z\0ab.xls", 19);
        QCOMPARE(hostile.size(), 19);
        data().setFileNameOverride(hostile);
        reader().setAutoSave(true);
        QSignalSpy saved(&reader(), &OpticalDensityReader::autoSaved);
        QVERIFY(readTable());
        QVERIFY(rig->runUntil([&] { return saved.count() == 1; }));

        const QString path = saved.at(0).at(0).toString();
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(rig->dataDir.path()).absolutePath());
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(name.size(), 19);
        QVERIFY(!name.contains(QLatin1String("..")));
        QVERIFY(!name.contains(QLatin1Char('/')));
        for (const QChar c : name)
            QVERIFY(c.unicode() >= 0x20);
        // Everything else stays as the instrument sent it.
        QVERIFY(name.startsWith(QLatin1Char('2')));
        QVERIFY(name.endsWith(QLatin1String("ab.xls")));
        QCOMPARE(readFile(path), reader().opData());
        // Beside it only the service journal, which notes the save.
        QCOMPARE(
            QDir(rig->dataDir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
            QStringList({name, QStringLiteral("ServiceJournal.txt")}));
    }

    void fileNameReplyOfAnotherLengthWritesNothing()
    {
        // A whole table waits for its name, so a name of the right length would be written.
        QVERIFY(readTable());
        QVERIFY(!reader().opData().isEmpty());
        rig->instrument->sendRaw("2009_03_24_1430.xl");
        rig->settle();
        QCOMPARE(rig->session.dispatcher().collecting()->have, 18); // keeps collecting
        QCOMPARE(QDir(rig->dataDir.path()).entryList(QDir::Files), QStringList());
    }

    void failedWriteKeepsTheOldFileThePaneAndOpData()
    {
        QVERIFY(readTable());
        const QByteArray opData = reader().opData();
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);

        // A chosen path that is a folder.
        const QString folder = dataPath(QStringLiteral("chosen.xls"));
        QVERIFY(QDir().mkpath(folder));
        rig->session.pane().setText(QStringLiteral("before"));
        reader().saveChosen(folder);
        QCOMPARE(errors.count(), 1);
        QVERIFY(!errors.at(0).at(0).toString().isEmpty());
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(reader().opData(), opData);

        // The automatic save onto a name taken by a folder: reported, and the
        // reply is still used up so the next notice is understood.
        const QByteArray name = data().fileNameReply();
        QVERIFY(QDir().mkpath(dataPath(QString::fromLatin1(name))));
        reader().setAutoSave(true);
        QVERIFY(reader().readTable());
        QVERIFY(rig->runUntil([&] { return errors.count() == 2; }));
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Оптические плотности приняты"));
        QVERIFY(!rig->session.dispatcher().collecting());
        rig->instrument->sendRaw(QByteArrayLiteral("G"));
        rig->settle();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Оптические плотности измерены"));
    }

    void failedWriteIntoAReadOnlyFolderLeavesThePreviousFile()
    {
        QVERIFY(readTable());
        const QString folder = dataPath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = QDir(folder).filePath(QStringLiteral("old.xls"));
        QVERIFY(writeFile(path, "previous table"));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(QDir(folder).filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            QSKIP("this user writes into read-only folders");
        }
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        reader().saveChosen(path);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(readFile(path), QByteArrayLiteral("previous table"));
    }

    void handOffIsDroppedAtEveryTableRead()
    {
        RecordingOpener opener;
        QVERIFY(readTable());
        reader().openTableInSpreadsheet(opener);
        const QString temp = dataPath(QStringLiteral("TempBDTS.xls"));
        QCOMPARE(opener.opened, QStringList{temp});
        QCOMPARE(readFile(temp), reader().opData());
        QCOMPARE(reader().handOff().heldFile(), temp);
        QVERIFY(reader().handOff().shown());

        // Pressed twice: the same file written again, handed over again.
        reader().openTableInSpreadsheet(opener);
        QCOMPARE(opener.opened, (QStringList{temp, temp}));

        // A read by the operator drops it, before the table arrives.
        rig->instrument->setSilent(true);
        reader().readTable();
        rig->settle(); // the silent instrument has heard the request
        QCOMPARE(reader().handOff().heldFile(), QString());
        QVERIFY(!reader().handOff().shown());
        // Exporting now writes nothing and hands nothing over: there is no table.
        const QByteArray lastTable = readFile(temp);
        reader().openTableInSpreadsheet(opener);
        QCOMPARE(readFile(temp), lastTable);
        QCOMPARE(opener.opened, (QStringList{temp, temp}));
        QCOMPARE(reader().handOff().heldFile(), QString());
        // A file from the open dialog is held again.
        reader().fileToExcelChosen(temp, opener);
        // One exchange at a time: the unanswered read holds the line (notices
        // wait for it) until its silence gives it up.
        rig->settle(LineOwner::ReplySilenceMs);
        QVERIFY(!rig->session.line().busy());

        // The automatic read drops it too; a notice without it does not.
        rig->instrument->setSilent(false);
        rig->instrument->sendRaw(QByteArrayLiteral("G"));
        rig->settle();
        QCOMPARE(reader().handOff().heldFile(), temp);
        reader().setAutoRead(true);
        rig->instrument->sendRaw(QByteArrayLiteral("G"));
        rig->settle(5);
        QCOMPARE(reader().handOff().heldFile(), QString());
    }

    void exportThatCannotWriteItsFileLeavesTheSpreadsheetAlone()
    {
        RecordingOpener opener;
        QVERIFY(readTable());
        const QString saved = dataPath(QStringLiteral("VirDat_3.xls"));
        reader().saveChosen(saved);
        QVERIFY(QDir().mkpath(dataPath(QStringLiteral("TempBDTS.xls"))));
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        rig->session.pane().setText(QStringLiteral("before"));
        reader().openTableInSpreadsheet(opener);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(opener.opened, QStringList());
        QCOMPARE(reader().handOff().heldFile(), saved); // the previous object stays
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
    }

    void fileFromTheOpenDialogIsHandedOverWithTheSameBytes()
    {
        RecordingOpener opener;
        QVERIFY(readTable());
        const QString saved = dataPath(QStringLiteral("VirDat_2.xls"));
        reader().saveChosen(saved);
        reader().openTableInSpreadsheet(opener);
        reader().fileToExcelChosen(saved, opener);
        QCOMPARE(opener.opened.size(), 2);
        QCOMPARE(readFile(opener.opened.at(1)), readFile(opener.opened.at(0)));
        QCOMPARE(reader().handOff().heldFile(), saved);

        opener.refuse = true;
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);
        reader().fileToExcelChosen(saved, opener);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(reader().handOff().heldFile(), QString());
    }

    void desktopThatRefusesLateIsReportedAndOnlyItsOwnFileIsDropped()
    {
        RecordingOpener opener;
        QVERIFY(readTable());
        const QString temp = dataPath(QStringLiteral("TempBDTS.xls"));
        const QString saved = dataPath(QStringLiteral("VirDat_4.xls"));
        reader().saveChosen(saved);
        QSignalSpy errors(&reader(), &OpticalDensityReader::fileError);

        // The export is refused after the click returned: reported, nothing held.
        reader().openTableInSpreadsheet(opener);
        QVERIFY(reader().handOff().shown());
        QCOMPARE(opener.laterRefusals.size(), 1);
        opener.laterRefusals.at(0)(QStringLiteral("нет приложения"));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Не удалось открыть файл %1 в приложении для таблиц.\n"
                                "нет приложения")
                     .arg(QDir::toNativeSeparators(temp)));
        QVERIFY(!reader().handOff().shown());
        QCOMPARE(reader().handOff().heldFile(), QString());

        // A late refusal of an earlier file leaves the file shown since then alone.
        reader().openTableInSpreadsheet(opener);
        reader().fileToExcelChosen(saved, opener);
        QCOMPARE(opener.laterRefusals.size(), 3);
        opener.laterRefusals.at(1)(QStringLiteral("нет приложения"));
        QCOMPARE(errors.count(), 2);
        QVERIFY(reader().handOff().shown());
        QCOMPARE(reader().handOff().heldFile(), saved);
    }

    void readWithThePortClosedSendsNothing()
    {
        rig->port.close();
        reader().readTable();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Порт отключен."));
        QCOMPARE(rig->port.written(), QByteArray());
    }

    void instrumentPresenceFollowsTheLinkAndTheInstrumentsOwnWord()
    {
        QVERIFY(reader().state().instrumentPresent);
        rig->instrument->setPowered(false);
        rig->settle();
        QVERIFY(!reader().state().instrumentPresent);
        // A notice is the instrument's own word that it is there.
        reader().handleMeasured(message("G"));
        QVERIFY(reader().state().instrumentPresent);
        rig->instrument->setPowered(true);
        rig->settle();
        QVERIFY(reader().state().instrumentPresent);
    }

    void clearingTheGridKeepsTheTableForSaving()
    {
        OpticalDensityGridModel model(reader());
        QVERIFY(readTable());
        const QByteArray opData = reader().opData();
        QCOMPARE(model.index(0, 0).data().toString(), QString::fromLatin1(data().valueText(1, 1)));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.clear();
        QCOMPARE(changed.count(), 1);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 12; ++c) {
                QCOMPARE(model.index(r, c).data().toString(), QString());
                QVERIFY(!model.index(r, c).data(OpticalDensityGridModel::NumberRole).isValid());
            }
        QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("A"));
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("1"));
        QCOMPARE(reader().opData(), opData);
        QVERIFY(reader().state().tableEverReceived);
    }
};

QTEST_GUILESS_MAIN(tst_OpticalDensityReader)
#include "tst_OpticalDensityReader.moc"
