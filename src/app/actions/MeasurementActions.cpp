#include "Actions.h"
#include "HeadlessRun.h"
#include "ProtocolPrint.h"
#include "Session.h"
#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/ResolvedPath.h"
#include "link/LineOwner.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/PlateExport.h"
#include "measurement/ProtocolHeading.h"
#include "measurement/ResultsProtocol.h"
#include "store/SessionReadings.h"

#include <QDir>

namespace kalent {

namespace {

// The outcome of the action's own exchange, as its handle gives it. One that
// failed (the instrument fell silent for the reply's deadline) ends the
// action's wait then, not at the action's --timeout, which only bounds a wait
// that still sees progress; so does one that could not start (the pane said
// why). A cancelled one is a port that closed itself, which the wait itself
// notices and says.
class ExchangeOutcome
{
public:
    void follow(JobHandle *job)
    {
        if (!job) {
            m_failed = true;
            return;
        }
        QObject::connect(job, &JobHandle::finished, &m_context, [this](const JobResult &result) {
            if (result.outcome == JobOutcome::Failed)
                m_failed = true;
        });
    }
    bool failed() const { return m_failed; }

private:
    QObject m_context;
    bool m_failed = false;
};

// An --out given without a file name is a usage error, said once for both actions.
bool outOptionUsable(const CommandLine &commandLine)
{
    if (commandLine.has(QStringLiteral("out")) &&
        commandLine.value(QStringLiteral("out")).isEmpty()) {
        HeadlessRun::usageError(commandLine, HeadlessRun::missingOutText());
        return false;
    }
    return true;
}

// How read-od writes the table: --format (txt, the instrument's own text, by
// default) and for CSV the separator and decimal mark, the locale's unless
// given. Reports a usage error and returns false when an option is unusable.
struct TableOutput
{
    PlateFormat format = PlateFormat::Text;
    PlateExport::CsvStyle style = PlateExport::CsvStyle::forLocale(QLocale::system());
};

bool oneCharacter(const QString &given, QChar *out)
{
    if (given == QLatin1String("tab") || given == QLatin1String("\\t")) {
        *out = QLatin1Char('\t');
        return true;
    }
    if (given.size() != 1)
        return false;
    *out = given.at(0);
    return true;
}

bool tableOutputUsable(const CommandLine &commandLine, TableOutput *output)
{
    if (commandLine.has(QStringLiteral("format"))) {
        const auto format =
            PlateExport::formatFromName(commandLine.value(QStringLiteral("format")));
        if (!format) {
            HeadlessRun::printError(QStringLiteral("Формат --format: txt, csv, xlsx или json."));
            return false;
        }
        output->format = *format;
    }
    if (output->format == PlateFormat::Xlsx && !commandLine.has(QStringLiteral("out"))) {
        HeadlessRun::printError(QStringLiteral("Для --format xlsx нужен --out ФАЙЛ."));
        return false;
    }
    if (commandLine.has(QStringLiteral("csv-separator")) &&
        !oneCharacter(commandLine.value(QStringLiteral("csv-separator")),
                      &output->style.separator)) {
        HeadlessRun::printError(
            QStringLiteral("Параметру --csv-separator нужен один символ или \"tab\"."));
        return false;
    }
    if (commandLine.has(QStringLiteral("csv-decimal")) &&
        !oneCharacter(commandLine.value(QStringLiteral("csv-decimal")),
                      &output->style.decimalMark)) {
        HeadlessRun::printError(QStringLiteral("Параметру --csv-decimal нужен один символ."));
        return false;
    }
    // A decimal comma asked for alone takes the semicolon as its separator, as
    // the locales with a decimal comma do, instead of clashing with the
    // comma a locale with a decimal point separates with.
    if (commandLine.has(QStringLiteral("csv-decimal")) &&
        !commandLine.has(QStringLiteral("csv-separator")) &&
        output->style.separator == output->style.decimalMark)
        output->style.separator =
            output->style.decimalMark == QLatin1Char(';') ? QLatin1Char(',') : QLatin1Char(';');
    const QString problem = output->style.problem();
    if (!problem.isEmpty()) {
        HeadlessRun::printError(problem);
        return false;
    }
    return true;
}

// The files the run will write, each under the option that names it (none of
// them a record of the data folder: checked before any action). Two that resolve to one file
// (through "./", "..", a symbolic link) would have the second write replace the
// first and the run still end in success: a usage error, said before anything
// is exchanged.
bool outputsDistinct(const CommandLine &commandLine, const QStringList &options)
{
    QList<QPair<QString, QString>> targets;
    for (const QString &option : options) {
        if (!commandLine.value(option).isEmpty())
            targets.append({QStringLiteral("--") + option, commandLine.value(option)});
    }
    for (int i = 0; i < targets.size(); ++i) {
        for (int j = i + 1; j < targets.size(); ++j) {
            if (!ResolvedPath::sameFile(targets.at(i).second, targets.at(j).second))
                continue;
            HeadlessRun::usageError(
                commandLine,
                QStringLiteral("%1 и %2 называют один и тот же файл %3: записанное вторым "
                               "заменило бы первое.")
                    .arg(targets.at(i).first, targets.at(j).first,
                         QDir::toNativeSeparators(ResolvedPath::of(targets.at(i).second))));
            return false;
        }
    }
    return true;
}

// With --auto-name the instrument names a file only during the exchange: an
// output option naming that same file is refused then, before it is written,
// and the automatic save stays as it is.
bool clearOfAutoSave(const CommandLine &commandLine, const QStringList &options,
                     const QString &savedPath)
{
    for (const QString &option : options) {
        const QString given = commandLine.value(option);
        if (given.isEmpty() || !ResolvedPath::sameFile(given, savedPath))
            continue;
        HeadlessRun::usageError(
            commandLine, QStringLiteral("--%1 называет файл %2, который уже записан под именем "
                                        "от прибора (--auto-name): он оставлен, --%1 не записан.")
                             .arg(option, QDir::toNativeSeparators(savedPath)));
        return false;
    }
    return true;
}

bool writeOutFile(const CommandLine &commandLine, const QByteArray &bytes)
{
    const QString error = AtomicFile::write(commandLine.value(QStringLiteral("out")), bytes);
    if (error.isEmpty())
        return true;
    HeadlessRun::printError(error);
    return false;
}

} // namespace

int runReadOd(const CommandLine &commandLine)
{
    TableOutput output;
    if (!outOptionUsable(commandLine) || !tableOutputUsable(commandLine, &output) ||
        !outputsDistinct(commandLine, {QStringLiteral("out"), QStringLiteral("trace")}))
        return 2;
    const bool autoName = commandLine.flags.contains(QStringLiteral("auto-name"));
    HeadlessRun run(commandLine);
    std::unique_ptr<SessionReadings> readings;
    if (!attachReadings(run, commandLine, &readings))
        return 2;
    OpticalDensityReader &reader = run.session().reader();
    QString fileError;
    QString savedPath;
    bool received = false;
    QObject::connect(&reader, &OpticalDensityReader::fileError,
                     [&](const QString &message) { fileError = message; });
    QObject::connect(&reader, &OpticalDensityReader::autoSaved,
                     [&](const QString &path) { savedPath = path; });
    QObject::connect(&reader, &OpticalDensityReader::tableReceived, [&] { received = true; });
    ExchangeOutcome exchange;

    if (!run.establishFastLink())
        return 1;
    // With a name asked for, the table is saved the way the automatic save does it:
    // "D" follows the table and the instrument's name comes back.
    reader.setAutoSave(autoName);
    exchange.follow(reader.readTable());
    if (!run.waitFor([&] { return received || !fileError.isEmpty() || exchange.failed(); }) ||
        (!received && fileError.isEmpty())) {
        HeadlessRun::printError(QStringLiteral("Прибор не прислал таблицу оптических плотностей."));
        return 1;
    }
    if (autoName && (!run.waitFor([&] {
            return !savedPath.isEmpty() || !fileError.isEmpty() || exchange.failed();
        }) || (savedPath.isEmpty() && fileError.isEmpty()))) {
        HeadlessRun::printError(QStringLiteral("Прибор не сообщил имя файла для таблицы."));
        return 1;
    }
    if (!fileError.isEmpty()) {
        HeadlessRun::printError(fileError);
        return 1;
    }
    if (autoName && !clearOfAutoSave(commandLine, {QStringLiteral("out")}, savedPath))
        return 2;
    QString formatError;
    const QByteArray table =
        PlateExport::bytes(output.format, reader.table(), output.style, &formatError);
    if (!formatError.isEmpty()) {
        HeadlessRun::printError(
            commandLine.has(QStringLiteral("out"))
                ? PlateExport::failureText(commandLine.value(QStringLiteral("out")), formatError)
                : QStringLiteral("Таблица не выведена: %1").arg(formatError));
        return 1;
    }
    if (commandLine.has(QStringLiteral("out"))) {
        if (!writeOutFile(commandLine, table))
            return 1;
    } else {
        HeadlessRun::writeOut(
            output.format == PlateFormat::Text ? PlateExport::lines(reader.table()) : table);
    }
    if (autoName)
        HeadlessRun::printOut(QDir::toNativeSeparators(savedPath));
    return 0;
}

bool actionDrawsPages(const CommandLine &commandLine)
{
    if (commandLine.action == QLatin1String("history"))
        return commandLine.value(QStringLiteral("format")) == QLatin1String("pdf");
    return commandLine.action == QLatin1String("read-protocol") &&
           commandLine.has(QStringLiteral("pdf"));
}

int runReadProtocol(const CommandLine &commandLine)
{
    if (!outOptionUsable(commandLine))
        return 2;
    const bool pdf = commandLine.has(QStringLiteral("pdf"));
    if (pdf && commandLine.value(QStringLiteral("pdf")).isEmpty()) {
        HeadlessRun::printError(QStringLiteral("Параметру --pdf нужно имя файла."));
        return 2;
    }
    const QStringList outputs{QStringLiteral("pdf"), QStringLiteral("out")};
    if (!outputsDistinct(commandLine, outputs + QStringList{QStringLiteral("trace")}))
        return 2;
    const bool autoName = commandLine.flags.contains(QStringLiteral("auto-name"));
    HeadlessRun run(commandLine);
    std::unique_ptr<SessionReadings> readings;
    if (!attachReadings(run, commandLine, &readings))
        return 2;
    ResultsProtocol &results = run.session().results();
    // The action prints or writes the text itself: nothing on the way goes to
    // the data folder, which may be full or elsewhere.
    results.setKeepsTemporaryFile(false);
    QString failure;
    QString savedPath;
    bool received = false;
    // A file the program keeps on the way (the protocol's copy in the data
    // folder) is not what the user asked for: the message says which output is
    // lost too.
    QStringList asked;
    for (const QString &option : outputs) {
        if (commandLine.has(option))
            asked.append(QDir::toNativeSeparators(commandLine.value(option)));
    }
    QObject::connect(&results, &ResultsProtocol::fileError, [&](const QString &message) {
        failure = asked.isEmpty() ? QStringLiteral("Протокол не выведен: %1").arg(message)
                                  : QStringLiteral("Протокол не записан в %1: %2")
                                        .arg(asked.join(QStringLiteral(", ")), message);
    });
    QObject::connect(&results, &ResultsProtocol::nothingToFetch, [&](int length) {
        failure = QStringLiteral("Прибор сообщил длину протокола %1: протокола нет.").arg(length);
    });
    QObject::connect(&results, &ResultsProtocol::lengthNotANumber, [&] {
        failure = QStringLiteral("Длина протокола в ответе прибора не является числом.");
    });
    QObject::connect(&results, &ResultsProtocol::autoSaved,
                     [&](const QString &path) { savedPath = path; });
    QObject::connect(&results, &ResultsProtocol::protocolReceived, [&] { received = true; });
    ExchangeOutcome exchange;
    QObject::connect(&results, &ResultsProtocol::protocolEmpty,
                     [&] { failure = QStringLiteral("Прибор прислал пустой протокол."); });

    if (!run.establishFastLink())
        return 1;
    results.setAutoSave(autoName);
    exchange.follow(results.readProtocol());
    // The automatic save runs inside the same reply as the text, so one wait does.
    if (!run.waitFor([&] { return received || !failure.isEmpty() || exchange.failed(); }) ||
        (!received && failure.isEmpty())) {
        HeadlessRun::printError(QStringLiteral("Прибор не прислал протокол результатов."));
        return 1;
    }
    if (!failure.isEmpty()) {
        HeadlessRun::printError(failure);
        return 1;
    }
    if (autoName && !clearOfAutoSave(commandLine, outputs, savedPath))
        return 2;
    const QByteArray text = results.protocol();
    if (pdf) {
        // The memo's text, with the protocol's number and date on every page.
        const QString error =
            ProtocolPrint::writePdf(commandLine.value(QStringLiteral("pdf")), results.screenText(),
                                    ProtocolHeading::fromText(text).text());
        if (!error.isEmpty()) {
            HeadlessRun::printError(error);
            return 1;
        }
    }
    if (commandLine.has(QStringLiteral("out"))) {
        if (!writeOutFile(commandLine, text))
            return 1;
    } else if (!pdf) {
        QByteArray shown = Cp1251::decode(text).toUtf8();
        if (autoName && !shown.isEmpty() && !shown.endsWith('\n'))
            shown += '\n';
        HeadlessRun::writeOut(shown);
    }
    if (autoName)
        HeadlessRun::printOut(QDir::toNativeSeparators(savedPath));
    return 0;
}

} // namespace kalent
