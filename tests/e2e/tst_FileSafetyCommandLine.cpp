#include "FileFaults.h"
#include "ServiceProcess.h"
#include "TestSupport.h"

#include "common/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace kalent;
using namespace kalent::test;

namespace {

const QString Service = QStringLiteral(KALENT_SERVICE_PATH);

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

// Runs the built program; fileSizeLimit >= 0 gives it that file-size limit (and
// SIGXFSZ ignored), so every write past the limit fails as on a full disk.
Result run(const QStringList &arguments, qint64 fileSizeLimit = -1)
{
    const ServiceRun s = runService(Service, arguments, 90000, [fileSizeLimit](QProcess &p) {
        if (fileSizeLimit >= 0)
            limitChildFileSize(p, fileSizeLimit);
    });
    return {s.exitCode, s.out, QString::fromUtf8(s.err)};
}

QByteArray oldContents(const char *what)
{
    return QByteArray(what).repeated(300);
}

// The most memory any finished child has held, in KiB.
qint64 childrenPeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

} // namespace

// The command line never reports a write that did not reach the disk, never
// replaces what is not a regular file, and refuses oversized inputs unread.
class tst_FileSafetyCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_simulator.start(Service));
        m_pty = m_simulator.path();
    }

    void cleanupTestCase() { m_simulator.stop(); }

    void writesThatFailPartWayExitOneAndKeepTheOldFiles()
    {
        const QString dir = m_dir.path();
        const QString out = m_dir.filePath(QStringLiteral("table.xls"));
        QVERIFY(writeFile(out, oldContents("old table ")));
        Result r = run({"read-od", "--port", m_pty, "--out", out, "--data-dir", dir}, 500);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Не удалось записать файл ") + out +
                                QStringLiteral(": файл слишком велик")),
                 qPrintable(r.err));
        QCOMPARE(readFile(out), oldContents("old table "));

        // Under the instrument's name: the program's own message is no success.
        const QString named = m_dir.filePath(QStringLiteral("20090324_143018.xls"));
        QVERIFY(writeFile(named, oldContents("old named ")));
        r = run({"read-od", "--port", m_pty, "--auto-name", "--data-dir", dir}, 0);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.contains(QStringLiteral("Данные записаны")));
        QCOMPARE(readFile(named), oldContents("old named "));

        const QString temp = m_dir.filePath(QStringLiteral("MSTempProtokol.txt"));
        const QString protocol = m_dir.filePath(QStringLiteral("protocol.txt"));
        QVERIFY(writeFile(temp, oldContents("old temp ")));
        QVERIFY(writeFile(protocol, oldContents("old protocol ")));
        r = run({"read-protocol", "--port", m_pty, "--out", protocol, "--data-dir", dir}, 100);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("файл слишком велик")), qPrintable(r.err));
        QCOMPARE(readFile(temp), oldContents("old temp "));
        QCOMPARE(readFile(protocol), oldContents("old protocol "));

        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        const QString base = m_dir.filePath(QStringLiteral("base.bdt"));
        QVERIFY(writeFile(base, oldContents("old base ")));
        r = run({"db-add", golden, golden, "--out", base, "--data-dir", dir}, 4000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("base.bdt: файл слишком велик")), qPrintable(r.err));
        QCOMPARE(readFile(base), oldContents("old base "));
    }

    void specialFilesAreRefusedAndLeftAsTheyWere()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QVERIFY(makeFifo(fifo));
        Result r = run({"read-od", "--port", m_pty, "--out", fifo, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(SystemErrorText::notRegularFile()), qPrintable(r.err));
        QCOMPARE(kindOf(fifo), 'p');

        if (!isRoot())
            QSKIP("making a device node needs root");
        const QString node = m_dir.filePath(QStringLiteral("full"));
        if (!makeFullDeviceNode(node))
            QSKIP("this file system refuses device nodes");
        r = run({"read-protocol", "--port", m_pty, "--out", node, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(SystemErrorText::notRegularFile()), qPrintable(r.err));
        QCOMPARE(kindOf(node), 'c');
    }

    void oversizedInputsAreRefusedUnread()
    {
        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        const QString out = m_dir.filePath(QStringLiteral("never.bdt"));
        Result r = run({"db-add", "/dev/zero", golden, "--out", out, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        // A device is no database: refused before it is opened.
        QVERIFY2(r.err.contains(QStringLiteral("/dev/zero: ") + SystemErrorText::notRegularFile()),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(out));

        // A firmware image of 1.5 GB (sparse: it takes no disk).
        const QString image = m_dir.filePath(QStringLiteral("huge.tsk"));
        {
            QFile f(image);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(1536) * 1024 * 1024));
        }
        r = run({"flash", "--port", "sim", image, "--data-dir", m_dir.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(SystemErrorText::tooLarge(16 * 1024 * 1024)), qPrintable(r.err));
        QFile::remove(image);
        // Neither run came near reading its input whole.
        QVERIFY2(childrenPeakKiB() < 256 * 1024, qPrintable(QString::number(childrenPeakKiB())));
    }

    void listTextFileThatCannotBeWrittenOnlyWarns()
    {
        QTemporaryDir data;
        const QString golden = testDataPath(QStringLiteral("database/mixed.bdt"));
        Result r;
        {
            const Immutable locked(data.path());
            if (!locked.active())
                QSKIP("cannot set the immutable flag here (needs root and a file system with it)");
            r = run({"db-list", golden, "--data-dir", data.path()});
        }
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("hepatitis\n\tHCV\n"));
        QVERIFY2(r.err.contains(QStringLiteral("Предупреждение: ")) &&
                     r.err.contains(QStringLiteral("SpisokTSinFile.txt")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(data.filePath(QStringLiteral("SpisokTSinFile.txt"))));
    }

private:
    PtyInstrumentProcess m_simulator;
    QString m_pty;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_FileSafetyCommandLine)
#include "tst_FileSafetyCommandLine.moc"
