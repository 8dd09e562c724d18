#include "TestSupport.h"

#include "MeasurementData.h"
#include "journal/ServiceJournal.h"
#include "link/Connection.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"
#include "store/ReadingStore.h"
#include "store/SessionReadings.h"
#include "watch/UnsavedReadings.h"
#include "watch/WatchService.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

struct WatchRig
{
    SimRig rig;
    MeasurementData *data = rig.instrument->feature<MeasurementData>();
    WatchService watch{rig.session, QStringLiteral("sim")};
    QStringList saved;
    // What the instrument heard, in order: the program's commands.
    QByteArray heard;
    int opens = 0;

    WatchRig()
    {
        QObject::connect(&watch, &WatchService::saved,
                         [this](const QString &path) { saved.append(path); });
        QObject::connect(rig.instrument.get(), &VirtualInstrument::heard,
                         [this](const QByteArray &bytes, int) { heard += bytes; });
    }
    bool following()
    {
        return rig.runUntil([this] { return watch.state() == WatchService::State::Following; },
                            30000);
    }
    bool savedCount(int n)
    {
        return rig.runUntil([this, n] { return saved.size() >= n; }, 30000);
    }
    QByteArray file(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

class tst_WatchService : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachNoticeIsSavedOnceUnderItsOwnName()
    {
        WatchRig w;
        w.watch.start();
        QVERIFY(w.following());
        for (int i = 0; i < 3; ++i) {
            w.data->announceMeasurement(*w.rig.instrument);
            QVERIFY(w.savedCount(2 * i + 1));
            const QString table = w.saved.last();
            QCOMPARE(QFileInfo(table).fileName(), QString::fromLatin1(w.data->fileNameReply()));
            QByteArray expected = w.data->tableReply();
            expected[0] = ' ';
            QCOMPARE(w.file(table), expected);

            w.data->announceResults(*w.rig.instrument);
            QVERIFY(w.savedCount(2 * i + 2));
            QVERIFY2(w.saved.last().contains(QStringLiteral("Pr №")), qPrintable(w.saved.last()));
            QCOMPARE(w.file(w.saved.last()), w.data->protocolText());
        }
        w.rig.settle(2000);
        QCOMPARE(w.saved.size(), 6);
        QCOMPARE(QSet<QString>(w.saved.begin(), w.saved.end()).size(), 6);
    }

    void contactBeginsWithOneProbeAt115200_data()
    {
        QTest::addColumn<int>("instrumentBaud");
        QTest::addColumn<bool>("searched");
        // Where the program left the instrument: the probe alone finds it.
        QTest::newRow("115200") << 115200 << false;
        // Anywhere else: the unanswered probe, then the search and the change.
        QTest::newRow("9600") << 9600 << true;
        QTest::newRow("4800") << 4800 << true;
    }

    void contactBeginsWithOneProbeAt115200()
    {
        QFETCH(int, instrumentBaud);
        QFETCH(bool, searched);
        WatchRig w;
        w.rig.instrument->setBaud(instrumentBaud);
        QList<int> lineBauds;
        QObject::connect(w.rig.instrument.get(), &VirtualInstrument::heard,
                         [&](const QByteArray &, int lineBaud) { lineBauds.append(lineBaud); });
        QSignalSpy searchStarted(&w.rig.link(), &Connection::searchStarted);
        w.watch.start();
        QVERIFY(w.following());
        QCOMPARE(w.rig.instrument->baud(), 115200);
        QVERIFY(!lineBauds.isEmpty());
        QCOMPARE(lineBauds.first(), 115200);
        QCOMPARE(searchStarted.count() > 0, searched);
        if (!searched) {
            QCOMPARE(w.heard, QByteArray("B"));
        } else {
            QVERIFY(w.heard.contains('b'));
            QVERIFY(lineBauds.contains(instrumentBaud));
        }
        // Following either way: a notice is read and saved.
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.savedCount(1));
    }

    void aNoticeDuringAReadWaitsForItsTurn()
    {
        WatchRig w;
        w.watch.start();
        QVERIFY(w.following());
        // The table comes late; the results notice arrives while it is awaited.
        w.rig.instrument->setReplyDelayMs(300);
        w.heard.clear();
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.rig.runUntil([&] { return w.heard.contains('G'); }, 1000));
        w.rig.clock.advance(100);
        w.data->announceResults(*w.rig.instrument);
        w.rig.clock.advance(50);
        QCOMPARE(w.watch.state(), WatchService::State::Reading);
        // The table's read runs; the notice waits with the line's owner.
        QCOMPARE(w.rig.session.line().queuedNotices(), 1);
        QVERIFY(!w.heard.contains('g'));
        QVERIFY(w.savedCount(2));
        // The protocol was asked for only after the table and its name.
        QCOMPARE(w.heard, QByteArray("GDgd"));
        QVERIFY(w.saved.first().endsWith(QStringLiteral(".xls")));
    }

    void aSlowReplyThatKeepsComingIsReadToItsEnd()
    {
        // A long protocol behind slow answers: far more than ten seconds in all,
        // never ten seconds of silence. The line's owner lets it finish, and so
        // does the service: one request, one file, nothing said of a failure.
        WatchRig w;
        QSignalSpy messages(&w.watch, &WatchService::message);
        w.watch.start();
        QVERIFY(w.following());
        QByteArray text = w.data->protocolText();
        text += QByteArray(90000 - text.size(), ' '); // 7.8 s on the line at 115200
        w.data->setProtocolTextOverride(text);
        w.rig.instrument->setReplyDelayMs(4000);
        w.heard.clear();
        w.data->announceResults(*w.rig.instrument);
        QVERIFY(w.savedCount(1));
        QCOMPARE(w.heard, QByteArray("gd"));
        QCOMPARE(w.file(w.saved.first()), text);
        for (const QList<QVariant> &message : std::as_const(messages))
            QVERIFY2(!message.first().toString().contains(QStringLiteral("не ответил")),
                     qPrintable(message.first().toString()));
    }

    void aVanishedInstrumentIsSoughtWithGrowingPausesAndFollowedOnItsReturn()
    {
        WatchRig w;
        QStringList messages;
        QObject::connect(&w.watch, &WatchService::message,
                         [&](const QString &m) { messages.append(m); });
        w.watch.start();
        QVERIFY(w.following());
        w.rig.instrument->setPowered(false);
        w.rig.settle(100);
        QCOMPARE(w.watch.state(), WatchService::State::WaitingToRetry);
        // A minute without the instrument: a handful of attempts, never a spin.
        const int before = messages.size();
        w.rig.clock.advance(60000);
        const int attempts = static_cast<int>(messages.size()) - before;
        QVERIFY2(attempts >= 3 && attempts <= 7, qPrintable(QString::number(attempts)));
        QCOMPARE(w.watch.nextRetryMs(), WatchService::LongestRetryMs);

        w.rig.instrument->setPowered(true);
        QVERIFY(w.rig.runUntil([&] { return w.watch.state() == WatchService::State::Following; },
                               40000));
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.savedCount(1));
        QCOMPARE(w.watch.nextRetryMs(), WatchService::FirstRetryMs);
    }

    void aReadCutByTheLinkIsDoneAgainWhenItReturns()
    {
        WatchRig w;
        w.watch.start();
        QVERIFY(w.following());
        w.rig.instrument->setReplyDelayMs(300);
        w.data->announceMeasurement(*w.rig.instrument);
        w.rig.clock.advance(100);
        w.rig.instrument->setPowered(false);
        w.rig.clock.advance(500);
        QVERIFY(w.saved.isEmpty());
        w.rig.instrument->setReplyDelayMs(0);
        w.rig.instrument->setPowered(true);
        QVERIFY(w.savedCount(1));
        w.rig.settle(3000);
        QCOMPARE(w.saved.size(), 1);
    }

    void aNoticeOfTheKindBeingReadIsReadAgainAfterIt()
    {
        // The instrument measured again (twice) while its last table was being
        // read: it keeps one table, the newest, read once after the first.
        WatchRig w;
        w.watch.start();
        QVERIFY(w.following());
        w.rig.instrument->setReplyDelayMs(300);
        w.heard.clear();
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.rig.runUntil([&] { return w.heard.contains('G'); }, 1000));
        w.rig.clock.advance(100);
        QCOMPARE(w.watch.state(), WatchService::State::Reading);
        w.data->announceMeasurement(*w.rig.instrument);
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.savedCount(2));
        w.rig.settle(3000);
        QCOMPARE(w.heard, QByteArray("GDGD"));
    }

    void aReadLeftUnansweredIsTriedThreeTimesInAll()
    {
        WatchRig w;
        QStringList messages;
        QObject::connect(&w.watch, &WatchService::message,
                         [&](const QString &m) { messages.append(m); });
        w.watch.start();
        QVERIFY(w.following());
        // Still answers the contact probe, but every read it is asked for stays unanswered.
        w.rig.instrument->setDataReplyFault(VirtualInstrument::DataReplyFault::Withheld);
        w.heard.clear();
        w.data->announceMeasurement(*w.rig.instrument);
        const QString givenUp =
            QStringLiteral("Таблица оптических плотностей не прочитана: прибор не ответил");
        QVERIFY(w.rig.runUntil([&] { return messages.contains(givenUp); }, 120000));
        w.rig.clock.advance(60000);
        QCOMPARE(w.heard.count('G'), WatchService::ReadAttempts);
        QCOMPARE(WatchService::ReadAttempts, 3);
        QCOMPARE(messages.count(givenUp), 1);
        QCOMPARE(w.watch.state(), WatchService::State::Following);
        w.rig.instrument->setExclusiveFeature(nullptr);
    }

    void aLostLinkFreesTheLineAtOnce()
    {
        WatchRig w;
        w.watch.start();
        QVERIFY(w.following());
        w.rig.instrument->setReplyDelayMs(300);
        w.data->announceMeasurement(*w.rig.instrument);
        w.rig.clock.advance(100);
        QCOMPARE(w.rig.session.line().job(), LineJob::Table);
        // When the service says the link is gone, the read has given the line up.
        QList<bool> busyWhenSaid;
        QObject::connect(&w.watch, &WatchService::message,
                         [&] { busyWhenSaid.append(w.rig.session.line().busy()); });
        w.rig.instrument->setPowered(false);
        w.rig.clock.advance(100);
        QCOMPARE(w.watch.state(), WatchService::State::WaitingToRetry);
        QCOMPARE(busyWhenSaid, QList<bool>{false});
    }

    void anEmptyProtocolIsTakenAsSuchAndNotReadAgain_data()
    {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QByteArray>("asked");
        QTest::addColumn<QString>("said");
        QTest::newRow("length 0") << QList<QByteArray>{"N00000"} << QByteArray("g")
                                  << QStringLiteral("Прибор сообщил, что протокола нет.");
        QTest::newRow("no text") << QList<QByteArray>{"N00002", "d\r"} << QByteArray("gd")
                                 << QStringLiteral(
                                        "Прибор прислал пустой протокол: файлы не записаны.");
    }

    void anEmptyProtocolIsTakenAsSuchAndNotReadAgain()
    {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, asked);
        QFETCH(QString, said);
        WatchRig w;
        QStringList messages;
        QObject::connect(&w.watch, &WatchService::message,
                         [&](const QString &m) { messages.append(m); });
        w.watch.start();
        QVERIFY(w.following());
        w.rig.instrument->setSilent(true); // the test answers for it
        w.rig.port.clearWritten();
        messages.clear();
        w.rig.instrument->sendRaw("g");
        for (const QByteArray &answer : answers) {
            w.rig.settle();
            w.rig.instrument->sendRaw(answer);
        }
        w.rig.settle();
        QCOMPARE(messages, QStringList{said});
        QCOMPARE(w.watch.state(), WatchService::State::Following);
        QVERIFY(!w.rig.session.line().busy());
        // Nothing is asked again, and nothing is said of a silence.
        w.rig.clock.advance(30000);
        QCOMPARE(w.rig.port.written(), asked);
        QCOMPARE(messages, QStringList{said});
        QVERIFY(w.saved.isEmpty());
    }

    // A reading whose file cannot be written (a folder in its place) is kept and
    // written again once it can; one still unwritable at the end is lost, and
    // each step is journalled with the file and what it held.
    void aReadingThatCannotBeSavedIsKeptRetriedAndItsLossJournalled()
    {
        WatchRig w;
        UnsavedReadings unsaved(w.rig.clock, w.rig.session.journal());
        QObject::connect(&w.rig.session.reader(), &OpticalDensityReader::autoSaveFailed, &unsaved,
                         &UnsavedReadings::keep);
        QObject::connect(&w.rig.session.results(), &ResultsProtocol::autoSaveFailed, &unsaved,
                         &UnsavedReadings::keep);
        QObject::connect(&unsaved, &UnsavedReadings::saved,
                         [&w](const QString &path) { w.saved.append(path); });
        QString error;
        // A build without Qt SQL has no store: the files and the journal are checked alone.
        const auto readings = SessionReadings::attach(w.rig.session, {}, &error);
        QVERIFY2(readings || !ReadingStore::availableInThisBuild(), qPrintable(error));
        if (readings)
            QObject::connect(&unsaved, &UnsavedReadings::saved, &readings->recorder(),
                             &ReadingRecorder::fileWrittenLater);
        const QDir data(w.rig.dataDir.path());
        const QString table = QStringLiteral("20990101_000000.xls");
        w.data->setFileNameOverride(table.toLatin1());
        QVERIFY(data.mkdir(table));
        w.watch.start();
        QVERIFY(w.following());
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.rig.runUntil([&] { return unsaved.kept() == 1; }, 30000));
        w.rig.settle(UnsavedReadings::RetryMs + 100);
        QCOMPARE(unsaved.kept(), 1); // still a folder there
        QVERIFY(data.rmdir(table));
        QVERIFY(w.savedCount(1));
        QByteArray expected = w.data->tableReply();
        expected[0] = ' ';
        QCOMPARE(w.file(data.filePath(table)), expected);
        // Stored when it came, without a file; its record now names the file.
        if (readings) {
            QVERIFY(readings->keeper().waitForWrites(60000));
            QVector<Reading> stored;
            QCOMPARE(ReadingStore(readings->location()).find({}, &stored), QString());
            QCOMPARE(stored.size(), 1);
            QCOMPARE(stored.first().files, QStringList{data.filePath(table)});
        }
        // Lost for good: the file's place is taken again until the end.
        QVERIFY(QFile::remove(data.filePath(table)) && data.mkdir(table));
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(w.rig.runUntil([&] { return unsaved.kept() == 1; }, 30000));
        QCOMPARE(unsaved.finish(), 1);
        QByteArray lostBytes = w.data->tableReply();
        lostBytes[0] = ' ';
        const QString journal = QString::fromUtf8(w.file(w.rig.session.journal().path()));
        const auto what = [&](const QByteArray &bytes) {
            return QStringLiteral("; файл: %1; байт: 873; %2")
                .arg(QDir::toNativeSeparators(data.filePath(table)),
                     ServiceJournal::fingerprint(bytes));
        };
        QVERIFY(journal.contains(QStringLiteral("автоматическое сохранение не удалось, данные "
                                                "сохранены в памяти и будут записаны повторно") +
                                 what(expected)));
        QVERIFY(journal.contains(QStringLiteral("автоматическое сохранение выполнено повторно") +
                                 what(expected)));
        QVERIFY(journal.contains(QStringLiteral("данные потеряны: не записаны") + what(lostBytes)));
    }

    void stoppingLetsTheReadUnderWayWriteItsFile()
    {
        WatchRig w;
        QSignalSpy stopped(&w.watch, &WatchService::stopped);
        w.watch.start();
        QVERIFY(w.following());
        w.data->announceMeasurement(*w.rig.instrument);
        QVERIFY(
            w.rig.runUntil([&] { return w.watch.state() == WatchService::State::Reading; }, 1000));
        w.watch.stop();
        QCOMPARE(stopped.count(), 0);
        QVERIFY(w.savedCount(1));
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(w.watch.state(), WatchService::State::Stopped);
        // Nothing more is read after the stop.
        w.data->announceResults(*w.rig.instrument);
        w.rig.settle(2000);
        QCOMPARE(w.saved.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_WatchService)
#include "tst_WatchService.moc"
