#include "FileFaults.h"

#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/Cp1251.h"
#include "common/DataFolder.h"
#include "common/FileKind.h"
#include "common/LocalFileName.h"
#include "common/SystemErrorText.h"
#include "database/DatabaseBackup.h"
#include "measurement/ProtocolFileName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kalent;
using namespace kalent::test;

namespace {

// A protocol whose heading at offset 92 reads "<number> от <date>  14:30".
QByteArray protocolWith(const QString &number, const QString &date = QStringLiteral("24.03.09"))
{
    return QByteArray(92, 'x') +
           Cp1251::encode(number + QStringLiteral(" от ") + date + QStringLiteral("  14:30")) +
           "\r\n" + Cp1251::encode(QStringLiteral("Лунка    ОП      Результат\r\n"));
}

bool existsRaw(const QByteArray &path)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0;
}

// The names in a folder as the system lists them (Qt skips what is not UTF-8).
QList<QByteArray> namesIn(const QString &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
    }
    return names;
}

} // namespace

// The names files are saved and read under: a protocol's automatic name keeps
// its number and date and never replaces another protocol; a name that is not
// UTF-8 reaches the file system byte for byte; a loop of links is refused.
class tst_RecordNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void protocolNamesKeepNumberAndDate_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("complete");
        QTest::newRow("the instrument's layout") << protocolWith(QStringLiteral("   12"))
                                                 << QStringLiteral("2009_03_24 Pr №   12") << true;
        QTest::newRow("eight digits fill the window")
            << protocolWith(QStringLiteral("12345678")) << QStringLiteral("2009_03_24 Pr №12345678")
            << true;
        QTest::newRow("nine digits push the year out")
            << protocolWith(QStringLiteral("123456789"))
            << QStringLiteral("2009_03_24 Pr №123456789") << true;
        QTest::newRow("twenty digits push out \" от\"")
            << protocolWith(QStringLiteral("12345678901234567890"))
            << QStringLiteral("2009_03_24 Pr №12345678901234567890") << true;
        QTest::newRow("no date") << protocolWith(QStringLiteral("12"), QStringLiteral("--"))
                                 << QStringLiteral("Pr №12") << false;
        QTest::newRow("no heading") << QByteArray(200, 'x') << QStringLiteral("Pr №") << false;
        QTest::newRow("short text") << QByteArray("d") << QStringLiteral("Pr №") << false;
    }
    void protocolNamesKeepNumberAndDate()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        QFETCH(bool, complete);
        QCOMPARE(ProtocolFileName::build(text), name);
        QCOMPARE(ProtocolFileName::complete(text), complete);
    }

    void anIncompleteNameNeverReplacesAnotherProtocol()
    {
        QTemporaryDir dir;
        // The same number and date is the same protocol: its file is replaced.
        const QByteArray dated = protocolWith(QStringLiteral("7"));
        const QString datedPath = dir.filePath(QStringLiteral("2009_03_24 Pr №7"));
        QVERIFY(writeFile(datedPath, "old"));
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), dated), datedPath);

        // Without its date the name could be another protocol's: a suffix.
        const QByteArray undated = QByteArray(200, 'x');
        const QString first = dir.filePath(QStringLiteral("Pr №"));
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), undated), first);
        QVERIFY(writeFile(first, "1"));
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), undated), first + QStringLiteral(" (2)"));
        QVERIFY(QFile::link(QStringLiteral("nowhere"), first + QStringLiteral(" (2)")));
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), undated), first + QStringLiteral(" (3)"));
        for (int n = 3; n <= 998; ++n)
            QVERIFY(writeFile(first + QStringLiteral(" (%1)").arg(n), "n"));
        // The last name there is, then none.
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), undated), first + QStringLiteral(" (999)"));
        QVERIFY(writeFile(first + QStringLiteral(" (999)"), "n"));
        QCOMPARE(ProtocolFileName::pathIn(dir.path(), undated), QString());
    }

    void namesThatAreNotUtf8SurviveBothWays_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII") << QByteArray("plate.bdt");
        QTest::newRow("Cyrillic in UTF-8") << QStringLiteral("база.bdt").toUtf8();
        QTest::newRow("a lone byte") << QByteArray("o\xff.bdt");
        QTest::newRow("windows-1251") << QByteArray("\xe1\xe0\xe7\xe0.bdt");
        QTest::newRow("a cut sequence at the end") << QByteArray("a\xd0");
        QTest::newRow("an overlong slash") << QByteArray("a\xc0\xaf");
        QTest::newRow("an encoded surrogate") << QByteArray("a\xed\xa0\x80z");
    }
    void namesThatAreNotUtf8SurviveBothWays()
    {
        QFETCH(QByteArray, bytes);
        const QString name = LocalFileName::decode(bytes);
        QCOMPARE(LocalFileName::encode(name), bytes);
        const bool utf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
        QCOMPARE(LocalFileName::hasRawBytes(name), !utf8);
        if (utf8)
            QCOMPARE(name, QString::fromUtf8(bytes));

        // Written, read back and checked under exactly those bytes.
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QCOMPARE(AtomicFile::write(path, "whole"), QString());
        QVERIFY(existsRaw(QFile::encodeName(dir.path()) + '/' + bytes));
        QCOMPARE(namesIn(dir.path()), QList<QByteArray>{bytes});
        QByteArray back;
        QCOMPARE(BoundedFile::read(path, 100, &back), QString());
        QCOMPARE(back, QByteArray("whole"));
        QCOMPARE(AtomicFile::write(path, "again"), QString());
        QCOMPARE(BoundedFile::read(path, 100, &back), QString());
        QCOMPARE(back, QByteArray("again"));
        QCOMPARE(namesIn(dir.path()), QList<QByteArray>{bytes});
        QVERIFY(::unlink((QFile::encodeName(dir.path()) + '/' + bytes).constData()) == 0);
        QVERIFY(::mkfifo((QFile::encodeName(dir.path()) + '/' + bytes).constData(), 0600) == 0);
        QCOMPARE(FileKind::refusal(path), SystemErrorText::notRegularFile());
        QVERIFY(!AtomicFile::write(path, "no").isEmpty());
        QCOMPARE(namesIn(dir.path()), QList<QByteArray>{bytes});
        ::unlink((QFile::encodeName(dir.path()) + '/' + bytes).constData());
    }

    void aLoopOfLinksIsRefusedInRussian()
    {
        QTemporaryDir dir;
        const QString loop = dir.filePath(QStringLiteral("loop.bdt"));
        QVERIFY(QFile::link(loop, loop));
        const QString written = AtomicFile::write(loop, "bytes");
        QVERIFY2(written.endsWith(SystemErrorText::fromErrno(ELOOP)), qPrintable(written));
        QCOMPARE(kindOf(loop), 'l');
        QByteArray bytes;
        const QString read = BoundedFile::read(loop, 100, &bytes);
        QVERIFY2(read.endsWith(SystemErrorText::fromErrno(ELOOP)), qPrintable(read));
        // The system's own English text, as QFile passes it on under LANG=C.
        QCOMPARE(SystemErrorText::translate(QStringLiteral("Too many levels of symbolic links")),
                 SystemErrorText::fromErrno(ELOOP));
        QVERIFY(!SystemErrorText::fromErrno(ELOOP).contains(QLatin1String("symbolic")));
    }

    void aBackupFolderThatCannotBeMadeSaysWhy()
    {
        // The data folder's place taken by a file: no backups folder can be made
        // under it, and the system's reason is said.
        QTemporaryDir dir;
        const QString notAFolder = dir.filePath(QStringLiteral("data"));
        QVERIFY(writeFile(notAFolder, "file"));
        const DatabaseBackup::Saved saved =
            DatabaseBackup::save(DataFolder(notAFolder), QDateTime::currentDateTime(), "image");
        QVERIFY(saved.path.isEmpty());
        QVERIFY2(saved.error.endsWith(SystemErrorText::fromErrno(ENOTDIR) + QLatin1Char('.')),
                 qPrintable(saved.error));
    }
};

QTEST_GUILESS_MAIN(tst_RecordNames)
#include "tst_RecordNames.moc"
