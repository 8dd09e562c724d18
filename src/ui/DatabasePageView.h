#pragma once

#include <QFileDialog>
#include <QFrame>
#include <QItemSelectionModel>

class QAction;
class QGroupBox;
class QLabel;
class QPushButton;

namespace kalent {

class DatabasePage;
class DatabaseTreeView;
class LineOwner;
class Session;

// The database page (tab "БД ТС"): the instrument list on the left, the file list
// and the additional list on the right. It shows what the presenter derives from
// the session's DatabasePage, forwards clicks to it and runs the open and save
// dialogs; TreeViewVir's selection model follows the page's selection (the view
// draws it, the page alone changes it). Constructing it tells the page navigator
// that the frame exists.
class DatabasePageView : public QFrame
{
    Q_OBJECT
public:
    DatabasePageView(Session &session, QWidget *parent = nullptr);

private:
    void buildInstrumentBox(quint32 colour);
    void buildFileBox(quint32 colour);
    void buildAdditionalBox(quint32 colour);
    void buildLayout();
    void connectControls();
    QString askForFile(const QString &objectName, QFileDialog::AcceptMode mode,
                       const QString &folder = {});
    // A restore is an act of its own: the instrument tree's context menu and
    // Ctrl+Shift+R, never one of the described buttons.
    void buildRestoreAction();
    void restoreFromBackup();
    void showState();
    void mirrorSelection();
    void saveToFile();
    void readFromFile();

    DatabasePage &m_page;
    // While any exchange holds the line, the buttons that start one are off.
    LineOwner &m_line;
    // The link's instrument controls as told since the page was made.
    bool m_instrumentControlsUp = true;
    QLabel *m_title;
    QGroupBox *m_instrumentBox;
    QGroupBox *m_fileBox;
    QGroupBox *m_additionalBox;
    DatabaseTreeView *m_virTree;
    QItemSelectionModel *m_virSelection;
    DatabaseTreeView *m_fileTree;
    DatabaseTreeView *m_addTree;
    QPushButton *m_readFromVir;
    QPushButton *m_saveToFile;
    QPushButton *m_delete;
    QPushButton *m_writeInstrumentList;
    QPushButton *m_readFromFile;
    QPushButton *m_writeFileList;
    QPushButton *m_add;
    QAction *m_restore = nullptr;
    // Asked for explicitly, for the next write only.
    QAction *m_withoutBackup = nullptr;
};

} // namespace kalent
