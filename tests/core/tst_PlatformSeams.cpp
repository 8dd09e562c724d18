#include "TestSupport.h"
#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/SystemErrorText.h"
#include "link/LineHangUp.h"
#include "link/SystemPorts.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace kalent;

namespace {

// The names in a folder, so a test sees any temporary copy left behind.
QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

#ifdef Q_OS_WIN
// Another program holding the file open, as Windows programs do: a reader that
// lets others delete or rename it (a viewer), or one that does not (a spreadsheet).
class OpenElsewhere
{
public:
    OpenElsewhere(const QString &path, bool allowsReplace)
    {
        const DWORD share =
            FILE_SHARE_READ | FILE_SHARE_WRITE | (allowsReplace ? FILE_SHARE_DELETE : 0);
        m_handle = CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), GENERIC_READ,
                               share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~OpenElsewhere()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};
#endif

} // namespace

// The places where the program meets the system it runs on, each as it must
// behave on that system (Linux and Windows builds run the same suite).
class tst_PlatformSeams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portErrorsThatMeanTheDeviceIsGone_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("gone");
#ifdef Q_OS_WIN
        const bool onWindows = true;
#else
        const bool onWindows = false;
#endif
        QTest::newRow("resource") << QSerialPort::ResourceError << true;
        QTest::newRow("not found") << QSerialPort::DeviceNotFoundError << true;
        QTest::newRow("read") << QSerialPort::ReadError << true;
        // A pulled USB adapter on Windows: "access denied" or a general failure.
        QTest::newRow("permission") << QSerialPort::PermissionError << onWindows;
        QTest::newRow("unknown") << QSerialPort::UnknownError << onWindows;
        QTest::newRow("write") << QSerialPort::WriteError << onWindows;
        // A line without modem signals stays open as a three-wire line.
        QTest::newRow("unsupported") << QSerialPort::UnsupportedOperationError << false;
        QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
        QTest::newRow("none") << QSerialPort::NoError << false;
    }
    void portErrorsThatMeanTheDeviceIsGone()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, gone);
        QCOMPARE(errorMeansDeviceGone(error), gone);
    }

    void portsAreListedUnderTheNamesTheOperatorTypes_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("listed");
        QTest::newRow("COM3") << R"(\\.\COM3)"
                              << "COM3";
        QTest::newRow("COM10") << R"(\\.\COM10)"
                               << "COM10";
        QTest::newRow("COM256") << R"(\\.\COM256)"
                                << "COM256";
        QTest::newRow("plain COM name") << "COM4"
                                        << "COM4";
        QTest::newRow("Linux device") << "/dev/ttyUSB0"
                                      << "/dev/ttyUSB0";
        QTest::newRow("prefix only in the middle") << R"(x\\.\COM1)"
                                                   << R"(x\\.\COM1)";
    }
    void portsAreListedUnderTheNamesTheOperatorTypes()
    {
        QFETCH(QString, location);
        QFETCH(QString, listed);
        QCOMPARE(listedPortName(location), listed);
    }

    void listedPortsCarryNoDevicePrefix()
    {
        for (const QString &name : systemPortNames())
            QVERIFY2(!name.startsWith(QLatin1String("\\\\.\\")), qPrintable(name));
    }

    void dataFolderFollowsTheSystemsHabit()
    {
        QTemporaryDir elsewhere;
        QCOMPARE(DataFolder::resolve(elsewhere.filePath("data")).path(),
                 QDir(elsewhere.filePath("data")).absolutePath());
        // A program that is not the one in its build folder (this test, or an
        // installed copy) keeps its files in the user's local application data,
        // never in the program's folder.
        const QString chosen = DataFolder::resolve().path();
        QCOMPARE(chosen,
                 QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
                     .absolutePath());
        QVERIFY(chosen != QCoreApplication::applicationDirPath());
#ifdef Q_OS_WIN
        // Local, not roaming: readings stay on the lab's PC.
        QVERIFY2(chosen.startsWith(
                     QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)),
                 qPrintable(chosen));
        QVERIFY(!chosen.contains(QLatin1String("/Roaming/")));
#endif
        QVERIFY(QFileInfo(chosen).isDir());
    }

    void wholeFileReplacesAnExistingOneAndLeavesNoCopyBehind()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MSTempProtokol.txt"));
        QVERIFY(AtomicFile::write(path, QByteArray(5000, 'o')).isEmpty());
        const QByteArray bytes("\xcf\xf0\xee\xf2\xee\xea\xee\xeb\r\n\x00\xff", 12);
        QCOMPARE(AtomicFile::write(path, bytes), QString());
        QCOMPARE(contents(path), bytes);
        QCOMPARE(namesIn(dir.path()), QStringList{"MSTempProtokol.txt"});
    }

    void copyThatCannotTakeTheNameIsRemoved()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("TempBDTS.xls"));
        QVERIFY(AtomicFile::write(path, "old").isEmpty());
        // A folder takes the name between the copy and the move.
        const QString error = AtomicFile::write(path, "new", [&] {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        });
        QVERIFY2(error.startsWith(QStringLiteral("Не удалось записать файл ")), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("это папка, а не файл")));
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(namesIn(dir.path()), QStringList());
    }

    void aReaderHoldingTheFileDoesNotStopTheWrite()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("SpisokTSinVir.txt"));
        QVERIFY(AtomicFile::write(path, "old").isEmpty());
#ifdef Q_OS_WIN
        if (test::runningUnderWine())
            QSKIP("Wine refuses to replace a file another handle holds open, even one "
                  "opened to let others delete it; Windows replaces it");
        OpenElsewhere viewer(path, true);
        QVERIFY(viewer.isOpen());
#else
        QFile viewer(path);
        QVERIFY(viewer.open(QIODevice::ReadOnly));
#endif
        QCOMPARE(AtomicFile::write(path, "new"), QString());
        QCOMPARE(contents(path), QByteArray("new"));
    }

    void aProgramLockingTheFileMakesTheWriteFailInRussianAndKeepsTheOldFile()
    {
#ifdef Q_OS_WIN
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("TempBDTS.xls"));
        QVERIFY(AtomicFile::write(path, "old").isEmpty());
        {
            OpenElsewhere spreadsheet(path, false);
            QVERIFY(spreadsheet.isOpen());
            QElapsedTimer waited;
            waited.start();
            const QString error = AtomicFile::write(path, "new");
            QVERIFY2(error.startsWith(QStringLiteral("Не удалось записать файл ") +
                                      QDir::toNativeSeparators(path)),
                     qPrintable(error));
            QVERIFY2(error.contains(QStringLiteral("нет прав доступа")) ||
                         error.contains(QStringLiteral("файл открыт другой программой")),
                     qPrintable(error));
            // A short lock (a virus scanner) is waited for; a lasting one not for long.
            QVERIFY(waited.elapsed() < 10000);
        }
        QCOMPARE(contents(path), QByteArray("old"));
        QCOMPARE(namesIn(dir.path()), QStringList{"TempBDTS.xls"});
#else
        QSKIP("Windows only: on Linux an open file never stops its replacement.");
#endif
    }

    void windowsErrorsAreToldInRussian()
    {
#ifdef Q_OS_WIN
        QCOMPARE(SystemErrorText::fromWindowsError(ERROR_SHARING_VIOLATION),
                 QStringLiteral("файл открыт другой программой"));
        QCOMPARE(SystemErrorText::fromWindowsError(ERROR_DISK_FULL),
                 QStringLiteral("нет места на диске"));
        QCOMPARE(SystemErrorText::fromWindowsError(ERROR_WRITE_PROTECT),
                 QStringLiteral("носитель защищён от записи"));
        // QFile's and QSerialPort's texts come from FormatMessage.
        QCOMPARE(SystemErrorText::translate(qt_error_string(ERROR_ACCESS_DENIED)),
                 QStringLiteral("нет прав доступа"));
        QCOMPARE(SystemErrorText::translate(qt_error_string(ERROR_FILE_NOT_FOUND)),
                 QStringLiteral("нет такого файла или папки"));
#else
        QSKIP("Windows only: Windows error codes.");
#endif
    }
};

QTEST_GUILESS_MAIN(tst_PlatformSeams)
#include "tst_PlatformSeams.moc"
