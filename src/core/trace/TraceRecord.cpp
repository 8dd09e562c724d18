#include "trace/TraceRecord.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cmath>

namespace kalent {

namespace {

const char *directionName(TraceRecord::Direction direction)
{
    switch (direction) {
    case TraceRecord::Direction::Start:
        return "start";
    case TraceRecord::Direction::Sent:
        return "tx";
    case TraceRecord::Direction::Received:
        return "rx";
    case TraceRecord::Direction::Dropped:
        return "drop";
    case TraceRecord::Direction::Unasked:
        return "unasked";
    }
    return "tx";
}

bool isHex(const QByteArray &text)
{
    if (text.size() % 2 != 0)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

QByteArray TraceRecord::toJsonLine() const
{
    QJsonObject o;
    o.insert(QStringLiteral("t_us"), timeUs);
    o.insert(QStringLiteral("dir"), QLatin1String(directionName(direction)));
    if (direction == Direction::Start) {
        o.insert(QStringLiteral("wall"), wall);
    } else {
        o.insert(QStringLiteral("baud"), baud);
        o.insert(QStringLiteral("hex"), QString::fromLatin1(bytes.toHex()));
    }
    o.insert(QStringLiteral("port"), port);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<TraceRecord> TraceRecord::fromJsonLine(const QByteArray &line, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        *error = QStringLiteral("это не объект JSON");
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    TraceRecord r;
    const QJsonValue t = o.value(QStringLiteral("t_us"));
    if (t.isUndefined()) {
        *error = QStringLiteral("нет времени \"t_us\"");
        return std::nullopt;
    }
    // A time given in quotes or as anything else is there, only not a number.
    if (!t.isDouble()) {
        *error =
            QStringLiteral("время \"t_us\" не число, а %1: нужно целое число микросекунд")
                .arg(t.isString() ? QStringLiteral("строка") : QStringLiteral("другое значение"));
        return std::nullopt;
    }
    // Whole microseconds of one run: a fraction is no time this program wrote,
    // and a time past a year is no real run (it would hold the replay for ever).
    const double time = t.toDouble();
    if (!(time >= 0 && time <= static_cast<double>(LongestRunUs)) || time != std::floor(time)) {
        *error = QStringLiteral("время \"t_us\" не целое число микросекунд от 0 до %1")
                     .arg(LongestRunUs);
        return std::nullopt;
    }
    r.timeUs = static_cast<qint64>(time);
    r.port = o.value(QStringLiteral("port")).toString();
    const QString dir = o.value(QStringLiteral("dir")).toString();
    if (dir == QLatin1String("start")) {
        r.direction = Direction::Start;
        r.wall = o.value(QStringLiteral("wall")).toString();
        return r;
    }
    if (dir == QLatin1String("tx"))
        r.direction = Direction::Sent;
    else if (dir == QLatin1String("rx"))
        r.direction = Direction::Received;
    else if (dir == QLatin1String("drop"))
        r.direction = Direction::Dropped;
    else if (dir == QLatin1String("unasked"))
        r.direction = Direction::Unasked;
    else {
        *error = QStringLiteral("неизвестное направление \"dir\": %1").arg(dir);
        return std::nullopt;
    }
    const QByteArray hex = o.value(QStringLiteral("hex")).toString().toLatin1();
    if (!o.value(QStringLiteral("hex")).isString() || !isHex(hex)) {
        *error = QStringLiteral("\"hex\" не строка из пар шестнадцатеричных цифр");
        return std::nullopt;
    }
    r.bytes = QByteArray::fromHex(hex);
    // A speed given is a whole number of bauds; absent means not known (0).
    if (o.contains(QStringLiteral("baud"))) {
        const QJsonValue b = o.value(QStringLiteral("baud"));
        const double baud = b.toDouble(-1);
        if (!b.isDouble() || !(baud >= 0 && baud <= HighestBaud) || baud != std::floor(baud)) {
            *error =
                QStringLiteral("скорость \"baud\" не целое число бод от 0 до %1").arg(HighestBaud);
            return std::nullopt;
        }
        r.baud = static_cast<int>(baud);
    }
    return r;
}

} // namespace kalent
