#include "ConsoleProgress.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace kalent;

namespace {

// Every stderr write of one ConsoleProgress, joined.
struct Capture
{
    QByteArray bytes;
    ConsoleProgress console;
    explicit Capture(bool terminal) : console(terminal, [this](const QByteArray &b) { bytes += b; })
    {}
};

// The pane's events as the table read makes them, then its outcome.
void tableRead(ConsoleProgress &console)
{
    console.paneText(QStringLiteral("Идёт приём данных"));
    console.paneText(QStringLiteral("120"));
    console.progress(18);
    console.paneText(QStringLiteral("1364"));
    console.progress(100);
    console.progress(0);
    console.paneText(QStringLiteral("Оптические плотности приняты"));
}

// The messages a stderr holds, with each progress line (whatever it was
// rewritten to) reduced to the last thing it showed.
QStringList visibleLines(const QByteArray &err)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(err).split(QLatin1Char('\n'))) {
        const qsizetype cr = line.lastIndexOf(QLatin1Char('\r'));
        lines.append(cr < 0 ? line : line.mid(cr + 1).trimmed());
    }
    return lines;
}

} // namespace

class tst_ConsoleProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void byteCountsAreTold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("byteCount");
        QTest::newRow("number") << "1364" << true;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("signed") << "-5" << false;
        QTest::newRow("speed message") << "Установка новой скорости обмена." << false;
        QTest::newRow("number with text") << "115200 бод" << false;
        QTest::newRow("too long for a count") << "1234567890123456789" << false;
    }
    void byteCountsAreTold()
    {
        QFETCH(QString, text);
        QFETCH(bool, byteCount);
        QCOMPARE(ConsoleProgress::isByteCount(text), byteCount);
    }

    void aPipeGetsTheMessagesOnly()
    {
        Capture c(false);
        tableRead(c.console);
        c.console.finish();
        QCOMPARE(c.bytes, QByteArray("Идёт приём данных\nОптические плотности приняты\n"));
    }

    void aTerminalGetsOneLineRewrittenAndEndedBeforeTheNextMessage()
    {
        Capture c(true);
        tableRead(c.console);
        QCOMPARE(c.bytes, QString("Идёт приём данных\n"
                                  "\rПринято: 120 байт"
                                  "\rПринято: 120 байт, 18 %"
                                  "\rПринято: 1364 байт, 18 %"
                                  "\rПринято: 1364 байт, 100 %"
                                  "\nОптические плотности приняты\n")
                              .toUtf8());
    }

    void aShorterStatusBlanksTheLongerOnesTail()
    {
        Capture c(true);
        c.console.paneText(QStringLiteral("1364"));
        c.console.progress(50);
        c.console.message(QStringLiteral("Страница"));
        c.console.progress(7);
        QCOMPARE(c.bytes, QString("\rПринято: 1364 байт"
                                  "\rПринято: 1364 байт, 50 %"
                                  "\nСтраница\n"
                                  "\rВыполнено: 7 %")
                              .toUtf8());
        c.bytes.clear();
        // An unchanged status writes nothing; a shorter one covers the old tail.
        c.console.progress(7);
        QVERIFY(c.bytes.isEmpty());
        c.console.paneText(QStringLiteral("9"));
        QCOMPARE(c.bytes, QString("\rПринято: 9 байт, 7 %").toUtf8());
        c.bytes.clear();
        c.console.finish();
        c.console.finish();
        QCOMPARE(c.bytes, QByteArray("\n"));
    }

    void readingATableThroughAPipePrintsNoByteCounts()
    {
        QTemporaryDir data;
        QProcess p;
        p.start(QStringLiteral(KALENT_SERVICE_PATH),
                {QStringLiteral("read-od"), QStringLiteral("--port"), QStringLiteral("sim"),
                 QStringLiteral("--data-dir"), data.path()});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(!err.contains('\r'), err.constData());
        const QStringList lines = visibleLines(err);
        QVERIFY2(lines.contains(QStringLiteral("Оптические плотности приняты")), err.constData());
        for (const QString &line : lines)
            QVERIFY2(!ConsoleProgress::isByteCount(line), err.constData());
    }

#ifdef Q_OS_UNIX
    void readingATableOnATerminalShowsOneProgressLine()
    {
        // stderr on a pseudo-terminal in raw mode (no newline translation), the
        // table on a pipe.
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const QString slavePath = QString::fromLocal8Bit(ptsname(master));
        // Held open here too, so what the program wrote stays readable after it ends.
        const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        QVERIFY(slave >= 0);
        termios raw{};
        QVERIFY(tcgetattr(slave, &raw) == 0);
        cfmakeraw(&raw);
        QVERIFY(tcsetattr(slave, TCSANOW, &raw) == 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

        QByteArray err;
        const auto drain = [&] {
            char buf[4096];
            for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
                err.append(buf, static_cast<qsizetype>(n));
        };
        QTemporaryDir data;
        QProcess p;
        p.setStandardErrorFile(slavePath);
        p.start(QStringLiteral(KALENT_SERVICE_PATH),
                {QStringLiteral("read-od"), QStringLiteral("--port"), QStringLiteral("sim"),
                 QStringLiteral("--data-dir"), data.path()});
        QVERIFY(p.waitForStarted());
        QDeadlineTimer deadline(60000);
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            p.waitForFinished(20);
            drain();
        }
        drain();
        ::close(slave);
        ::close(master);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(p.readAllStandardOutput().size() > 0, err.constData());

        // The byte counts were shown, each rewriting the one line in place...
        QVERIFY2(err.count('\r') >= 2, err.constData());
        static const QRegularExpression status(QStringLiteral("^Принято: \\d+ байт(, \\d+ %)?$"));
        const QStringList lines = visibleLines(err);
        bool progressShown = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const bool isStatus = status.match(lines[i]).hasMatch();
            progressShown = progressShown || isStatus;
            // ...never as lines of their own...
            QVERIFY2(!ConsoleProgress::isByteCount(lines[i]), err.constData());
            // ...and the line is ended before the next message, which stands alone.
            if (isStatus && i + 1 < lines.size() && !lines[i + 1].isEmpty())
                QVERIFY2(!lines[i + 1].startsWith(QStringLiteral("Принято")), err.constData());
        }
        QVERIFY2(progressShown, err.constData());
        QVERIFY2(lines.contains(QStringLiteral("Оптические плотности приняты")), err.constData());
        for (const QString &line : QString::fromUtf8(err).split(QLatin1Char('\n'))) {
            // Whatever shares a line with a carriage return is progress only.
            if (line.contains(QLatin1Char('\r')))
                QVERIFY2(line.startsWith(QLatin1Char('\r')), err.constData());
        }
    }
#endif
};

QTEST_GUILESS_MAIN(tst_ConsoleProgress)
#include "tst_ConsoleProgress.moc"
