#pragma once

#include <QWidget>

class QCheckBox;
class QFileDialog;
class QPlainTextEdit;
class QPushButton;

namespace kalent {

class ResultsProtocol;
class Session;

// The results page (TabShResult): mirrors the session's ResultsProtocol — the
// memo Memo1, the check boxes and buttons — and forwards clicks; the save dialog
// sdlgSaveVirDat tells the controller the chosen path. File errors are shown in
// a message box.
class ResultsPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MemoHeight = 235;

    ResultsPage(Session &session, QWidget *parent = nullptr);

private:
    void showMemo();
    void showState();

    ResultsProtocol &m_results;
    QPlainTextEdit *m_memo;
    QCheckBox *m_chckAutoReadRes;
    QCheckBox *m_chckAutoSaveRes;
    QPushButton *m_btnReadProtokol;
    QPushButton *m_btnSaveProtokol;
    QPushButton *m_btnClrMemo1;
    QFileDialog *m_saveDialog;
};

} // namespace kalent
