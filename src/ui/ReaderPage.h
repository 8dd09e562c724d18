#pragma once

#include <QWidget>

class QAction;
class QCheckBox;
class QFileDialog;
class QPushButton;
class QTableView;

namespace kalent {

class LineOwner;

class DesktopOpener;
class HeatMapGridModel;
class MessagePane;
class HeatMapLegend;
class OpticalDensityGridModel;
class OpticalDensityReader;
class PlateExporter;
class Session;
class ShadowPanel;

// The reader page: the plate's grid over the reader's table, the
// buttons and check boxes as ReaderPresenter derives them from the reader's
// state, and clicks forwarded to the reader. The save and open dialogs live
// here; their outcome goes to the reader. File errors are shown in a message box.
// Every showing of the page empties the grid's values (the reader keeps the
// table for saving) and widens its columns.
// The grid's context menu adds what the described page has no control for: the
// heat map of the plate and the copy (.xlsx or .csv) beside every file the
// automatic save writes; both are remembered between runs. The save dialog
// also writes the plate as an Excel workbook or CSV (PlateExporter).
class ReaderPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int HeaderColumnWidth = 15;
    static constexpr int ValueColumnWidth = 35;
    static constexpr int LabelledPanelWidth = 447;

    ReaderPage(Session &session, DesktopOpener &opener, QWidget *parent = nullptr);

    // Where the page's choices are kept between runs (QSettings, user scope).
    static constexpr const char *SettingsOrganization = "kalent-service";
    static constexpr const char *SettingsApplication = "kalent-service";
    static constexpr const char *HeatMapKey = "readerPage/heatMap";
    static constexpr const char *AutoSaveCopyKey = "readerPage/autoSaveCopy";

    bool heatMapOn() const { return m_heatMap; }
    void setHeatMap(bool on);

private:
    void buildPanels();
    QTableView *buildGrid();
    void buildControls();
    void buildContextMenu();
    void buildDialogs(const QString &folder);
    void connectControls(Session &session);
    void applyHeatMap();
    void saveSelected(const QString &path);
    void loadPreferences();
    void storeCopyFormat();
    void showState();
    void labelGrid();
    void showFileError(const QString &message);

    OpticalDensityReader &m_reader;
    MessagePane &m_pane; // where a preferences file that is no file is said
    // A write to the instrument's memory holds the line: no read starts.
    LineOwner &m_line;
    DesktopOpener &m_opener;
    ShadowPanel *m_pagePanel;
    QWidget *m_gridPanel;
    OpticalDensityGridModel *m_values;
    HeatMapGridModel *m_gridModel;
    QTableView *m_grid;
    QPushButton *m_readButton;
    QPushButton *m_saveButton;
    QPushButton *m_workbookButton;
    QPushButton *m_fileToWorkbookButton;
    QCheckBox *m_autoReadBox;
    QCheckBox *m_autoSaveBox;
    QFileDialog *m_saveDialog;
    QFileDialog *m_openDialog;
    PlateExporter *m_exporter;
    HeatMapLegend *m_legend;
    QAction *m_actionHeatMap;
    QAction *m_copyNone;
    QAction *m_copyXlsx;
    QAction *m_copyCsv;
    bool m_heatMap = false;
};

} // namespace kalent
