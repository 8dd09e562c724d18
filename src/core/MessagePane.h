#pragma once

#include <QObject>
#include <QString>

namespace kalent {

// The window's one message pane and one progress bar. Any part of the program
// replaces the text (it stays until the next one) and sets the percentage.
class MessagePane : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QString text() const { return m_text; }
    int progress() const { return m_progress; }

    void setText(const QString &text);
    // Clamped to 0..100.
    void setProgress(int percent);

Q_SIGNALS:
    // Raised for every write, also when the same text is written again, so a
    // log of the pane (the command line prints it) misses nothing.
    void textChanged(const QString &text);
    void progressChanged(int percent);

private:
    QString m_text;
    int m_progress = 0;
};

} // namespace kalent
