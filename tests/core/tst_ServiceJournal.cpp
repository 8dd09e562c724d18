#include "TestSupport.h"

#include "DatabaseCommands.h"
#include "database/DatabasePage.h"
#include "journal/ServiceJournal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace kalent;
using namespace kalent::test;

namespace {

QList<QByteArray> journalLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

} // namespace

class tst_ServiceJournal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyEventIsOneStampedLineAddedBehindTheOthers()
    {
        QTemporaryDir dir;
        ServiceJournal journal{DataFolder(dir.path())};
        QCOMPARE(journal.path(), QDir(dir.path()).filePath(QStringLiteral("ServiceJournal.txt")));
        QVERIFY(journal.append(QStringLiteral("первое")));
        // An event text never breaks the one-line-per-event rule.
        QVERIFY(journal.append(QStringLiteral("второе\nс переводом строки")));
        ServiceJournal again{DataFolder(dir.path())};
        QVERIFY(again.append(QStringLiteral("третье")));
        const QList<QByteArray> lines = journalLines(journal.path());
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.last().isEmpty());
        QVERIFY(lines.at(0).endsWith("\tпервое"));
        QVERIFY(lines.at(1).endsWith(QStringLiteral("\tвторое с переводом строки").toUtf8()));
        QVERIFY(lines.at(2).endsWith(QStringLiteral("\tтретье").toUtf8()));
        for (int i = 0; i < 3; ++i)
            QVERIFY(
                QDateTime::fromString(QString::fromLatin1(lines.at(i).left(24)), Qt::ISODateWithMs)
                    .isValid());
    }

    void aFailedAppendIsSaidAndLeavesEarlierLinesAlone()
    {
        QTemporaryDir dir;
        ServiceJournal journal{DataFolder(dir.path())};
        QVERIFY(journal.append(QStringLiteral("до сбоя")));
        const QByteArray before = [&] {
            QFile f(journal.path());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        // The journal's name taken by a folder: no append can succeed.
        const QString moved = journal.path() + QStringLiteral(".kept");
        QVERIFY(QFile::rename(journal.path(), moved));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ServiceJournal.txt")));
        QSignalSpy failed(&journal, &ServiceJournal::appendFailed);
        QVERIFY(!journal.append(QStringLiteral("не записано")));
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.first().first().toString().contains(QStringLiteral("служебный журнал")));
        QFile kept(moved);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);
#ifdef Q_OS_UNIX
        // A FIFO in its place is refused at once instead of blocking the program.
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("ServiceJournal.txt")));
        QCOMPARE(::mkfifo(QFile::encodeName(journal.path()).constData(), 0600), 0);
        QVERIFY(!journal.append(QStringLiteral("не записано")));
        QCOMPARE(failed.count(), 2);
#endif
    }

    void sinceKeepsLaterLinesAndLinesWithoutATime()
    {
        const QByteArray text = "2026-03-01T10:00:00.000Z\tстарое\n"
                                "2026-03-02T10:00:00.000Z\tновое\n"
                                "обрывок без времени\n"
                                "2026-03-03T00:00:00.000Z\tещё новее\n";
        const QDateTime since =
            QDateTime::fromString(QStringLiteral("2026-03-02T00:00:00Z"), Qt::ISODate);
        const QByteArray shown = ServiceJournal::linesSince(text, since);
        QVERIFY(!shown.contains("старое"));
        QVERIFY(shown.contains("новое\n"));
        QVERIFY(shown.contains("обрывок"));
        QVERIFY(shown.contains("ещё новее"));
        QCOMPARE(ServiceJournal::linesSince(text, QDateTime()), text);
    }

    void aDatabaseWriteLeavesItsStartAndItsEndInTheJournal()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        DatabasePage &page = rig.session.databasePage();
        const QString source = testDataPath(QStringLiteral("database/mixed.bdt"));
        QVERIFY(page.openDialogAccepted(source));
        page.WriteDatabaseToDevice(DatabasePage::Which::FileList);
        QVERIFY(rig.runUntil([&] { return page.writesCompleted() == 1; }, 60000));

        // The fingerprint is that of the image the instrument now holds.
        const QByteArray sha =
            QCryptographicHash::hash(rig.instrument->feature<DatabaseCommands>()->image(),
                                     QCryptographicHash::Sha256)
                .toHex();
        const QList<QByteArray> lines = journalLines(rig.session.journal().path());
        QByteArrayList writes;
        for (const QByteArray &l : lines)
            if (l.contains(QStringLiteral("запись БД ТС в прибор").toUtf8()))
                writes.append(l);
        QCOMPARE(writes.size(), 2);
        for (const QByteArray &l : writes) {
            QVERIFY(l.contains(QDir::toNativeSeparators(source).toUtf8()));
            QVERIFY(l.contains(QStringLiteral("страниц: 9").toUtf8()));
            QVERIFY(l.contains("sha256 " + sha));
        }
        QVERIFY(writes.at(0).endsWith(QStringLiteral("итог: начата").toUtf8()));
        QVERIFY(writes.at(1).endsWith(QStringLiteral("итог: прибор принял все страницы").toUtf8()));
    }

    void theLinkLostAndRegainedAreEvents()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.instrument->setPowered(false);
        rig.settle(200);
        rig.instrument->setPowered(true);
        rig.settle(200);
        const QList<QByteArray> lines = journalLines(rig.session.journal().path());
        QCOMPARE(lines.size(), 3);
        QVERIFY(
            lines.at(0).contains(QStringLiteral("связь с прибором потеряна; порт: sim").toUtf8()));
        QVERIFY(lines.at(1).contains(
            QStringLiteral("связь с прибором восстановлена; порт: sim").toUtf8()));
    }
};

QTEST_GUILESS_MAIN(tst_ServiceJournal)
#include "tst_ServiceJournal.moc"
