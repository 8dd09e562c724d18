#pragma once

#include "store/Reading.h"
#include "store/StoreLocation.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

class QSqlDatabase;

namespace kalent {

// Which readings a list shows: all conditions given must hold. text is looked
// for, without regard to case, in the name, the port, the files and a
// protocol's text.
struct HistoryFilter
{
    QDateTime since; // invalid: from the first
    QDateTime until; // exclusive; invalid: to the last
    std::optional<Reading::Kind> kind;
    QString port;
    QString text;
};

// Where a page of the newest-first list ended: the next page starts after it.
struct HistoryCursor
{
    qint64 receivedMs = 0;
    qint64 id = 0;
};

// The readings store through Qt SQL: an SQLite file (WAL, a busy timeout, so a
// window and a watch service on one computer share it) or a PostgreSQL server
// (the watch services of several computers writing into one place). One schema,
// created and numbered by the program: open() brings an older store up to
// SchemaVersion and refuses a newer one, which this program cannot read.
// Storing a reading whose uid is already there adds no row and succeeds; it
// takes the files it now names (a file written after the reading was stored).
// Every call returns an empty string on success, otherwise why not (Russian,
// naming the store); after a failed call the next one connects again (a
// server back after a restart).
class ReadingStore
{
public:
    static constexpr int SchemaVersion = 2;

    // Whether this build has Qt SQL (the Windows build may not).
    static bool availableInThisBuild();
    // Why a store cannot be used in this build.
    static QString notInThisBuildText()
    {
        return QStringLiteral("Хранилище показаний не входит в эту сборку программы (она "
                              "собрана без Qt SQL).");
    }

    explicit ReadingStore(const StoreLocation &location);
    ~ReadingStore();
    ReadingStore(const ReadingStore &) = delete;
    ReadingStore &operator=(const ReadingStore &) = delete;

    const StoreLocation &location() const { return m_location; }
    // Connects (creating an SQLite file, the schema, or migrating it) unless open.
    QString open();
    bool isOpen() const;
    void close();

    // Stores the reading; *id gets its number (also when it was stored before).
    QString add(const Reading &reading, qint64 *id = nullptr);
    // Summaries (no raw bytes, no values) in the order received, oldest first;
    // newestFirst pages backwards from after (none: the newest), limit rows at most
    // (negative: no limit).
    QString find(const HistoryFilter &filter, QVector<Reading> *out, bool newestFirst = false,
                 std::optional<HistoryCursor> after = std::nullopt, int limit = -1);
    // find() a row at a time, handed on as it is read, nothing gathered (a long
    // listing streamed).
    QString scan(const HistoryFilter &filter, const std::function<void(const Reading &)> &row,
                 bool newestFirst = false, std::optional<HistoryCursor> after = std::nullopt,
                 int limit = -1);
    // The whole reading.
    QString get(qint64 id, Reading *out);

private:
    QString fail(const QString &what, const QString &reason);
    QString createOrMigrate();

    StoreLocation m_location;
    QString m_connectionName;
    // A call failed: the connection is dropped and made again at the next one.
    bool m_broken = false;
};

} // namespace kalent
