#include "store/ReadingStore.h"

#include "measurement/PlateTable.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace kalent {

namespace {

// An SQLite store shared by a window and a watch service waits this long for
// the other's write before it gives up (and the reading waits in the queue).
constexpr int BusyTimeoutMs = 5000;
// A lab server that does not answer is given up after this many seconds.
constexpr int ConnectTimeoutSeconds = 5;
// Serialises two programs that create or migrate one PostgreSQL store at once.
constexpr qint64 SchemaLockKey = 0x4b616c656e74; // "Kalent"

QString filesText(const QStringList &files)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact));
}

QStringList filesFrom(const QString &text)
{
    // Most readings have no file or one: no document to parse for none.
    if (text == QLatin1String("[]"))
        return {};
    QStringList out;
    for (const QJsonValue &v : QJsonDocument::fromJson(text.toUtf8()).array())
        out.append(v.toString());
    return out;
}

// What a text filter looks through, in lower case so that both databases find
// "ИФА" in "Протокол ифа" alike.
QString searchText(const Reading &r)
{
    QStringList parts{r.name, r.port, r.files.join(QLatin1Char('\n'))};
    if (r.kind == Reading::Kind::Protocol)
        parts.append(r.screenText());
    return parts.join(QLatin1Char('\n')).toLower();
}

QString likePattern(const QString &text)
{
    QString escaped = text.toLower();
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

const char *const SummaryColumns =
    "id, uid, received_ms, host, port, kind, name, protocol_date, files";

Reading summaryFrom(const QSqlQuery &q)
{
    Reading r;
    r.id = q.value(0).toLongLong();
    r.uid = q.value(1).toString();
    r.receivedAt = QDateTime::fromMSecsSinceEpoch(q.value(2).toLongLong(), Qt::UTC);
    r.host = q.value(3).toString();
    r.port = q.value(4).toString();
    r.kind = Reading::kindFromName(q.value(5).toString()).value_or(Reading::Kind::Table);
    r.name = q.value(6).toString();
    r.protocolDate = q.value(7).toString();
    r.files = filesFrom(q.value(8).toString());
    return r;
}

// Qt binds a null QString as NULL; the columns hold empty texts instead.
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString sqlReason(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("неизвестная ошибка базы данных") : text;
}

} // namespace

bool ReadingStore::availableInThisBuild()
{
    return true;
}

ReadingStore::ReadingStore(const StoreLocation &location)
    : m_location(location),
      m_connectionName(QStringLiteral("readings-") + QUuid::createUuid().toString())
{}

ReadingStore::~ReadingStore()
{
    close();
}

bool ReadingStore::isOpen() const
{
    return !m_broken && QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

void ReadingStore::close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString ReadingStore::fail(const QString &what, const QString &reason)
{
    // Closed at the next call, once no query of this one is alive.
    m_broken = true;
    return QStringLiteral("Хранилище показаний %1: %2: %3")
        .arg(m_location.describe(), what, reason);
}

QString ReadingStore::open()
{
    if (m_broken) {
        close();
        m_broken = false;
    }
    if (isOpen())
        return {};
    const bool sqlite = m_location.kind == StoreLocation::Kind::SQLite;
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(QStringLiteral("не открыто"),
                    sqlite ? QStringLiteral("нет драйвера SQLite для Qt (пакет libqt6sql6-sqlite)")
                           : QStringLiteral("нет драйвера PostgreSQL для Qt (пакет "
                                            "libqt6sql6-psql)"));
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
    if (sqlite) {
        // A folder that is not there is a mistake, not a place to create.
        if (!QFileInfo(QFileInfo(m_location.file).absolutePath()).isDir())
            return fail(QStringLiteral("не открыто"), QStringLiteral("нет такой папки"));
        db.setDatabaseName(m_location.file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    } else {
        db.setHostName(m_location.host);
        if (m_location.port > 0)
            db.setPort(m_location.port);
        db.setUserName(m_location.user);
        db.setPassword(m_location.password);
        db.setDatabaseName(m_location.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(ConnectTimeoutSeconds));
    }
    if (!db.open())
        return fail(QStringLiteral("не открыто"), sqlReason(db.lastError()));
    if (sqlite) {
        QSqlQuery pragma(db);
        // WAL: a reader never waits for a writer, and a window and a watch
        // service write in turn. FULL: a reading said stored is on the disk (a
        // table read without a file of its own is nowhere else).
        if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !pragma.exec(QStringLiteral("PRAGMA synchronous=FULL")))
            return fail(QStringLiteral("не открыто"), sqlReason(pragma.lastError()));
    }
    return createOrMigrate();
}

QString ReadingStore::createOrMigrate()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const bool sqlite = m_location.kind == StoreLocation::Kind::SQLite;
    QSqlQuery q(db);
    const auto run = [&q](const QString &sql) {
        return q.exec(sql);
    };
    const auto failed = [&] {
        const QString reason = sqlReason(q.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return fail(QStringLiteral("схема не создана"), reason);
    };
    // One program at a time creates or migrates the schema.
    if (sqlite ? !run(QStringLiteral("BEGIN IMMEDIATE"))
               : (!run(QStringLiteral("BEGIN")) ||
                  !run(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey))))
        return failed();
    if (!run(
            QStringLiteral("CREATE TABLE IF NOT EXISTS store_schema (version INTEGER NOT NULL)")) ||
        !run(QStringLiteral("SELECT MAX(version) FROM store_schema")))
        return failed();
    int version = q.next() && !q.value(0).isNull() ? q.value(0).toInt() : 0;
    if (version > SchemaVersion) {
        run(QStringLiteral("ROLLBACK"));
        const QString text =
            QStringLiteral("Хранилище показаний %1 ведёт более новая версия программы (схема %2, "
                           "эта программа знает схемы до %3). Обновите программу; хранилище "
                           "оставлено как есть.")
                .arg(m_location.describe())
                .arg(version)
                .arg(SchemaVersion);
        m_broken = true;
        return text;
    }
    if (version == 0) {
        // The first schema, from which every store is brought up to the present one.
        const QString id = sqlite ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")
                                  : QStringLiteral("BIGSERIAL PRIMARY KEY");
        const QString blob = sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
        if (!run(QStringLiteral("CREATE TABLE readings (id %1, uid TEXT NOT NULL UNIQUE, "
                                "received_ms BIGINT NOT NULL, port TEXT NOT NULL, "
                                "kind TEXT NOT NULL, name TEXT NOT NULL, raw %2 NOT NULL, "
                                "files TEXT NOT NULL)")
                     .arg(id, blob)) ||
            !run(QStringLiteral("INSERT INTO store_schema (version) VALUES (1)")))
            return failed();
        version = 1;
    }
    if (version == 1) {
        // Schema 2: the computer, a protocol's date, a table's values and the text
        // a filter looks through, made from the bytes each reading already holds.
        for (const char *column : {"host", "protocol_date", "plate_values", "search_text"})
            if (!run(QStringLiteral("ALTER TABLE readings ADD COLUMN %1 TEXT NOT NULL DEFAULT ''")
                         .arg(QLatin1String(column))))
                return failed();
        if (!run(QStringLiteral("CREATE INDEX readings_received ON readings (received_ms, id)")) ||
            !run(QStringLiteral("SELECT id, kind, raw, name, port, files FROM readings")))
            return failed();
        // Read whole before any row changes under the reading query.
        QVector<Reading> rows;
        QVector<qint64> ids;
        while (q.next()) {
            const QByteArray raw = q.value(2).toByteArray();
            Reading made = Reading::kindFromName(q.value(1).toString()) == Reading::Kind::Protocol
                               ? Reading::fromProtocol(raw, {}, {})
                               : Reading::fromTable(PlateTable::fromReply(raw), {}, {});
            made.name = q.value(3).toString();
            made.port = q.value(4).toString();
            made.files = filesFrom(q.value(5).toString());
            rows.append(made);
            ids.append(q.value(0).toLongLong());
        }
        QSqlQuery update(db);
        update.prepare(QStringLiteral("UPDATE readings SET protocol_date = ?, plate_values = ?, "
                                      "search_text = ? WHERE id = ?"));
        for (int i = 0; i < rows.size(); ++i) {
            update.addBindValue(notNull(rows.at(i).protocolDate));
            update.addBindValue(filesText(rows.at(i).values));
            update.addBindValue(searchText(rows.at(i)));
            update.addBindValue(ids.at(i));
            if (!update.exec()) {
                const QString reason = sqlReason(update.lastError());
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                return fail(QStringLiteral("схема не обновлена"), reason);
            }
        }
        if (!run(QStringLiteral("UPDATE store_schema SET version = 2")))
            return failed();
        version = 2;
    }
    // A listing reads only this index, never the rows with their bytes and
    // values (three times quicker over 100,000 readings). Any schema takes it,
    // so an older program still shares the store. Only on SQLite: a server's
    // index holds no long entry, and a reading with many files would not be stored.
    if (sqlite &&
        !run(QStringLiteral("CREATE INDEX IF NOT EXISTS readings_listed ON readings "
                            "(received_ms, id, uid, host, port, kind, name, protocol_date, "
                            "files)")))
        return failed();
    if (!run(QStringLiteral("COMMIT")))
        return failed();
    return {};
}

QString ReadingStore::add(const Reading &reading, qint64 *id)
{
    if (const QString error = open(); !error.isEmpty())
        return error;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO readings (uid, received_ms, host, port, kind, name, protocol_date, raw, "
        "plate_values, files, search_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (uid) DO UPDATE SET files = excluded.files, "
        "search_text = excluded.search_text"));
    q.addBindValue(notNull(reading.uid));
    q.addBindValue(reading.receivedAt.toMSecsSinceEpoch());
    q.addBindValue(notNull(reading.host));
    q.addBindValue(notNull(reading.port));
    q.addBindValue(Reading::kindName(reading.kind));
    q.addBindValue(notNull(reading.name));
    q.addBindValue(notNull(reading.protocolDate));
    q.addBindValue(reading.raw);
    q.addBindValue(filesText(reading.values));
    q.addBindValue(filesText(reading.files));
    q.addBindValue(searchText(reading));
    if (!q.exec())
        return fail(QStringLiteral("показание не сохранено"), sqlReason(q.lastError()));
    if (!id)
        return {};
    q.prepare(QStringLiteral("SELECT id FROM readings WHERE uid = ?"));
    q.addBindValue(notNull(reading.uid));
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("показание не найдено"), sqlReason(q.lastError()));
    *id = q.value(0).toLongLong();
    return {};
}

QString ReadingStore::find(const HistoryFilter &filter, QVector<Reading> *out, bool newestFirst,
                           std::optional<HistoryCursor> after, int limit)
{
    return scan(
        filter, [out](const Reading &r) { out->append(r); }, newestFirst, after, limit);
}

QString ReadingStore::scan(const HistoryFilter &filter,
                           const std::function<void(const Reading &)> &row, bool newestFirst,
                           std::optional<HistoryCursor> after, int limit)
{
    if (const QString error = open(); !error.isEmpty())
        return error;
    QStringList where;
    QVariantList values;
    if (filter.since.isValid()) {
        where.append(QStringLiteral("received_ms >= ?"));
        values.append(filter.since.toMSecsSinceEpoch());
    }
    if (filter.until.isValid()) {
        where.append(QStringLiteral("received_ms < ?"));
        values.append(filter.until.toMSecsSinceEpoch());
    }
    if (filter.kind) {
        where.append(QStringLiteral("kind = ?"));
        values.append(Reading::kindName(*filter.kind));
    }
    if (!filter.port.isEmpty()) {
        where.append(QStringLiteral("port = ?"));
        values.append(filter.port);
    }
    if (!filter.text.isEmpty()) {
        where.append(QStringLiteral("search_text LIKE ? ESCAPE '!'"));
        values.append(likePattern(filter.text));
    }
    if (after) {
        // The index on (received_ms, id) serves this without a sort.
        where.append(newestFirst
                         ? QStringLiteral("(received_ms < ? OR (received_ms = ? AND id < ?))")
                         : QStringLiteral("(received_ms > ? OR (received_ms = ? AND id > ?))"));
        values << after->receivedMs << after->receivedMs << after->id;
    }
    QString sql = QStringLiteral("SELECT %1 FROM readings").arg(QLatin1String(SummaryColumns));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += newestFirst ? QStringLiteral(" ORDER BY received_ms DESC, id DESC")
                       : QStringLiteral(" ORDER BY received_ms, id");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant &v : std::as_const(values))
        q.addBindValue(v);
    if (!q.exec())
        return fail(QStringLiteral("список не прочитан"), sqlReason(q.lastError()));
    while (q.next())
        row(summaryFrom(q));
    return {};
}

QString ReadingStore::get(qint64 id, Reading *out)
{
    if (const QString error = open(); !error.isEmpty())
        return error;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(QStringLiteral("SELECT %1, raw, plate_values FROM readings WHERE id = ?")
                  .arg(QLatin1String(SummaryColumns)));
    q.addBindValue(id);
    if (!q.exec())
        return fail(QStringLiteral("показание не прочитано"), sqlReason(q.lastError()));
    if (!q.next())
        return QStringLiteral("В хранилище показаний %1 нет показания №%2.")
            .arg(m_location.describe())
            .arg(id);
    *out = summaryFrom(q);
    out->raw = q.value(9).toByteArray();
    out->values = filesFrom(q.value(10).toString());
    return {};
}

} // namespace kalent
