#include "FileFaults.h"
#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/QtTranslations.h"
#include "common/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace kalent;
using namespace kalent::test;

namespace {

bool hasCyrillic(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x0410 && c.unicode() <= 0x044F)
            return true;
    return false;
}

// Bytes that differ at every position from what a test writes over them.
QByteArray precious(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

} // namespace

// The one writer and the bounded reader against real faults of the file system.
class tst_FileSafety : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void cleanup()
    {
        for (const QString &name : entries())
            QFile::remove(path(name));
    }

    void systemErrorsReadInRussian_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("russian");
        QTest::newRow("not found") << ENOENT << QStringLiteral("нет такого файла или папки");
        QTest::newRow("no permission") << EACCES << QStringLiteral("нет прав доступа");
        QTest::newRow("no space") << ENOSPC << QStringLiteral("нет места на диске");
        QTest::newRow("read-only") << EROFS << QStringLiteral("файловая система только для чтения");
        QTest::newRow("a folder") << EISDIR << QStringLiteral("это папка, а не файл");
        QTest::newRow("busy") << EBUSY << QStringLiteral("устройство или ресурс занято");
        QTest::newRow("device gone") << ENXIO << QStringLiteral("устройство отключено");
        QTest::newRow("too large") << EFBIG << QStringLiteral("файл слишком велик");
    }
    void systemErrorsReadInRussian()
    {
        QFETCH(int, code);
        QFETCH(QString, russian);
        QCOMPARE(SystemErrorText::fromErrno(code), russian);
        // The system's text, as a file or port passes it on with words around it.
        const QString system = QString::fromLocal8Bit(std::strerror(code));
        QCOMPARE(SystemErrorText::translate(QStringLiteral("open: ") + system), russian);
        QVERIFY(hasCyrillic(SystemErrorText::notRegularFile()));
        QVERIFY(SystemErrorText::tooLarge(527482).contains(QStringLiteral("527482")));
        // Unknown to the table: the system's own text is kept rather than lost.
        QCOMPARE(SystemErrorText::translate(QStringLiteral("quantum flux")),
                 QStringLiteral("quantum flux"));
    }

    void qtsOwnRussianWordingOfASystemErrorIsMappedToo()
    {
        // With Qt's Russian texts loaded, Qt words "No such file or directory" its
        // own way before a port or file passes it on.
        QVERIFY(installQtTranslations(*QCoreApplication::instance()));
        const QString qtWording = QCoreApplication::translate("QIODevice", std::strerror(ENOENT));
        QVERIFY(qtWording != QString::fromLocal8Bit(std::strerror(ENOENT)));
        QCOMPARE(SystemErrorText::translate(qtWording + QLatin1Char('.')),
                 QStringLiteral("нет такого файла или папки"));
    }

    void writeThatFailsPartWayKeepsTheOldFileByteForByte_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("nothing fits") << qint64(0);
        QTest::newRow("500 bytes fit") << qint64(500);
        QTest::newRow("4000 bytes fit") << qint64(4000);
    }
    void writeThatFailsPartWayKeepsTheOldFileByteForByte()
    {
        QFETCH(qint64, limit);
        const QString target = path(QStringLiteral("table.xls"));
        const QByteArray old = precious(6000);
        QVERIFY(writeFile(target, old));
        QString error;
        {
            const FileSizeLimit fault(limit);
            error = AtomicFile::write(target, QByteArray(8000, 'N'));
        }
        QVERIFY(error.contains(QDir::toNativeSeparators(target)));
        QVERIFY2(error.contains(QStringLiteral("файл слишком велик")), qPrintable(error));
        QCOMPARE(readFile(target), old);
        // The temporary copy is gone with the failure.
        QCOMPARE(entries(), QStringList{QStringLiteral("table.xls")});
        // With the limit lifted the same write goes through.
        QCOMPARE(AtomicFile::write(target, QByteArray(8000, 'N')), QString());
        QCOMPARE(readFile(target), QByteArray(8000, 'N'));
    }

    void specialFilesAreRefusedAndLeftAsTheyWere()
    {
        const QString fifo = path(QStringLiteral("fifo"));
        QVERIFY(makeFifo(fifo));
        QString error = AtomicFile::write(fifo, "table");
        QVERIFY(error.contains(QDir::toNativeSeparators(fifo)));
        QVERIFY(error.contains(SystemErrorText::notRegularFile()));
        QCOMPARE(kindOf(fifo), 'p');

        // A link to a FIFO is no better than the FIFO.
        const QString link = path(QStringLiteral("link-to-fifo"));
        QVERIFY(QFile::link(fifo, link));
        QVERIFY(!AtomicFile::write(link, "table").isEmpty());
        QCOMPARE(kindOf(link), 'l');
        QCOMPARE(kindOf(fifo), 'p');

        const QString socket = path(QStringLiteral("socket"));
        QVERIFY(makeSocket(socket));
        QVERIFY(!AtomicFile::write(socket, "table").isEmpty());
        QCOMPARE(kindOf(socket), 's');

        QVERIFY(!AtomicFile::write(dir.path(), "table").isEmpty());
        QVERIFY(QFileInfo(dir.path()).isDir());

        // A FIFO that takes the name while the copy is being written.
        const QString late = path(QStringLiteral("late"));
        QVERIFY(writeFile(late, "old"));
        error = AtomicFile::write(late, "table", [&] {
            QFile::remove(late);
            makeFifo(late);
        });
        QVERIFY(error.contains(SystemErrorText::notRegularFile()));
        QCOMPARE(kindOf(late), 'p');
    }

    void deviceNodeIsRefusedAndLeftAsItWas()
    {
        if (!isRoot())
            QSKIP("making a device node needs root");
        const QString node = path(QStringLiteral("full"));
        if (!makeFullDeviceNode(node))
            QSKIP("this file system refuses device nodes");
        struct stat before
        {};
        QCOMPARE(::lstat(QFile::encodeName(node).constData(), &before), 0);
        const QString error = AtomicFile::write(node, "table");
        QVERIFY(error.contains(SystemErrorText::notRegularFile()));
        struct stat after
        {};
        QCOMPARE(::lstat(QFile::encodeName(node).constData(), &after), 0);
        QVERIFY(S_ISCHR(after.st_mode));
        QCOMPARE(after.st_rdev, before.st_rdev);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void linkToARegularFileIsWrittenThroughAndKept()
    {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
        const QString real = path(QStringLiteral("real/table.xls"));
        QVERIFY(writeFile(real, "old"));
        const QString link = path(QStringLiteral("table.xls"));
        QVERIFY(QFile::link(real, link));
        QCOMPARE(AtomicFile::write(link, "new"), QString());
        QCOMPARE(kindOf(link), 'l');
        QCOMPARE(readFile(real), QByteArray("new"));
        QVERIFY(QFile::remove(real));
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("real")));
    }

    void failedRenameIsAnErrorAndKeepsTheOldFile()
    {
        const QString target = path(QStringLiteral("protocol.txt"));
        QVERIFY(writeFile(target, "old protocol"));
        std::unique_ptr<Immutable> locked;
        // The folder turns read-only after the copy reached the disk: even root
        // cannot rename into an immutable folder.
        const QString error = AtomicFile::write(
            target, "new protocol", [&] { locked = std::make_unique<Immutable>(dir.path()); });
        const bool wasLocked = locked && locked->active();
        locked.reset();
        if (!wasLocked)
            QSKIP("cannot set the immutable flag here (needs root and a file system with it)");
        QVERIFY(error.contains(QDir::toNativeSeparators(target)));
        QVERIFY2(error.contains(QStringLiteral("операция не разрешена")), qPrintable(error));
        QCOMPARE(readFile(target), QByteArray("old protocol"));
        QCOMPARE(entries(), QStringList{QStringLiteral("protocol.txt")});
    }

    void folderThatRefusesNewFilesGetsAnErrorNotADirectWrite()
    {
        // The old file itself stays writable: only a write in place could
        // change it, and the writer never does one.
        const QString target = path(QStringLiteral("list.txt"));
        QVERIFY(writeFile(target, "old list"));
        QString error;
        {
            const Immutable locked(dir.path());
            if (!locked.active())
                QSKIP("cannot set the immutable flag here (needs root and a file system with it)");
            QVERIFY(QFileInfo(target).isWritable());
            error = AtomicFile::write(target, "new list");
        }
        QVERIFY(error.startsWith(QStringLiteral("Не удалось открыть файл ")));
        QVERIFY(error.contains(QDir::toNativeSeparators(target)));
        QVERIFY2(hasCyrillic(error.section(QStringLiteral(": "), 1)), qPrintable(error));
        QCOMPARE(readFile(target), QByteArray("old list"));
    }

    void missingFolderIsNamedInRussian()
    {
        const QString target = path(QStringLiteral("gone/table.xls"));
        const QString error = AtomicFile::write(target, "x");
        QVERIFY(error.contains(QDir::toNativeSeparators(target)));
        QVERIFY2(error.contains(QStringLiteral("нет такого файла или папки")), qPrintable(error));
    }

    void boundedReadTakesAFileUpToTheBoundWhole()
    {
        const QString file = path(QStringLiteral("base.bdt"));
        const QByteArray bytes = precious(1000);
        QVERIFY(writeFile(file, bytes));
        QByteArray read;
        QCOMPARE(BoundedFile::read(file, 1000, &read), QString());
        QCOMPARE(read, bytes);
        const QString error = BoundedFile::read(file, 999, &read);
        QVERIFY(error.contains(QDir::toNativeSeparators(file)));
        QVERIFY(error.contains(SystemErrorText::tooLarge(999)));
        QCOMPARE(read, QByteArray());

        const QString missing = BoundedFile::read(path(QStringLiteral("none.bdt")), 10, &read);
        QVERIFY2(missing.contains(QStringLiteral("нет такого файла или папки")),
                 qPrintable(missing));
        QVERIFY(BoundedFile::read(dir.path(), 10, &read).contains(QStringLiteral("это папка")));
    }

    void oversizedInputsAreRefusedWithoutBeingReadWhole()
    {
        const qint64 bound = 10 + 999 * 528;
        // A sparse file of 1.5 GB: its size alone refuses it.
        const QString huge = path(QStringLiteral("huge.tsk"));
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(1536) * 1024 * 1024));
        }
        const qint64 peakBefore = peakResidentKiB();
        QByteArray read;
        QVERIFY(BoundedFile::read(huge, bound, &read).contains(SystemErrorText::tooLarge(bound)));
        // An endless device is no input file: refused before it is opened.
        QVERIFY(BoundedFile::read(QStringLiteral("/dev/zero"), bound, &read)
                    .contains(SystemErrorText::notRegularFile()));
        QVERIFY(read.isEmpty());
        const qint64 grownKiB = peakResidentKiB() - peakBefore;
        QVERIFY2(grownKiB < 16 * 1024, qPrintable(QString::number(grownKiB)));
    }
};

QTEST_GUILESS_MAIN(tst_FileSafety)
#include "tst_FileSafety.moc"
