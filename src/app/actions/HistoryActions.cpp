#include "Actions.h"
#include "HeadlessRun.h"
#include "ProtocolPrint.h"
#include "Session.h"
#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/DataFolder.h"
#include "journal/JournalFilter.h"
#include "measurement/PlateExport.h"
#include "measurement/ProtocolHeading.h"
#include "store/ReadingStore.h"
#include "store/SessionReadings.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace kalent {

namespace {

QString csvField(const QString &text)
{
    const bool plain = std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') ||
               c == QLatin1Char('\r');
    });
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

const QByteArray ListCsvHeader = "id,received_at,host,port,kind,name,protocol_date,files\r\n";

// The time as ISO 8601 in UTC with milliseconds ("2026-05-14T09:30:02.117Z"),
// made without a QDateTime: a long listing makes one per row.
QByteArray isoUtc(qint64 ms)
{
    constexpr qint64 DayMs = 24 * 3600 * 1000;
    const qint64 days = ms >= 0 ? ms / DayMs : -((-ms + DayMs - 1) / DayMs);
    const qint64 inDay = ms - days * DayMs;
    const QDate date = QDate(1970, 1, 1).addDays(days);
    char text[] = "0000-00-00T00:00:00.000Z";
    const auto put = [&text](int at, int value, int digits) {
        for (int i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, date.year(), 4);
    put(5, date.month(), 2);
    put(8, date.day(), 2);
    put(11, int(inDay / 3600000), 2);
    put(14, int(inDay / 60000 % 60), 2);
    put(17, int(inDay / 1000 % 60), 2);
    put(20, int(inDay % 1000), 3);
    return QByteArray(text, sizeof text - 1);
}

void appendCsvLine(const Reading &r, QByteArray *out)
{
    *out += QByteArray::number(r.id);
    *out += ',';
    *out += isoUtc(r.receivedAt.toMSecsSinceEpoch());
    for (const QString &field : {r.host, r.port, Reading::kindName(r.kind), r.name, r.protocolDate,
                                 r.files.join(QLatin1Char(';'))}) {
        *out += ',';
        *out += csvField(field).toUtf8();
    }
    *out += "\r\n";
}

QByteArray listJson(const QVector<Reading> &readings)
{
    QJsonArray array;
    for (const Reading &r : readings)
        array.append(r.summaryJson());
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

// A date on the command line: a day (the start of it; for --until the end of
// it) or a moment, as the journal takes them.
bool dateOption(const CommandLine &commandLine, const QString &option, bool dayEnds, QDateTime *out)
{
    if (!commandLine.has(option))
        return true;
    const QString given = commandLine.value(option);
    *out = JournalFilter::parseSince(given);
    if (!out->isValid())
        return false;
    if (dayEnds && !given.contains(QLatin1Char('T')))
        *out = out->addDays(1);
    return true;
}

QString describeReading(const Reading &r)
{
    QString text =
        QStringLiteral("Показание №%1: %2, %3, порт %4, компьютер %5")
            .arg(r.id)
            .arg(r.kind == Reading::Kind::Table ? QStringLiteral("таблица оптических плотностей")
                                                : QStringLiteral("протокол результатов"),
                 r.receivedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), r.port,
                 r.host);
    if (!r.name.isEmpty())
        text += r.kind == Reading::Kind::Table ? QStringLiteral(", имя %1").arg(r.name)
                                               : QStringLiteral(", №%1").arg(r.name);
    if (!r.protocolDate.isEmpty())
        text += QStringLiteral(" от %1").arg(r.protocolDate);
    for (const QString &file : r.files)
        text += QStringLiteral("\nФайл: %1").arg(QDir::toNativeSeparators(file));
    return text;
}

// Sheet names Excel takes: at most 31 characters, none of []:*?/\, each once.
QStringList sheetNames(const QVector<Reading> &readings)
{
    QStringList names;
    for (const Reading &r : readings) {
        QString name = QStringLiteral("№%1 %2").arg(r.id).arg(r.name);
        for (const QChar c : QStringLiteral("[]:*?/\\"))
            name.remove(c);
        name = name.trimmed().left(31);
        names.append(name);
    }
    return names;
}

int exportReadings(const CommandLine &commandLine, ReadingStore &store, const QStringList &ids)
{
    const QString format = commandLine.value(QStringLiteral("format"));
    const QString out = commandLine.value(QStringLiteral("out"));
    static const QStringList formats = {QStringLiteral("xlsx"), QStringLiteral("csv"),
                                        QStringLiteral("json"), QStringLiteral("pdf"),
                                        QStringLiteral("raw"),  QStringLiteral("txt")};
    if (!formats.contains(format))
        return HeadlessRun::usageError(
            commandLine,
            QStringLiteral("history export: --format xlsx, csv, json, pdf, txt или raw."));
    if (out.isEmpty())
        return HeadlessRun::usageError(commandLine, HeadlessRun::missingOutText());
    QVector<Reading> readings;
    for (const QString &given : ids) {
        bool ok = false;
        const qint64 id = given.toLongLong(&ok);
        if (!ok || id < 1)
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Номер показания — целое число: %1.").arg(given));
        Reading r;
        if (const QString error = store.get(id, &r); !error.isEmpty()) {
            HeadlessRun::printError(error);
            return 1;
        }
        readings.append(r);
    }
    const bool allTables = std::all_of(readings.cbegin(), readings.cend(), [](const Reading &r) {
        return r.kind == Reading::Kind::Table;
    });
    const bool several = readings.size() > 1;
    QByteArray bytes;
    QString error;
    if (format == QLatin1String("json") && several) {
        QJsonArray array;
        for (const Reading &r : std::as_const(readings))
            array.append(r.kind == Reading::Kind::Table
                             ? QJsonDocument::fromJson(PlateExport::json(r.table())).object()
                             : r.toJson());
        bytes = QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else if (format == QLatin1String("xlsx") && allTables) {
        QVector<PlateTable> tables;
        for (const Reading &r : std::as_const(readings))
            tables.append(r.table());
        bytes = several ? PlateExport::xlsxBook(tables, sheetNames(readings), &error)
                        : PlateExport::xlsx(tables.first(), &error);
    } else if (several) {
        return HeadlessRun::usageError(
            commandLine, QStringLiteral("Несколько показаний записываются только в xlsx (таблицы, "
                                        "лист на таблицу) или в json."));
    } else {
        const Reading &r = readings.first();
        const bool table = r.kind == Reading::Kind::Table;
        if (format == QLatin1String("raw"))
            bytes = r.raw;
        else if (format == QLatin1String("txt"))
            bytes = r.fileBytes();
        else if (table && format == QLatin1String("csv"))
            bytes =
                PlateExport::csv(r.table(), PlateExport::CsvStyle::forLocale(QLocale::system()));
        else if (table && format == QLatin1String("json"))
            bytes = PlateExport::json(r.table());
        else if (!table && format == QLatin1String("json"))
            bytes = QJsonDocument(r.toJson()).toJson(QJsonDocument::Indented);
        else if (!table && format == QLatin1String("pdf"))
            error = ProtocolPrint::writePdf(out, r.screenText(),
                                            ProtocolHeading::fromText(r.raw).text());
        else
            return HeadlessRun::usageError(
                commandLine, table ? QStringLiteral("Таблица записывается в xlsx, csv, json, txt "
                                                    "или raw.")
                                   : QStringLiteral("Протокол записывается в pdf, json, txt или "
                                                    "raw."));
        if (format == QLatin1String("pdf")) {
            if (!error.isEmpty()) {
                HeadlessRun::printError(error);
                return 1;
            }
            return 0;
        }
    }
    if (!error.isEmpty()) {
        HeadlessRun::printError(PlateExport::failureText(out, error));
        return 1;
    }
    if (const QString failed = AtomicFile::write(out, bytes); !failed.isEmpty()) {
        HeadlessRun::printError(failed);
        return 1;
    }
    return 0;
}

} // namespace

bool attachReadings(HeadlessRun &run, const CommandLine &commandLine,
                    std::unique_ptr<SessionReadings> *readings)
{
    QString error;
    *readings =
        SessionReadings::attach(run.session(), commandLine.value(QStringLiteral("store")), &error);
    if (!error.isEmpty()) {
        HeadlessRun::usageError(commandLine, error);
        return false;
    }
    if (*readings) {
        QObject::connect(&(*readings)->recorder(), &ReadingRecorder::message,
                         &HeadlessRun::printError);
        (*readings)->keeper().start();
    }
    return true;
}

int runHistory(const CommandLine &commandLine)
{
    if (!ReadingStore::availableInThisBuild()) {
        HeadlessRun::printError(ReadingStore::notInThisBuildText());
        return 1;
    }
    QStringList words = commandLine.positional;
    const QString step = words.isEmpty() ? QString() : words.first();
    if (step == QLatin1String("show") || step == QLatin1String("export") ||
        step == QLatin1String("list"))
        words.removeFirst();
    HistoryFilter filter;
    if (!dateOption(commandLine, QStringLiteral("since"), false, &filter.since) ||
        !dateOption(commandLine, QStringLiteral("until"), true, &filter.until))
        return HeadlessRun::usageError(
            commandLine, QStringLiteral("Параметрам --since и --until нужна дата ГГГГ-ММ-ДД или "
                                        "дата и время ГГГГ-ММ-ДДTЧЧ:ММ[:СС[.ммм]][Z]."));
    if (commandLine.has(QStringLiteral("kind"))) {
        filter.kind = Reading::kindFromName(commandLine.value(QStringLiteral("kind")));
        if (!filter.kind)
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Параметру --kind нужно table или protocol."));
    }
    filter.port = commandLine.value(QStringLiteral("port"));
    filter.text = words.join(QLatin1Char(' '));
    const QString format = commandLine.value(QStringLiteral("format"), QStringLiteral("csv"));
    const bool listing = step != QLatin1String("show") && step != QLatin1String("export");
    if (listing && format != QLatin1String("csv") && format != QLatin1String("json"))
        return HeadlessRun::usageError(commandLine,
                                       QStringLiteral("Список показаний: --format csv или json."));
    // Reading the history creates nothing: not the data folder, not the store.
    QString error;
    const StoreLocation location = StoreLocation::parse(
        commandLine.value(QStringLiteral("store")),
        DataFolder::resolvedPath(commandLine.value(QStringLiteral("data-dir"))), &error);
    if (!error.isEmpty())
        return HeadlessRun::usageError(commandLine, error);
    if (location.kind == StoreLocation::Kind::SQLite && !QFileInfo::exists(location.file)) {
        HeadlessRun::printError(QStringLiteral("Хранилище показаний пока пусто: %1")
                                    .arg(QDir::toNativeSeparators(location.file)));
        return listing ? 0 : 1;
    }
    ReadingStore store(location);

    if (step == QLatin1String("export")) {
        if (words.isEmpty())
            return HeadlessRun::usageError(commandLine,
                                           QStringLiteral("Не указаны номера показаний."));
        return exportReadings(commandLine, store, words);
    }
    if (step == QLatin1String("show")) {
        bool ok = false;
        const qint64 id = words.size() == 1 ? words.first().toLongLong(&ok) : 0;
        if (!ok)
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("history show: нужен один номер показания."));
        Reading r;
        if (const QString failed = store.get(id, &r); !failed.isEmpty()) {
            HeadlessRun::printError(failed);
            return 1;
        }
        if (commandLine.value(QStringLiteral("format")) == QLatin1String("json")) {
            HeadlessRun::writeOut(QJsonDocument(r.toJson()).toJson(QJsonDocument::Indented));
            return 0;
        }
        HeadlessRun::printOut(describeReading(r));
        QByteArray content = r.kind == Reading::Kind::Table ? PlateExport::lines(r.table())
                                                            : r.screenText().toUtf8();
        if (!content.endsWith('\n'))
            content += '\n';
        HeadlessRun::writeOut(content);
        return 0;
    }

    if (format == QLatin1String("json")) {
        QVector<Reading> readings;
        if (const QString failed = store.find(filter, &readings); !failed.isEmpty()) {
            HeadlessRun::printError(failed);
            return 1;
        }
        HeadlessRun::writeOut(listJson(readings));
        return 0;
    }
    // Written as read, in pieces: a long history is never held whole.
    constexpr int PieceBytes = 256 * 1024;
    QByteArray piece = ListCsvHeader;
    piece.reserve(PieceBytes + 1024);
    const QString failed = store.scan(filter, [&piece](const Reading &r) {
        appendCsvLine(r, &piece);
        if (piece.size() >= PieceBytes) {
            HeadlessRun::writeOut(piece);
            piece.clear();
        }
    });
    HeadlessRun::writeOut(piece);
    if (!failed.isEmpty()) {
        HeadlessRun::printError(failed);
        return 1;
    }
    return 0;
}

} // namespace kalent
