#include "store/Reading.h"

#include "common/Cp1251.h"
#include "measurement/PlateTable.h"
#include "measurement/ProtocolHeading.h"

#include <QJsonArray>
#include <QSysInfo>
#include <QUuid>

namespace kalent {

namespace {

Reading newReading(Reading::Kind kind, const QString &port, const QStringList &files)
{
    Reading r;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.receivedAt = QDateTime::currentDateTimeUtc();
    r.host = QSysInfo::machineHostName();
    r.port = port;
    r.kind = kind;
    r.files = files;
    return r;
}

QJsonArray toArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList fromArray(const QJsonValue &value)
{
    QStringList out;
    for (const QJsonValue &v : value.toArray())
        out.append(v.toString());
    return out;
}

} // namespace

Reading Reading::fromTable(const PlateTable &table, const QString &port, const QStringList &files)
{
    Reading r = newReading(Kind::Table, port, files);
    if (table.title().readAt.isValid())
        r.receivedAt = table.title().readAt.toUTC();
    r.name = table.title().instrumentFileName;
    // The text is the reply with a blank for its code: the code goes back.
    r.raw = table.text();
    if (!r.raw.isEmpty())
        r.raw[0] = 'D';
    for (int row = 1; row <= PlateTable::Rows; ++row)
        for (int column = 1; column <= PlateTable::Columns; ++column)
            r.values.append(table.value(row, column).text);
    return r;
}

Reading Reading::fromProtocol(const QByteArray &text, const QString &port, const QStringList &files)
{
    Reading r = newReading(Kind::Protocol, port, files);
    const ProtocolHeading heading = ProtocolHeading::fromText(text);
    r.name = heading.number;
    r.protocolDate = heading.date;
    r.raw = text;
    return r;
}

PlateTable Reading::table() const
{
    if (kind != Kind::Table)
        return {};
    return PlateTable::fromReply(raw, PlateTitle{name, receivedAt.toLocalTime()});
}

QString Reading::screenText() const
{
    if (kind != Kind::Protocol)
        return {};
    QString shown = Cp1251::decode(raw);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QByteArray Reading::fileBytes() const
{
    return kind == Kind::Table ? table().text() : raw;
}

QString Reading::kindName(Kind kind)
{
    return kind == Kind::Table ? QStringLiteral("table") : QStringLiteral("protocol");
}

std::optional<Reading::Kind> Reading::kindFromName(const QString &name)
{
    if (name == QLatin1String("table"))
        return Kind::Table;
    if (name == QLatin1String("protocol"))
        return Kind::Protocol;
    return std::nullopt;
}

QJsonObject Reading::summaryJson() const
{
    QJsonObject o;
    if (id > 0)
        o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("receivedAt"), receivedAt.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("host"), host);
    o.insert(QStringLiteral("port"), port);
    o.insert(QStringLiteral("kind"), kindName(kind));
    o.insert(QStringLiteral("name"), name);
    if (kind == Kind::Protocol)
        o.insert(QStringLiteral("protocolDate"), protocolDate);
    o.insert(QStringLiteral("files"), toArray(files));
    return o;
}

QJsonObject Reading::toJson() const
{
    QJsonObject o = summaryJson();
    o.insert(QStringLiteral("uid"), uid);
    o.insert(QStringLiteral("raw"), QString::fromLatin1(raw.toBase64()));
    if (kind == Kind::Table)
        o.insert(QStringLiteral("values"), toArray(values));
    return o;
}

std::optional<Reading> Reading::fromJson(const QJsonObject &o)
{
    const auto kind = kindFromName(o.value(QStringLiteral("kind")).toString());
    const QByteArray base64 = o.value(QStringLiteral("raw")).toString().toLatin1();
    const auto raw =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    Reading r;
    r.uid = o.value(QStringLiteral("uid")).toString();
    r.receivedAt =
        QDateTime::fromString(o.value(QStringLiteral("receivedAt")).toString(), Qt::ISODateWithMs);
    if (!kind || !raw || r.uid.isEmpty() || !r.receivedAt.isValid())
        return std::nullopt;
    r.id = o.value(QStringLiteral("id")).toInteger();
    r.kind = *kind;
    r.raw = *raw;
    r.host = o.value(QStringLiteral("host")).toString();
    r.port = o.value(QStringLiteral("port")).toString();
    r.name = o.value(QStringLiteral("name")).toString();
    r.protocolDate = o.value(QStringLiteral("protocolDate")).toString();
    r.values = fromArray(o.value(QStringLiteral("values")));
    r.files = fromArray(o.value(QStringLiteral("files")));
    return r;
}

} // namespace kalent
