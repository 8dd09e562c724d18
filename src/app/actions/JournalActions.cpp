#include "Actions.h"
#include "HeadlessRun.h"
#include "StandardOutput.h"
#include "common/DataFolder.h"
#include "common/FileKind.h"
#include "common/SystemErrorText.h"
#include "journal/JournalFilter.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace kalent {

namespace {

// Read and written piece by piece: the journal only ever grows, and showing it
// never takes memory in proportion to its size.
constexpr qint64 PieceBytes = 64 * 1024;

} // namespace

int runJournal(const CommandLine &commandLine)
{
    QDateTime since;
    if (commandLine.has(QStringLiteral("since"))) {
        since = JournalFilter::parseSince(commandLine.value(QStringLiteral("since")));
        if (!since.isValid()) {
            return HeadlessRun::usageError(
                commandLine,
                QStringLiteral("Параметру --since нужна дата ГГГГ-ММ-ДД или дата и "
                               "время ГГГГ-ММ-ДДTЧЧ:ММ[:СС[.ммм]][Z], например 2026-05-14 "
                               "или 2026-05-14T09:30:02.118Z."));
        }
    }
    // Reading the journal creates nothing: not the data folder, not the file.
    const QString folder = DataFolder::resolvedPath(commandLine.value(QStringLiteral("data-dir")));
    const QString path = QDir(folder).filePath(QLatin1String(ServiceJournal::FileName));
    // A folder named on the command line that is not there is a mistyped name,
    // not an empty journal.
    if (commandLine.has(QStringLiteral("data-dir")) && !QFileInfo(folder).isDir()) {
        HeadlessRun::printError(
            QStringLiteral("Папка данных %1 не найдена: %2.")
                .arg(QDir::toNativeSeparators(folder),
                     SystemErrorText::fromErrno(QFileInfo::exists(folder) ? ENOTDIR : ENOENT)));
        return 1;
    }
    const auto cannotRead = [&path](const QString &why) {
        HeadlessRun::printError(QStringLiteral("Не удалось прочитать служебный журнал %1: %2")
                                    .arg(QDir::toNativeSeparators(path), why));
        return 1;
    };
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return cannotRead(why);
    QFile file(path);
    if (!file.exists()) {
        HeadlessRun::printError(
            QStringLiteral("Служебный журнал пока пуст: %1").arg(QDir::toNativeSeparators(path)));
        return 0;
    }
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead(SystemErrorText::translate(file.errorString()));

    // Standard output is checked where every action's output goes: a failure
    // there ends the reading, and the exit status says it.
    bool outputFailed = false;
    JournalFilter filter(since, [&outputFailed](const char *data, qint64 size) {
        if (!outputFailed)
            outputFailed = !StandardOutput::write(QByteArray::fromRawData(data, size), false);
    });
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(piece.data(), PieceBytes);
        if (got < 0)
            return cannotRead(SystemErrorText::translate(file.errorString()));
        if (got == 0)
            break;
        filter.feed(piece.constData(), got);
        if (outputFailed)
            return 1;
    }
    filter.finish();
    if (outputFailed)
        return 1;
    return 0;
}

} // namespace kalent
