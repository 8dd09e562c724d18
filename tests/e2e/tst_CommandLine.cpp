#include "CommandLine.h"
#include "common/QtTranslations.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;

namespace {

int runNothing(const CommandLine &)
{
    return 0;
}

// A table of its own, so the parser is checked apart from the program's actions.
const std::vector<Action> &table()
{
    static const std::vector<Action> all = {
        {"probe",
         "probe --port ПОРТ [--timeout СЕК]",
         {"timeout"},
         {"fast"},
         &runNothing,
         "Проверить.",
         {"port"}},
        {"merge",
         "merge A B --out ФАЙЛ [--node ПУТЬ ...]",
         {"out", "node"},
         {},
         &runNothing,
         "Слить.",
         {"out"},
         2,
         2},
        {"list", "list", {}, {}, &runNothing, "Перечислить."},
    };
    return all;
}

ParsedArguments parse(QStringList words)
{
    words.prepend(QStringLiteral("kalent-service"));
    return parseArguments(words, table());
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installQtTranslations(*QCoreApplication::instance())); }

    void theActionIsTheFirstWordThatIsNotAnOptionsValue()
    {
        const ParsedArguments parsed = parse({"--port", "list", "probe", "--timeout=3"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Run);
        QVERIFY(parsed.action);
        QCOMPARE(parsed.action->name, QString("probe"));
        QCOMPARE(parsed.line.value("port"), QString("list"));
        QCOMPARE(parsed.line.value("timeout"), QString("3"));
        QVERIFY(parsed.line.positional.isEmpty());
    }

    void repeatedValuesAndArgumentsAreKeptInOrder()
    {
        const ParsedArguments parsed =
            parse({"merge", "a.bdt", "--node", "G/S", "b.bdt", "--node", "H", "--out", "o.bdt"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Run);
        QCOMPARE(parsed.line.positional, QStringList({"a.bdt", "b.bdt"}));
        QCOMPARE(parsed.line.all("node"), QStringList({"G/S", "H"}));
        QCOMPARE(parsed.line.value("out"), QString("o.bdt"));
    }

    void flagsAreFlagsAndOptionsOfOtherActionsAreRefused()
    {
        ParsedArguments parsed = parse({"probe", "--port", "sim", "--fast"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Run);
        QCOMPARE(parsed.line.flags, QStringList({"fast"}));

        parsed = parse({"probe", "--port", "sim", "--out", "x"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::UsageError);
        QVERIFY2(parsed.text.contains("Неизвестный параметр"), qPrintable(parsed.text));
        QVERIFY(parsed.text.contains("Использование: kalent-service probe --port ПОРТ"));

        parsed = parse({"probe", "--port", "sim", "--fast=1"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::UsageError);
    }

    void missingValuesOptionsAndArgumentsAreUsageErrors()
    {
        const QList<QStringList> wrong = {
            {"probe", "--port"},                    // a value option without its value
            {"probe", "--port", ""},                // a port without a name
            {"probe"},                              // --port is required
            {"merge", "a.bdt", "--out", "o"},       // one argument short
            {"merge", "a", "b", "c", "--out", "o"}, // one argument too many
            {"list", "extra"},                      // takes none
            {"nonsense"},                           // no such action
        };
        for (const QStringList &words : wrong) {
            const ParsedArguments parsed = parse(words);
            QVERIFY2(parsed.outcome == ParsedArguments::Outcome::UsageError,
                     qPrintable(words.join(' ')));
            QVERIFY2(!parsed.text.contains(QRegularExpression("[A-Za-z]{4,}:")),
                     qPrintable(parsed.text));
        }
        QVERIFY(parse({"probe"}).text.startsWith("Не указан параметр --port."));
        QVERIFY(parse({"list", "extra"}).text.startsWith("Лишний аргумент: extra."));
    }

    void helpOfAnActionShowsItsOwnOptionsOnly()
    {
        const ParsedArguments parsed = parse({"merge", "--help"});
        QCOMPARE(parsed.outcome, ParsedArguments::Outcome::Help);
        QVERIFY(parsed.text.contains("--node"));
        QVERIFY(parsed.text.contains("--port"));
        QVERIFY(!parsed.text.contains("--timeout"));
        QVERIFY(parsed.text.contains("Параметры:"));

        const ParsedArguments general = parse({"--help"});
        QCOMPARE(general.outcome, ParsedArguments::Outcome::Help);
        for (const Action &action : table())
            QVERIFY(general.text.contains("kalent-service " + action.usage));
    }

    void theWindowTakesOnlyThePortAndTheDataFolder()
    {
        QCOMPARE(parse({"--port", "sim"}).outcome, ParsedArguments::Outcome::Run);
        QVERIFY(!parse({"--port", "sim"}).action);
        QCOMPARE(parse({"--out", "x"}).outcome, ParsedArguments::Outcome::UsageError);
        QCOMPARE(parse({"--version"}).outcome, ParsedArguments::Outcome::Version);
    }

    void theProgramsHelpAndUsageErrorsAreRussianAndExitAsDocumented()
    {
        const auto run = [](const QStringList &args, QByteArray *out, QByteArray *err) {
            QProcess p;
            p.start(QStringLiteral(KALENT_SERVICE_PATH), args);
            p.waitForFinished(10000);
            *out = p.readAllStandardOutput();
            *err = p.readAllStandardError();
            return p.exitCode();
        };
        QByteArray out, err;
        QCOMPARE(run({"read-od", "--help"}, &out, &err), 0);
        QVERIFY(out.contains("--auto-name"));
        QVERIFY(!out.contains("--node"));
        QCOMPARE(run({"ports", "extra"}, &out, &err), 2);
        QVERIFY(QString::fromUtf8(err).startsWith("Лишний аргумент: extra."));
        QCOMPARE(run({"contact"}, &out, &err), 2);
        QVERIFY(QString::fromUtf8(err).startsWith("Не указан параметр --port."));
        QCOMPARE(run({"--help"}, &out, &err), 0);
        QVERIFY(QString::fromUtf8(out).contains("kalent-service db-delete"));
        // An action that must write a file refuses an empty name for it, before
        // it reads an input or opens a port; one that may write one, too.
        const QList<QStringList> emptyOut = {
            {"db-read", "--port", "sim", "--out", ""},
            {"db-add", "missing-a.bdt", "missing-b.bdt", "--out", ""},
            {"read-od", "--port", "sim", "--out", ""}};
        for (const QStringList &args : emptyOut) {
            QCOMPARE(run(args, &out, &err), 2);
            QVERIFY2(err.contains("--out") && err.contains(args.first().toUtf8()), err.constData());
        }
    }

    void pagesDrawnWithoutAWindowCarryTheirText()
    {
        // As a user starts it: no platform or font folder chosen for Qt. The
        // protocol's PDF must hold its text in an embedded font; drawn where Qt
        // finds no font (Windows' offscreen platform) it would hold none.
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("protocol.pdf"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("QT_QPA_FONTDIR"));
        QProcess p;
        p.setProcessEnvironment(environment);
        p.start(QStringLiteral(KALENT_SERVICE_PATH),
                {QStringLiteral("read-protocol"), QStringLiteral("--port"), QStringLiteral("sim"),
                 QStringLiteral("--pdf"), pdf, QStringLiteral("--data-dir"), dir.path()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("/FontFile2"));
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
