#pragma once

#include <QString>

namespace kalent {

// Where the readings are kept: an SQLite file in the data folder by default,
// or a PostgreSQL server named by a URL (postgresql://[USER[:PASSWORD]@][HOST]
// [:PORT]/DATABASE[?host=SOCKET-FOLDER&user=USER]), as libpq takes it: the
// server's name, the socket's folder and the user given either way.
struct StoreLocation
{
    static constexpr const char *FileName = "Readings.sqlite";

    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    QString file; // SQLite
    QString host; // PostgreSQL: a name, an address, or the socket's folder
    int port = -1;
    QString user;
    QString password;
    QString database;

    // given empty: the file in the data folder. On a URL that cannot be used,
    // *error says why (Russian) and the result is not to be used.
    static StoreLocation parse(const QString &given, const QString &dataFolder, QString *error);
    // For the operator, without the password.
    QString describe() const;
};

} // namespace kalent
