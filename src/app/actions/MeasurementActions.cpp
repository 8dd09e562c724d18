#include "Actions.h"
#include "HeadlessRun.h"
#include "Session.h"
#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QDir>

namespace kalent {

namespace {

constexpr int PlateRows = 8;
constexpr int PlateColumns = 12;

// The 8 rows of the table: the row letter, then the 12 value texts as received.
QString tableLines(const OpticalDensityReader &reader)
{
    QString out;
    for (int row = 1; row <= PlateRows; ++row) {
        QStringList line{reader.cell(0, row).isEmpty() ? QString(QChar(u'A' + row - 1))
                                                       : reader.cell(0, row)};
        for (int column = 1; column <= PlateColumns; ++column)
            line.append(reader.cell(column, row));
        out += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

// An --out given without a file name is a usage error, said once for both actions.
bool outOptionUsable(const CommandLine &commandLine)
{
    if (commandLine.has(QStringLiteral("out")) &&
        commandLine.value(QStringLiteral("out")).isEmpty()) {
        HeadlessRun::usageError(commandLine, QStringLiteral("Параметру --out нужно имя файла."));
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
    if (!outOptionUsable(commandLine))
        return 2;
    const bool autoName = commandLine.flags.contains(QStringLiteral("auto-name"));
    HeadlessRun run(commandLine);
    OpticalDensityReader &reader = run.session().reader();
    QString fileError;
    QString savedPath;
    bool received = false;
    QObject::connect(&reader, &OpticalDensityReader::fileError,
                     [&](const QString &message) { fileError = message; });
    QObject::connect(&reader, &OpticalDensityReader::autoSaved,
                     [&](const QString &path) { savedPath = path; });
    QObject::connect(&reader, &OpticalDensityReader::tableReceived, [&] { received = true; });

    if (!run.establishFastLink())
        return 1;
    // With a name asked for, the table is saved the way the automatic save does it:
    // "D" follows the table and the instrument's name comes back.
    reader.setAutoSave(autoName);
    reader.btnReadOPClick();
    if (!run.waitFor([&] { return received || !fileError.isEmpty(); })) {
        HeadlessRun::printError(QStringLiteral("Прибор не прислал таблицу оптических плотностей."));
        return 1;
    }
    if (autoName && !run.waitFor([&] { return !savedPath.isEmpty() || !fileError.isEmpty(); })) {
        HeadlessRun::printError(QStringLiteral("Прибор не сообщил имя файла для таблицы."));
        return 1;
    }
    if (!fileError.isEmpty()) {
        HeadlessRun::printError(fileError);
        return 1;
    }
    if (commandLine.has(QStringLiteral("out"))) {
        if (!writeOutFile(commandLine, reader.opData()))
            return 1;
    } else {
        HeadlessRun::writeOut(tableLines(reader).toUtf8());
    }
    if (autoName)
        HeadlessRun::printOut(QDir::toNativeSeparators(savedPath));
    return 0;
}

int runReadProtocol(const CommandLine &commandLine)
{
    if (!outOptionUsable(commandLine))
        return 2;
    const bool autoName = commandLine.flags.contains(QStringLiteral("auto-name"));
    HeadlessRun run(commandLine);
    ResultsProtocol &results = run.session().results();
    QString failure;
    QString savedPath;
    bool received = false;
    QObject::connect(&results, &ResultsProtocol::fileError,
                     [&](const QString &message) { failure = message; });
    QObject::connect(&results, &ResultsProtocol::nothingToFetch, [&](int length) {
        failure = QStringLiteral("Прибор сообщил длину протокола %1: протокола нет.").arg(length);
    });
    QObject::connect(&results, &ResultsProtocol::lengthNotANumber, [&] {
        failure = QStringLiteral("Длина протокола в ответе прибора не является числом.");
    });
    QObject::connect(&results, &ResultsProtocol::autoSaved,
                     [&](const QString &path) { savedPath = path; });
    QObject::connect(&results, &ResultsProtocol::protocolReceived, [&] { received = true; });
    QObject::connect(&results, &ResultsProtocol::protocolEmpty,
                     [&] { failure = QStringLiteral("Прибор прислал пустой протокол."); });

    if (!run.establishFastLink())
        return 1;
    results.setAutoSave(autoName);
    results.btnReadProtokolClick();
    // The automatic save runs inside the same reply as the text, so one wait does.
    if (!run.waitFor([&] { return received || !failure.isEmpty(); })) {
        HeadlessRun::printError(QStringLiteral("Прибор не прислал протокол результатов."));
        return 1;
    }
    if (!failure.isEmpty()) {
        HeadlessRun::printError(failure);
        return 1;
    }
    const QByteArray text = results.protokolStream();
    if (commandLine.has(QStringLiteral("out"))) {
        if (!writeOutFile(commandLine, text))
            return 1;
    } else {
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
