#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kalent {

// What a headless action writes to stderr. The messages go out line by line
// wherever stderr leads. The running progress of an exchange (the bytes of a
// table so far, the bar's percentage) is for a person watching a terminal only:
// there it is one line rewritten in place (a carriage return, no newline) and
// ended by a newline before the next message; a pipe or a service's log gets
// the messages alone, not a line per byte count.
class ConsoleProgress
{
public:
    using Sink = std::function<void(const QByteArray &)>;

    ConsoleProgress(bool terminal, Sink sink);

    bool terminal() const { return m_terminal; }

    // A message, on a line of its own.
    void message(const QString &text);
    // What the message pane showed: a bare number is the count of bytes
    // received so far (progress), anything else a message.
    void paneText(const QString &text);
    // The bar's percentage; 0 is the bar back at rest, which ends nothing.
    void progress(int percent);
    // Ends the progress line, if one is shown (the action is over).
    void finish();

    static bool isByteCount(const QString &text);

private:
    void redraw();

    bool m_terminal;
    Sink m_sink;
    qint64 m_bytes = -1;
    int m_percent = 0;
    // What the progress line shows now; empty when no line is open.
    QString m_shown;
};

} // namespace kalent
