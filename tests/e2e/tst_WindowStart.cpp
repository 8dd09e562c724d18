#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The executable started as a user starts it, without an action.
class tst_WindowStart : public QObject
{
    Q_OBJECT

private:
    static QProcessEnvironment environmentWithout(const QStringList &names)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : names)
            env.remove(name);
        return env;
    }

private Q_SLOTS:
    void withoutADisplayItSaysSoAndRunsTheContactAction()
    {
#ifdef Q_OS_WIN
        QSKIP("Linux only: a Windows session always has a display, the window opens.");
#endif
        QTemporaryDir data;
        QProcess program;
        program.setProcessEnvironment(
            environmentWithout({QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                QStringLiteral("QT_QPA_PLATFORM")}));
        program.start(QStringLiteral(KALENT_SERVICE_PATH),
                      {QStringLiteral("--port"), QStringLiteral("sim"),
                       QStringLiteral("--data-dir"), data.path()});
        QVERIFY(program.waitForFinished(30000));
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(errors.startsWith(QStringLiteral("Нет дисплея")), qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("Есть контакт с прибором")), qPrintable(errors));
        QCOMPARE(program.readAllStandardOutput(), QByteArray("115200\n"));
        QCOMPARE(program.exitCode(), 0);
    }

    void withADisplayTheWindowRunsUntilClosed()
    {
        QTemporaryDir data;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(KALENT_SERVICE_PATH),
                      {QStringLiteral("--port"), QStringLiteral("sim"),
                       QStringLiteral("--data-dir"), data.path()});
        QVERIFY(program.waitForStarted());
        // The window's event loop keeps the program running.
        QVERIFY(!program.waitForFinished(1500));
        program.kill();
        program.waitForFinished();
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(!errors.contains(QStringLiteral("Нет дисплея")), qPrintable(errors));
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
    }

    void versionPrintsTheApplicationTitleThenThePackageVersion()
    {
        QProcess program;
        program.start(QStringLiteral(KALENT_SERVICE_PATH), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(program.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("КАЛЕНТ-сервис 2008_06_06"));
        QVERIFY2(QRegularExpression(QStringLiteral("^Версия пакета: \\d+\\.\\d+\\.\\d+$"))
                     .match(lines.at(1))
                     .hasMatch(),
                 qPrintable(lines.at(1)));
    }

    void anUnknownWordIsAUsageError()
    {
        QProcess program;
        program.start(QStringLiteral(KALENT_SERVICE_PATH), {QStringLiteral("windw")});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardError().contains("Неизвестное действие: windw."));
    }
};

QTEST_GUILESS_MAIN(tst_WindowStart)
#include "tst_WindowStart.moc"
