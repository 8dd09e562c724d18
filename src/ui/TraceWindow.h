#pragma once

#include "trace/TraceListModel.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QListView;
class QPlainTextEdit;
class QTabWidget;

namespace kalent {

class ExchangeTrace;

// The running exchange trace in a window of its own, beside the main window so
// the described layout stays as it is: one tab with the bytes in hex, one with
// them as text (windows-1251, control bytes shown as <xx>), one row per record
// the trace keeps, a long record cut with its length and shown whole below when
// chosen. Opened from the port panel's context menu or with Ctrl+Shift+T.
//
// It costs nothing while it is hidden, which it mostly is: the rows follow the
// trace only while the window is shown, CatchUpMs after a record at the most,
// and lines are made only for the rows painted. A view at its last row stays
// there as rows come; one the operator moved up keeps the record at its top in
// place while new rows come and the oldest go.
class TraceWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int CatchUpMs = 100;

    explicit TraceWindow(ExchangeTrace &trace, QWidget *parent = nullptr);

    TraceListModel &model() { return m_model; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Where a view stands: at its last row, following the trace, or with the
    // record of this number at its top.
    struct Place
    {
        bool follows;
        qint64 topNumber;
    };
    Place placeOf(const QListView *view) const;
    void keep(QListView *view, Place place);

    void recordAdded();
    void catchUp();
    // The record chosen in the tab shown, whole, in that tab's rendering.
    void showDetail();

    TraceListModel m_model;
    QTabWidget *m_tabs;
    QListView *m_hex;
    QListView *m_text;
    QPlainTextEdit *m_detail;
    QLabel *m_status;
    QTimer m_catchUp;
};

// Gives the main window the ways to open the trace window: the shortcut and an
// entry in the context menu of the port panel "RzGroupBox1".
void installTraceWindow(QWidget &mainWindow, ExchangeTrace &trace);

} // namespace kalent
