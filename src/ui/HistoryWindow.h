#pragma once

#include "store/ReadingStore.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace kalent {

class HeatMapGridModel;
class HeatMapLegend;
class HistoryListModel;
class OpticalDensityGridModel;
class ReadingKeeper;

// "История": the stored readings in a window of their own, beside the main
// window so the described layout stays as it is. A filter by dates, kind and
// text; the list, newest first, read lazily; the chosen reading shown as the
// reader page shows a table (the grid, with the heat map) or as the results
// page shows a protocol, and saved (its file's bytes) or exported (the
// formats of a live read; several tables into one workbook, a sheet each).
// Opened from the port panel's context menu or with Ctrl+Shift+H.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryWindow(const StoreLocation &location, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    HistoryListModel &model() { return *m_model; }
    // Reads the list again under the filter shown.
    void refresh();
    // The reading shown (id 0: none).
    const Reading &shown() const { return m_shown; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void build();
    HistoryFilter filterShown() const;
    void showChosen();
    void saveChosen();
    void exportChosen();
    QVector<Reading> chosenReadings();
    QString askForFile(const QString &title, const QString &filters, const QString &name);
    void report(const QString &message);

    ReadingStore m_store;
    HistoryListModel *m_model;
    Reading m_shown;
    QCheckBox *m_fromOn;
    QDateEdit *m_from;
    QCheckBox *m_toOn;
    QDateEdit *m_to;
    QComboBox *m_kind;
    QLineEdit *m_text;
    QTableView *m_list;
    QStackedWidget *m_detail;
    OpticalDensityGridModel *m_values;
    HeatMapGridModel *m_heat;
    QTableView *m_grid;
    HeatMapLegend *m_legend;
    QPlainTextEdit *m_protocol;
    QPushButton *m_save;
    QPushButton *m_export;
    QLabel *m_status;
};

// Gives the main window the ways to open the history: the shortcut and an entry
// in the context menu of the port panel "RzGroupBox1". The list follows each
// reading the keeper stores while the window is shown.
void installHistoryWindow(QWidget &mainWindow, const StoreLocation &location,
                          ReadingKeeper *keeper);

} // namespace kalent
