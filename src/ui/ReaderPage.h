#pragma once

#include <QWidget>

class QAction;
class QCheckBox;
class QFileDialog;
class QPushButton;
class QTableView;

namespace kalent {

class DesktopOpener;
class HeatMapGridModel;
class MessagePane;
class HeatMapLegend;
class OpticalDensityReader;
class PlateExporter;
class Session;
class ShadowPanel;

// The reader page (TabShReader): mirrors the session's OpticalDensityReader —
// the grid StringGrid1, the buttons and check boxes — and forwards clicks. The
// save dialog sdlgSaveVirDat and the open dialog odlgOpenFileToExcel live here;
// their outcome goes to the controller. File errors are shown in a message box.
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
    void connectControls();
    void applyHeatMap();
    void saveSelected(const QString &path);
    void loadPreferences();
    void storeCopyFormat();
    void showState();
    void widenGrid();
    void showFileError(const QString &message);

    OpticalDensityReader &m_reader;
    MessagePane &m_pane; // where a preferences file that is no file is said
    DesktopOpener &m_opener;
    ShadowPanel *m_panel6;
    QWidget *m_panel7;
    HeatMapGridModel *m_gridModel;
    QTableView *m_grid;
    QPushButton *m_btnReadOP;
    QPushButton *m_btnSaveOP;
    QPushButton *m_btnCreateExcel;
    QPushButton *m_btnFileToExcel;
    QCheckBox *m_chckAutoReadOP;
    QCheckBox *m_chckAutoSaveOP;
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
