#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The built kalent-service flashes the built-in instrument served on a
// pseudo-terminal by another kalent-service, through the real serial port code.
class tst_FlashEndToEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void flashOverAPtyIsAcceptedAndTheInstrumentRestarts();
    void missingFileSendsNothingAndFails();
    void flashWithoutAFileIsAUsageError();
    void instrumentAtAnotherSpeedIsAFailure();
    void startupReportBeforeTheLastByteStopsTheUpload();
    void instrumentThatNeverReportsIsAFailure();
    void noWaitSaysTheResultIsUnconfirmed();
    void hangUpMidUploadStopsItJournalledAndNothingIsProgrammed();

private:
    QString startSimulator(const QStringList &knobs = {"--programming", "--baud", "9600"});
    QString writeImage(int size);
    QByteArray finishSimulator();
    int flash(const QStringList &arguments, QByteArray *err);

    QTemporaryDir m_dir;
    QProcess m_simulator;
};

namespace {
const QString Program = QStringLiteral(KALENT_SERVICE_PATH);
}

void tst_FlashEndToEnd::init()
{
    QVERIFY(m_dir.isValid());
}

void tst_FlashEndToEnd::cleanup()
{
    if (m_simulator.state() != QProcess::NotRunning) {
        m_simulator.kill();
        m_simulator.waitForFinished(5000);
    }
}

QString tst_FlashEndToEnd::startSimulator(const QStringList &knobs)
{
    m_simulator.start(Program,
                      QStringList{"simulate", "--pty", "--data-dir", m_dir.path()} + knobs);
    if (!m_simulator.waitForStarted(5000))
        return {};
    while (!m_simulator.canReadLine()) {
        if (!m_simulator.waitForReadyRead(5000))
            return {};
    }
    return QString::fromUtf8(m_simulator.readLine()).trimmed();
}

QByteArray tst_FlashEndToEnd::finishSimulator()
{
    m_simulator.terminate();
    m_simulator.waitForFinished(5000);
    return m_simulator.readAllStandardError();
}

QString tst_FlashEndToEnd::writeImage(int size)
{
    // Letters no command of the control program uses.
    const QString file = m_dir.filePath("image.tsk");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray(size, 'z')) != size)
        return {};
    return file;
}

namespace {
QString lastLine(const QByteArray &err)
{
    const QStringList lines = QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.constLast();
}
} // namespace

int tst_FlashEndToEnd::flash(const QStringList &arguments, QByteArray *err)
{
    QProcess process;
    process.start(Program, QStringList{"flash", "--data-dir", m_dir.path()} + arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void tst_FlashEndToEnd::flashOverAPtyIsAcceptedAndTheInstrumentRestarts()
{
    const QString pty = startSimulator();
    QVERIFY2(pty.startsWith('/'), qPrintable(pty));

    QByteArray image(23456, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7 + i / 300);
    const QString file = m_dir.filePath("new.tsk");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(image), image.size());
    out.close();

    QByteArray err;
    const int status = flash({"--port", pty, file, "--wait-restart", "--timeout", "20"}, &err);
    QVERIFY2(status == 0, err.constData());
    const QString messages = QString::fromUtf8(err);
    QVERIFY(messages.contains("Загрузка программы в прибор\n"));
    QVERIFY(messages.contains("Программирование прибора\n"));
    QCOMPARE(lastLine(err), QStringLiteral("Перепрограммирование прибора завершено"));
    // The operator is never told to switch the instrument off.
    QVERIFY(!messages.contains("Выключите прибор"));

    const QByteArray simulatorLog = finishSimulator();
    QVERIFY2(simulatorLog.contains("boot loader: upload accepted, 23456 bytes"),
             simulatorLog.constData());
    QVERIFY(simulatorLog.contains("boot loader: control program started"));
}

void tst_FlashEndToEnd::missingFileSendsNothingAndFails()
{
    const QString pty = startSimulator();
    QVERIFY(!pty.isEmpty());
    QByteArray err;
    QCOMPARE(flash({"--port", pty, m_dir.filePath("none.tsk"), "--timeout", "5"}, &err), 1);
    QVERIFY(QString::fromUtf8(err).contains("не найден."));
    const QByteArray simulatorLog = finishSimulator();
    QVERIFY(!simulatorLog.contains("upload"));
    QVERIFY(simulatorLog.contains("boot loader: programming mode"));
    QVERIFY(!simulatorLog.contains("control program started"));
}

void tst_FlashEndToEnd::flashWithoutAFileIsAUsageError()
{
    QByteArray err;
    QCOMPARE(flash({"--port", "sim"}, &err), 2);
    QVERIFY(err.contains("Использование: kalent-service flash"));
}

void tst_FlashEndToEnd::instrumentAtAnotherSpeedIsAFailure()
{
    // Running its control program at 9600: the upload at 115200 is noise to it.
    const QString pty = startSimulator({"--baud", "9600"});
    QVERIFY(pty.startsWith('/'));
    QByteArray err;
    QCOMPARE(flash({"--port", pty, writeImage(3000), "--timeout", "2"}, &err), 1);
    QCOMPARE(lastLine(err), QStringLiteral("Прибор не сообщил о запуске программы управления."));
    QVERIFY(!finishSimulator().contains("upload"));
}

void tst_FlashEndToEnd::startupReportBeforeTheLastByteStopsTheUpload()
{
    const QString pty = startSimulator({"--programming", "--boot-fault", "early-report"});
    QVERIFY(pty.startsWith('/'));
    QByteArray err;
    QCOMPARE(flash({"--port", pty, writeImage(30000), "--wait-restart", "--timeout", "5"}, &err),
             1);
    QCOMPARE(lastLine(err),
             QStringLiteral("Прибор перезапустился до конца загрузки и запустил программу "
                            "управления: он не в режиме программирования. Загрузка остановлена, "
                            "повторите шаг 2."));
    QVERIFY(!err.contains("Перепрограммирование прибора завершено"));
    const QByteArray simulatorLog = finishSimulator();
    QVERIFY(simulatorLog.contains("control program started"));
    QVERIFY(!simulatorLog.contains("upload accepted"));
}

void tst_FlashEndToEnd::instrumentThatNeverReportsIsAFailure()
{
    const QString pty = startSimulator({"--programming", "--boot-fault", "no-report"});
    QVERIFY(pty.startsWith('/'));
    QByteArray err;
    QCOMPARE(flash({"--port", pty, writeImage(3000), "--timeout", "3"}, &err), 1);
    QVERIFY(err.contains("Программирование прибора\n"));
    QCOMPARE(lastLine(err), QStringLiteral("Прибор не сообщил о запуске программы управления."));
    QVERIFY(finishSimulator().contains("boot loader: upload accepted, 3000 bytes"));
}

void tst_FlashEndToEnd::noWaitSaysTheResultIsUnconfirmed()
{
    const QString pty = startSimulator();
    QVERIFY(pty.startsWith('/'));
    QByteArray err;
    QCOMPARE(flash({"--port", pty, writeImage(3000), "--no-wait", "--timeout", "5"}, &err), 0);
    QCOMPARE(lastLine(err),
             QStringLiteral("Программа передана, перезапуск прибора не ожидался: результат не "
                            "подтверждён."));
    QVERIFY(!err.contains("Перепрограммирование прибора завершено"));
    // Said once, by the action; the journal keeps how the upload's job ended.
    QCOMPARE(QString::fromUtf8(err).count(QStringLiteral("не ожидался")), 1);
    QFile journal(QDir(m_dir.path()).filePath("ServiceJournal.txt"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QVERIFY(journal.readAll().contains(
        QStringLiteral("итог: передана целиком; ожидание перезапуска прервано: перезапуск не "
                       "ожидался")
            .toUtf8()));
    // Every byte was on the line before the exit: the instrument takes the upload at the
    // line's pace, however busy the machine.
    QByteArray simulatorSays;
    QTRY_VERIFY_WITH_TIMEOUT((simulatorSays += m_simulator.readAllStandardError())
                                 .contains("boot loader: upload accepted, 3000 bytes"),
                             20000);
}

void tst_FlashEndToEnd::hangUpMidUploadStopsItJournalledAndNothingIsProgrammed()
{
    const QString pty = startSimulator();
    QVERIFY(pty.startsWith('/'));
    // 300,000 bytes: thirty blocks a tenth of a second apart, three seconds at least.
    const QString image = writeImage(300000);
    QProcess process;
    process.start(Program, QStringList{"flash", "--data-dir", m_dir.path(), "--port", pty, image});
    QVERIFY(process.waitForStarted(5000));
    QDeadlineTimer going(20000);
    while (!process.readAllStandardError().contains("Загрузка программы в прибор") &&
           !going.hasExpired())
        process.waitForReadyRead(100);
    QVERIFY(!going.hasExpired());
    QTest::qWait(500);
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(lastLine(process.readAllStandardError()),
             QStringLiteral("Остановка по сигналу: загрузка прервана."));

    QFile journal(QDir(m_dir.path()).filePath("ServiceJournal.txt"));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(journal.readAll());
    QVERIFY2(lines.contains("итог: прервана: программа завершается по сигналу"), qPrintable(lines));
    QVERIFY(!finishSimulator().contains("upload accepted"));
}

QTEST_GUILESS_MAIN(tst_FlashEndToEnd)
#include "tst_FlashEndToEnd.moc"
