#include "ConsoleProgress.h"

#include "common/LocalFileName.h"

namespace kalent {

ConsoleProgress::ConsoleProgress(bool terminal, Sink sink)
    : m_terminal(terminal), m_sink(std::move(sink))
{}

bool ConsoleProgress::isByteCount(const QString &text)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

void ConsoleProgress::message(const QString &text)
{
    finish();
    // A file name that is not UTF-8 is shown with its own bytes.
    m_sink(LocalFileName::encode(text) + '\n');
}

void ConsoleProgress::paneText(const QString &text)
{
    if (!isByteCount(text))
        return message(text);
    m_bytes = text.toLongLong();
    redraw();
}

void ConsoleProgress::progress(int percent)
{
    // The bar going back to rest is followed by the outcome's message.
    if (percent <= 0)
        return;
    m_percent = qMin(percent, 100);
    redraw();
}

void ConsoleProgress::finish()
{
    m_bytes = -1;
    m_percent = 0;
    if (m_shown.isEmpty())
        return;
    m_shown.clear();
    m_sink(QByteArrayLiteral("\n"));
}

void ConsoleProgress::redraw()
{
    if (!m_terminal)
        return;
    QString line;
    if (m_bytes >= 0)
        line = QStringLiteral("Принято: %1 байт").arg(m_bytes);
    if (m_percent > 0) {
        line = line.isEmpty() ? QStringLiteral("Выполнено: %1 %").arg(m_percent)
                              : QStringLiteral("%1, %2 %").arg(line).arg(m_percent);
    }
    if (line.isEmpty() || line == m_shown)
        return;
    // A shorter line than the last leaves none of the last one's tail.
    const qsizetype tail = m_shown.size() - line.size();
    QString padded = line;
    if (tail > 0)
        padded += QString(tail, QLatin1Char(' '));
    m_shown = line;
    m_sink('\r' + padded.toUtf8());
}

} // namespace kalent
