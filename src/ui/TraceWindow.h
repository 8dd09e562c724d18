#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace kalent {

class ExchangeTrace;
struct TraceRecord;

// The running exchange trace in a window of its own, beside the main window so
// the described layout stays as it is: one tab with the bytes in hex, one with
// them as text (windows-1251, control bytes shown as <xx>). Opened from the port
// panel's context menu or with Ctrl+Shift+T.
class TraceWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int KeptLines = 20000;

    explicit TraceWindow(ExchangeTrace &trace, QWidget *parent = nullptr);

    // The two lines a record shows as: hex and text.
    static QString hexLine(const TraceRecord &record);
    static QString textLine(const TraceRecord &record);

private:
    void add(const TraceRecord &record);

    QPlainTextEdit *m_hex;
    QPlainTextEdit *m_text;
    QLabel *m_status;
};

// Gives the main window the ways to open the trace window: the shortcut and an
// entry in the context menu of the port panel "RzGroupBox1".
void installTraceWindow(QWidget &mainWindow, ExchangeTrace &trace);

} // namespace kalent
