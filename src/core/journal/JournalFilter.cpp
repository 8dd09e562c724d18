#include "journal/JournalFilter.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cstring>

namespace kalent {

namespace {

// Longer than any stamp the journal writes ("2026-05-14T09:31:02.118Z"): a
// line whose start runs past it without a tab has no time.
constexpr int LongestStamp = 40;

} // namespace

JournalFilter::JournalFilter(const QDateTime &since, Sink sink)
    : m_since(since), m_sink(std::move(sink))
{}

void JournalFilter::feed(const char *data, qint64 size)
{
    if (!m_since.isValid()) {
        if (size > 0)
            m_sink(data, size);
        return;
    }
    const char *end = data + size;
    while (data < end) {
        if (m_mode == Mode::Stamp) {
            const char c = *data;
            if (c == '\n') {
                ++data;
                if (!m_stamp.isEmpty()) { // a line without a time: kept
                    m_stamp += '\n';
                    m_sink(m_stamp.constData(), m_stamp.size());
                }
                m_stamp.clear();
                continue;
            }
            m_stamp += c;
            ++data;
            if (c == '\t' || m_stamp.size() > LongestStamp)
                decide();
            continue;
        }
        const void *found = std::memchr(data, '\n', static_cast<size_t>(end - data));
        const char *stop = found ? static_cast<const char *>(found) + 1 : end;
        if (m_mode == Mode::Keep)
            m_sink(data, stop - data);
        data = stop;
        if (found)
            m_mode = Mode::Stamp;
    }
}

void JournalFilter::decide()
{
    QDateTime stamp;
    if (m_stamp.endsWith('\t'))
        stamp = QDateTime::fromString(QString::fromLatin1(m_stamp.chopped(1)), Qt::ISODateWithMs);
    m_mode = !stamp.isValid() || stamp >= m_since ? Mode::Keep : Mode::Skip;
    if (m_mode == Mode::Keep)
        m_sink(m_stamp.constData(), m_stamp.size());
    m_stamp.clear();
}

void JournalFilter::finish()
{
    if (!m_since.isValid())
        return;
    if (m_mode == Mode::Stamp && !m_stamp.isEmpty()) {
        m_stamp += '\n';
        m_sink(m_stamp.constData(), m_stamp.size());
    } else if (m_mode == Mode::Keep) {
        m_sink("\n", 1);
    }
    m_stamp.clear();
    m_mode = Mode::Stamp;
}

QDateTime JournalFilter::parseSince(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?)?(Z?)$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return {};
    QTime time(0, 0);
    if (m.capturedLength(4) > 0) {
        // A fraction is of a second: ".1" is 100 ms, as the journal's ".118" is 118.
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                     m.capturedLength(6) > 0 ? m.captured(6).toInt() : 0,
                     m.capturedLength(7) > 0 ? m.captured(7).leftJustified(3, u'0').toInt() : 0);
        if (!time.isValid())
            return {};
    }
    if (m.capturedLength(8) > 0)
        return QDateTime(date, time, QTimeZone::utc());
    return QDateTime(date, time);
}

} // namespace kalent
