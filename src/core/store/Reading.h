#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kalent {

class PlateTable;

// One reading the program received, as the store keeps it: an optical-density
// table or a results protocol, when and from which port it came, the
// instrument's name for it (the table's 19-character name, the protocol's
// number and date), its bytes exactly as received, the 96 values of a table as
// the plate value gives them, and the files it was saved to. Made once, when it
// arrived; its uid makes storing it again (from the queue, after a store that
// went away mid-write) store it once.
struct Reading
{
    enum class Kind { Table, Protocol };

    qint64 id = 0; // the store's number; 0 until stored
    QString uid;
    QDateTime receivedAt; // UTC
    QString host;         // the computer that received it
    QString port;
    Kind kind = Kind::Table;
    QString name;         // table: the instrument's name (when asked); protocol: its number
    QString protocolDate; // protocol: "DD.MM.YY" as the text gives it
    // Table: the reply, its code "D" first. Protocol: the text between its code
    // letter and its final character (what the protocol's files hold).
    QByteArray raw;
    QStringList values; // table: 96 texts, row A first, columns 1..12
    QStringList files;

    // A table as the reader holds it (its text is the reply with a blank for "D").
    static Reading fromTable(const PlateTable &table, const QString &port,
                             const QStringList &files);
    static Reading fromProtocol(const QByteArray &text, const QString &port,
                                const QStringList &files);

    // The table again, as the reader made it; empty for a protocol.
    PlateTable table() const;
    // The protocol's text as the results page shows it; empty for a table.
    QString screenText() const;
    // What a file of the reading holds (OPData, or the protocol's text): the
    // bytes of "--format raw" are raw itself.
    QByteArray fileBytes() const;

    static QString kindName(Kind kind);
    static std::optional<Kind> kindFromName(const QString &name);

    // Everything, raw as base64 (the queue's files, "history show --format json").
    QJsonObject toJson() const;
    static std::optional<Reading> fromJson(const QJsonObject &object);
    // Without raw and values (a line of the list).
    QJsonObject summaryJson() const;
};

} // namespace kalent
