#include "Actions.h"
#include "HeadlessRun.h"
#include "MessagePane.h"
#include "Session.h"
#include "StopSignals.h"
#include "common/BoundedFile.h"
#include "common/Cp1251.h"
#include "common/OperatorTexts.h"
#include "database/DatabaseImage.h"
#include "database/DatabasePage.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <optional>

namespace kalent {

namespace {

// How long a stopped write waits for the pages already with the port to leave it.
constexpr int DrainMs = 5000;

// The page's file errors (a message box in the window) go to stderr.
DatabasePage &pageOf(HeadlessRun &run, bool *failed)
{
    DatabasePage &page = run.session().databasePage();
    QObject::connect(&page, &DatabasePage::errorRaised, [failed](const QString &text) {
        *failed = true;
        HeadlessRun::printError(text);
    });
    // A list text file that could not be written does not stop the command.
    QObject::connect(&page, &DatabasePage::warningRaised, [](const QString &text) {
        HeadlessRun::printError(QStringLiteral("Предупреждение: ") + text);
    });
    return page;
}

// A database holds at most its header and 999 pages; a larger input (a wrong
// file, /dev/zero) is refused before it is read whole.
bool readWhole(const QString &path, QByteArray *bytes)
{
    const QString error =
        BoundedFile::read(path, DatabaseImage::pageStart(DatabaseImage::MaxPages), bytes);
    if (error.isEmpty())
        return true;
    HeadlessRun::printError(error);
    return false;
}

// Runs a step that checks a file with the pane's texts held back: a refusal
// that does not name the file ("Неверный формат файла.") is said with its name.
// Texts starting with `quiet` are not said.
bool namingTheFile(HeadlessRun &run, const QString &path, const std::function<bool()> &step,
                   const QString &quiet = {})
{
    QStringList said;
    run.setPaneEcho(false);
    const QMetaObject::Connection held = QObject::connect(
        &run.session().pane(), &MessagePane::textChanged, [&said](const QString &text) {
            if (!text.isEmpty())
                said.append(text);
        });
    const bool taken = step();
    QObject::disconnect(held);
    run.setPaneEcho(true);
    const QString name = QFileInfo(path).fileName();
    for (const QString &text : std::as_const(said)) {
        if (!quiet.isEmpty() && text.startsWith(quiet))
            continue;
        HeadlessRun::printError(
            taken || text.contains(name)
                ? text
                : QStringLiteral("Файл %1: %2").arg(QDir::toNativeSeparators(path), text));
    }
    return taken;
}

// The file as "из файла..." reads it: the checks, then the file list.
bool openAsFileList(HeadlessRun &run, DatabasePage &page, const QString &path, const bool &failed)
{
    page.discardFileList();
    return namingTheFile(run, path, [&] { return page.openFileList(path) && !failed; });
}

// An image taken as the instrument list, as if it had just been read. No
// instrument is involved, so the page's count of pages received from it is not
// said, and a file refused names itself (the page's text may not).
bool takeAsInstrumentList(HeadlessRun &run, DatabasePage &page, const QString &path)
{
    QByteArray bytes;
    if (!readWhole(path, &bytes))
        return false;
    return namingTheFile(
        run, path, [&] { return page.takeInstrumentImage(bytes, QFileInfo(path).fileName()); },
        QStringLiteral("Принято из прибора страниц"));
}

int saveInstrumentList(DatabasePage &page, const QString &out, const bool &failed)
{
    page.saveInstrumentListTo(out);
    return failed ? 1 : 0;
}

// The outcome of the service's next read and write with the instrument, as it
// reports them (never guessed from its texts or counters).
class TransferOutcomes
{
public:
    explicit TransferOutcomes(DatabaseService &service)
    {
        QObject::connect(&service, &DatabaseService::jobEnded, &service,
                         [this](LineJob job, JobOutcome outcome, const QString &why) {
                             if (job == LineJob::DatabaseWrite) {
                                 m_write = outcome;
                                 m_writeWhy = why;
                                 // What reads next is the write's read-back, not its backup.
                                 m_read.reset();
                             } else {
                                 m_read = outcome;
                             }
                         });
        QObject::connect(&service, &DatabaseService::writeNotStarted, &service,
                         [this](const QString &why) { m_notStarted = why; });
        QObject::connect(&service, &DatabaseService::writeChecked, &service,
                         [this](JobOutcome outcome) { m_checked = outcome; });
    }
    // How the read-back after a write compared with what was sent.
    std::optional<JobOutcome> checked() const { return m_checked; }
    // Why a write that was asked for never started (its backup, the journal).
    std::optional<QString> notStarted() const { return m_notStarted; }
    std::optional<JobOutcome> read() const { return m_read; }
    std::optional<JobOutcome> write() const { return m_write; }
    // Why the write ended as it did (empty when done).
    const QString &writeWhy() const { return m_writeWhy; }

private:
    std::optional<JobOutcome> m_read;
    std::optional<JobOutcome> m_write;
    QString m_writeWhy;
    std::optional<QString> m_notStarted;
    std::optional<JobOutcome> m_checked;
};

// Waits for the read from the instrument that has been requested to end; on
// failure the last line says what did not happen.
bool waitForRead(HeadlessRun &run, const TransferOutcomes &outcomes, const QString &failure)
{
    const bool ended = run.waitFor([&] { return outcomes.read().has_value(); });
    if (outcomes.read() == JobOutcome::Done)
        return true;
    if (!ended)
        HeadlessRun::printError(OperatorTexts::noAnswer());
    HeadlessRun::printError(failure);
    return false;
}

// A --node path: names separated by "/"; "\/" stands for a "/" inside a name
// and "\\" for a backslash.
QStringList splitNodePath(const QString &path, bool *ok)
{
    QStringList parts{QString()};
    *ok = true;
    for (int i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\')) {
            if (i + 1 == path.size() ||
                (path.at(i + 1) != QLatin1Char('/') && path.at(i + 1) != QLatin1Char('\\'))) {
                *ok = false;
                return {};
            }
            parts.last().append(path.at(++i));
        } else if (c == QLatin1Char('/')) {
            parts.append(QString());
        } else {
            parts.last().append(c);
        }
    }
    return parts;
}

// A name as db-list prints it: control characters as \xNN and the backslash
// doubled, so every line is readable and says exactly which bytes the name holds.
QString printable(const QString &name)
{
    QString out;
    for (const QChar c : name) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        // C1 controls too: windows-1251 has no letter at 0x98, decoded as U+0098.
        else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

int runDbRead(const CommandLine &commandLine)
{
    // Required: the parser has refused the action without a name for it.
    const QString out = commandLine.value(QStringLiteral("out"));
    HeadlessRun run(commandLine);
    bool failed = false;
    DatabasePage &page = pageOf(run, &failed);
    if (!run.establishFastLink())
        return 1;
    const TransferOutcomes outcomes(page.service());
    page.readInstrumentList();
    if (!waitForRead(run, outcomes, QStringLiteral("БД ТС из прибора не считана.")))
        return 1;
    return saveInstrumentList(page, out, failed);
}

int runDbList(const CommandLine &commandLine)
{
    HeadlessRun run(commandLine);
    bool failed = false;
    DatabasePage &page = pageOf(run, &failed);
    if (!openAsFileList(run, page, commandLine.positional.first(), failed))
        return 1;
    QByteArray text;
    for (const TSNode *node : page.fileTree().nodesInOrder())
        text += QByteArray(node->level(), '\t') + printable(node->text()).toUtf8() + '\n';
    HeadlessRun::writeOut(text);
    return 0;
}

int runDbAdd(const CommandLine &commandLine)
{
    // Required: the parser has refused the action without a name for it.
    const QString out = commandLine.value(QStringLiteral("out"));
    HeadlessRun run(commandLine);
    bool failed = false;
    DatabasePage &page = pageOf(run, &failed);
    if (!takeAsInstrumentList(run, page, commandLine.positional.at(0)) || failed)
        return 1;
    if (!openAsFileList(run, page, commandLine.positional.at(1), failed))
        return 1;
    // A file that adds nothing leaves the list as it is.
    const DatabaseList &additional = page.database().additional();
    if (additional.exists() && additional.tsCount() > 0 && !page.addToInstrumentList())
        return 1;
    return saveInstrumentList(page, out, failed);
}

int runDbDelete(const CommandLine &commandLine)
{
    // Required: the parser has refused the action without a name for it.
    const QString out = commandLine.value(QStringLiteral("out"));
    const QStringList paths = commandLine.all(QStringLiteral("node"));
    HeadlessRun run(commandLine);
    bool failed = false;
    DatabasePage &page = pageOf(run, &failed);
    if (!takeAsInstrumentList(run, page, commandLine.positional.first()) || failed)
        return 1;
    std::vector<NodePath> nodes;
    for (const QString &path : paths) {
        bool ok = false;
        const QStringList parts = splitNodePath(path, &ok);
        if (!ok)
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Неверный путь узла %1: в имени \"/\" пишется как "
                                            "\"\\/\", обратная косая черта как \"\\\\\".")
                                 .arg(path));
        QList<QByteArray> names;
        for (const QString &part : parts)
            names.append(Cp1251::encode(part));
        const TSNode *node = names.size() <= 3 ? page.instrumentTree().findPath(names) : nullptr;
        if (!node) {
            HeadlessRun::printError(QStringLiteral("В списке прибора нет узла %1.").arg(path));
            return 1;
        }
        nodes.push_back(node->path());
    }
    page.selectInstrumentNodes(nodes);
    page.deleteSelected();
    return saveInstrumentList(page, out, failed);
}

namespace {

// A write to the instrument from the command line: of a .bdt file as the
// database page writes it, or (restore) of a backup's pages as they are.
int writeToInstrument(const CommandLine &commandLine, bool restore)
{
    // SIGTERM, SIGINT or SIGHUP (caught since the program started) stop the
    // write between two pages, through the same cancel as any other way out: the
    // pane and the journal say so, the program exits 1 and says what happened.
    StopSignals stopSignals;
    bool stopAsked = StopSignals::caught();
    const QString stopped = QStringLiteral("Остановка по сигналу: ");
    HeadlessRun run(commandLine);
    bool failed = false;
    DatabasePage &page = pageOf(run, &failed);
    DatabaseService &service = page.service();
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &service, [&] {
        stopAsked = true;
        service.cancel(QStringLiteral("получен сигнал остановки"));
    });
    const auto notStartedBySignal = [&] {
        HeadlessRun::printError(stopped + QStringLiteral("запись БД ТС в прибор не начата."));
        return 1;
    };
    if (stopAsked)
        return notStartedBySignal();
    if (!run.establishFastLink())
        return 1;
    const QString file = commandLine.positional.first();
    if (!restore && !openAsFileList(run, page, file, failed))
        return 1;
    if (stopAsked)
        return notStartedBySignal();
    // The instrument's database is read and saved under backups/ before the
    // write, unless --no-backup; the read that ends after the write is the read-back.
    service.setBackupBeforeWrite(!commandLine.has(QStringLiteral("no-backup")));
    service.setNoBackupWay(QStringLiteral("повторите команду с --no-backup"));
    const TransferOutcomes outcomes(service);
    if (!(restore ? page.restoreFrom(file) : page.writeFileList()))
        return 1; // the pane said why
    const bool ended = run.waitFor(
        [&] { return outcomes.write().has_value() || outcomes.notStarted().has_value(); });
    // A write that gave no outcome within the wait is stopped all the same, so
    // the journal says how it ended.
    if (!ended)
        service.cancel(OperatorTexts::noReply());
    // Nothing written is left in the system's queue: the instrument has every
    // page that went out whole, and nothing of the next.
    run.session().port().drain(DrainMs);
    if (outcomes.notStarted())
        return stopAsked ? notStartedBySignal() : 1; // else the pane said why
    if (outcomes.write() != JobOutcome::Done) {
        if (!ended || outcomes.writeWhy() == OperatorTexts::noReply())
            HeadlessRun::printError(OperatorTexts::noAnswer());
        HeadlessRun::printError(stopAsked ? stopped + QStringLiteral("запись БД ТС в прибор "
                                                                     "прервана.")
                                          : QStringLiteral("БД ТС в прибор не записана."));
        return 1;
    }
    // The write ends with the read-back that the service requests by itself.
    const bool readBack = waitForRead(
        run, outcomes, QStringLiteral("БД ТС записана в прибор, но не считана обратно."));
    // Only a read-back equal to what was sent is a write done (the pane said which
    // page differs otherwise).
    return readBack && outcomes.checked() == JobOutcome::Done ? 0 : 1;
}

} // namespace

int runDbWrite(const CommandLine &commandLine)
{
    return writeToInstrument(commandLine, false);
}

int runDbRestore(const CommandLine &commandLine)
{
    return writeToInstrument(commandLine, true);
}

} // namespace kalent
