#pragma once

#include <QWidget>

class QAction;
class QBoxLayout;
class QCheckBox;
class QFileDialog;
class QPlainTextEdit;
class QPushButton;

namespace kalent {

class LineOwner;

class MessagePane;
class ResultsProtocol;
class Session;

// The results page: the protocol's text in its memo (each protocol
// received whole, until "Очистить экран" clears the screen), the check boxes
// and buttons as ResultsPresenter derives them from the service's state, and
// clicks forwarded to the service; the save dialog tells it the
// chosen path. File errors are shown in a message box. Printing (the system's print dialog, Ctrl+P)
// and saving as PDF (Ctrl+Shift+P) are added to the memo's context menu and as shortcuts, so the
// described controls stay as they are; both put the memo's text on the pages.
class ResultsPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MemoHeight = 235;
    // "Печать протокола..." on a Windows PC with no printer installed.
    static inline const QString NoPrinterText =
        QStringLiteral("В системе не установлен ни один принтер: печатать некуда. "
                       "Протокол можно записать в файл командой \"Протокол в PDF...\".");

    ResultsPage(Session &session, QWidget *parent = nullptr);

    // The header of every printed page: the protocol's number and date.
    QString pageHeader() const;
    // Writes the memo's text as a PDF (after the PDF dialog chose the path).
    void savePdf(const QString &path);

private:
    QPlainTextEdit *buildMemo();
    void buildControls(QBoxLayout *column);
    void buildDialogs(const QString &folder);
    void buildPrintActions();
    void connectControls();
    void showProtocol(const QString &text);
    void showState();
    void print();
    void openPdfDialog();
    // The data folder and the protocol's dated name with ".pdf".
    QString proposedPdfPath() const;
    // False (and a message box) when the memo shows nothing to put on paper.
    bool havePages();

    ResultsProtocol &m_results;
    // A write to the instrument's memory holds the line: no read starts.
    LineOwner &m_line;
    MessagePane &m_pane;
    QPlainTextEdit *m_memo;
    // What the memo shows, as the service gave it (printed and saved as PDF).
    QString m_shownProtocol;
    QCheckBox *m_autoReadBox;
    QCheckBox *m_autoSaveBox;
    QPushButton *m_readButton;
    QPushButton *m_saveButton;
    QPushButton *m_clearButton;
    QFileDialog *m_saveDialog;
    QFileDialog *m_pdfDialog;
    QAction *m_actionPrint;
    QAction *m_actionPdf;
    // Where the protocol's files go unless the user picks another folder.
    QString m_dataFolderPath;
};

} // namespace kalent
