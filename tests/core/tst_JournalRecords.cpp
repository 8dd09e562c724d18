#include "FileFaults.h"

#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/DiskSync.h"
#include "journal/JournalFilter.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <ctime>
#include <unistd.h>

using namespace kalent;
using namespace kalent::test;

namespace {

// Whole journal lines of exactly `size` bytes (at least a line's worth).
QByteArray journalOf(int size)
{
    const QByteArray stamp = "2026-03-01T10:00:00.000Z\t";
    QByteArray out;
    for (char c = 'a'; size - out.size() > 2 * 200; c = c == 'z' ? 'a' : c + 1)
        out += stamp + QByteArray(200 - stamp.size() - 1, c) + '\n';
    out += stamp + QByteArray(size - out.size() - stamp.size() - 1, 'z') + '\n';
    return out;
}

} // namespace

// The service journal is stored a whole line at a time: a full disk or a size
// limit leaves it byte for byte as it was and says why; a line cut by an older
// crash is ended before the next; every writer syncs to the disk before it
// reports success.
class tst_JournalRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Far from UTC, so a stamp's "Z" read as local time is a day's worth off.
        qputenv("TZ", "Asia/Vladivostok");
        ::tzset();
    }

    void aLineIsStoredWholeOrNotAtAll_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("reason");
        // 50 bytes short of two pages of the small disk: a part of the next line
        // would fit.
        const QByteArray whole = journalOf(8192 - 50);
        QTest::newRow("size limit") << "limit" << whole << QStringLiteral("файл слишком велик");
        QTest::newRow("full disk") << "disk" << whole << QStringLiteral("нет места на диске");
        QTest::newRow("torn tail")
            << "none" << QByteArray(whole + "2026-03-01T10:00:01.000Z\tзап") << QString();
    }
    void aLineIsStoredWholeOrNotAtAll()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, before);
        QFETCH(QString, reason);
        QTemporaryDir plain;
        std::unique_ptr<SmallDisk> disk;
        QString folder = plain.path();
        if (fault == QLatin1String("disk")) {
            disk = std::make_unique<SmallDisk>(64 * 1024);
            if (!disk->mounted())
                disk.reset();
            if (!disk)
                QSKIP("mounting a small tmpfs needs root and CAP_SYS_ADMIN");
            folder = disk->path();
        }
        ServiceJournal journal{DataFolder(folder)};
        QVERIFY(writeFile(journal.path(), before));
        QSignalSpy failed(&journal, &ServiceJournal::appendFailed);
        // Longer than what the disk or the limit leaves: a part of it would fit.
        const QString event = QStringLiteral("запись БД ТС в прибор; ") + QString(300, u'ж');
        bool stored = false;
        if (fault == QLatin1String("limit")) {
            FileSizeLimit limit(before.size() + 100);
            stored = journal.append(event);
        } else {
            if (disk)
                QVERIFY(disk->fill());
            stored = journal.append(event);
        }
        const QByteArray after = readFile(journal.path());
        if (!reason.isEmpty()) {
            QVERIFY(!stored);
            QCOMPARE(failed.count(), 1);
            const QString message = failed.first().first().toString();
            QVERIFY2(message.endsWith(reason), qPrintable(message));
            QVERIFY2(!message.contains(QStringLiteral("Неизвестная")), qPrintable(message));
            QCOMPARE(after, before);
            return;
        }
        // The torn line is ended; the new one is a line of its own, read as one.
        QVERIFY(stored);
        QVERIFY(after.startsWith(before + '\n'));
        QVERIFY(after.endsWith(event.toUtf8() + '\n'));
        QCOMPARE(after.count('\n'), before.count('\n') + 2);
        const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-60);
        QVERIFY(ServiceJournal::linesSince(after, since).endsWith(event.toUtf8() + '\n'));
    }

    void everyWriterSyncsToTheDiskBeforeItReports_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::newRow("file writer") << "file";
        QTest::newRow("file writer, name not UTF-8") << "raw";
        QTest::newRow("journal") << "journal";
    }
    void everyWriterSyncsToTheDiskBeforeItReports()
    {
        QFETCH(QString, writer);
        QTemporaryDir dir;
        const quint64 before = DiskSync::callCount();
        if (writer == QLatin1String("journal")) {
            ServiceJournal journal{DataFolder(dir.path())};
            QVERIFY(journal.append(QStringLiteral("событие")));
        } else {
            const QString name = writer == QLatin1String("raw")
                                     ? dir.filePath(QString(QChar(0xDCFF)) + QStringLiteral(".bdt"))
                                     : dir.filePath(QStringLiteral("out.bdt"));
            QCOMPARE(AtomicFile::write(name, "bytes"), QString());
            QFile::remove(name);
            ::unlink((QFile::encodeName(dir.path()) + "/\xff.bdt").constData());
        }
        QCOMPARE(DiskSync::callCount(), before + 1);
    }

    void sinceTakesTheJournalsOwnStamps_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<QByteArray>("kept");
        // Two events a millisecond apart, as the journal stamps them.
        QTest::newRow("a stamp copied from a line")
            << "2026-05-14T09:30:02.118Z" << QByteArray("B");
        QTest::newRow("one millisecond earlier") << "2026-05-14T09:30:02.117Z" << QByteArray("AB");
        // ".12" is 120 ms, not 12.
        QTest::newRow("a fraction of a second") << "2026-05-14T09:30:02.12Z" << QByteArray("");
        QTest::newRow("seconds in UTC") << "2026-05-14T09:30:03Z" << QByteArray("");
        // 19:30 in Vladivostok is 09:30 UTC.
        QTest::newRow("local time") << "2026-05-14T19:30:02" << QByteArray("AB");
        QTest::newRow("local date, the day before in UTC") << "2026-05-15" << QByteArray("");
    }
    void sinceTakesTheJournalsOwnStamps()
    {
        QFETCH(QString, since);
        QFETCH(QByteArray, kept);
        const QByteArray text = "2026-05-14T09:30:02.117Z\tA\n"
                                "2026-05-14T09:30:02.118Z\tB\n";
        const QDateTime from = JournalFilter::parseSince(since);
        QVERIFY2(from.isValid(), qPrintable(since));
        QByteArray events;
        for (const QByteArray &line : ServiceJournal::linesSince(text, from).split('\n'))
            if (!line.isEmpty())
                events += line.back();
        QCOMPARE(events, kept);
    }

    void aLongLineWithoutATabPassesWithoutBeingHeld()
    {
        // Only the start of a line is held while its stamp is read: a line with
        // no tab is known to have no time after the longest stamp and goes on.
        QByteArray passed;
        JournalFilter filter(QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()),
                             [&](const char *data, qint64 size) { passed.append(data, size); });
        const QByteArray line(100000, 'x');
        filter.feed(line.constData(), line.size());
        QCOMPARE(passed, line);
        filter.finish();
        QCOMPARE(passed, line + '\n');
    }
};

QTEST_GUILESS_MAIN(tst_JournalRecords)
#include "tst_JournalRecords.moc"
