#include "store/StoreLocation.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace kalent {

StoreLocation StoreLocation::parse(const QString &given, const QString &dataFolder, QString *error)
{
    StoreLocation location;
    if (given.isEmpty()) {
        location.file = QDir(dataFolder).filePath(QLatin1String(FileName));
        return location;
    }
    const QUrl url(given, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() ||
        (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))) {
        *error = QStringLiteral("Параметру --store нужен адрес сервера PostgreSQL "
                                "postgresql://[ПОЛЬЗОВАТЕЛЬ@][СЕРВЕР][:ПОРТ]/БАЗА; без него "
                                "показания хранятся в файле %1 папки данных.")
                     .arg(QLatin1String(FileName));
        return location;
    }
    location.kind = Kind::PostgreSQL;
    location.host = url.host();
    location.port = url.port();
    location.user = url.userName();
    location.password = url.password();
    location.database = url.path().mid(1);
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        location.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("user")))
        location.user = query.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("password")))
        location.password = query.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        location.port = query.queryItemValue(QStringLiteral("port")).toInt();
    if (location.database.isEmpty() || location.database.contains(QLatin1Char('/')))
        *error = QStringLiteral("В адресе --store %1 не указана база данных (…/БАЗА).")
                     .arg(location.describe());
    return location;
}

QString StoreLocation::describe() const
{
    if (kind == Kind::SQLite)
        return QDir::toNativeSeparators(file);
    QString where = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port > 0)
        where += QLatin1Char(':') + QString::number(port);
    return QStringLiteral("postgresql://%1%2/%3")
        .arg(user.isEmpty() ? QString() : user + QLatin1Char('@'), where, database);
}

} // namespace kalent
