#pragma once

#include <QWidget>

class QCheckBox;
class QFileDialog;
class QPushButton;
class QTableWidget;

namespace kalent {

class DesktopOpener;
class OpticalDensityReader;
class Session;
class ShadowPanel;

// The reader page (TabShReader): mirrors the session's OpticalDensityReader —
// the grid StringGrid1, the buttons and check boxes — and forwards clicks. The
// save dialog sdlgSaveVirDat and the open dialog odlgOpenFileToExcel live here;
// their outcome goes to the controller. File errors are shown in a message box.
class ReaderPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int HeaderColumnWidth = 15;
    static constexpr int ValueColumnWidth = 35;
    static constexpr int LabelledPanelWidth = 447;

    ReaderPage(Session &session, DesktopOpener &opener, QWidget *parent = nullptr);

private:
    void showGrid();
    void showState();
    void widenGrid();
    void showFileError(const QString &message);

    OpticalDensityReader &m_reader;
    DesktopOpener &m_opener;
    ShadowPanel *m_panel6;
    QWidget *m_panel7;
    QTableWidget *m_grid;
    QPushButton *m_btnReadOP;
    QPushButton *m_btnSaveOP;
    QPushButton *m_btnCreateExcel;
    QPushButton *m_btnFileToExcel;
    QCheckBox *m_chckAutoReadOP;
    QCheckBox *m_chckAutoSaveOP;
    QFileDialog *m_saveDialog;
    QFileDialog *m_openDialog;
};

} // namespace kalent
