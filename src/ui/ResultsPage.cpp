#include "ResultsPage.h"

#include "MeasurementWidgets.h"
#include "MessagePane.h"
#include "ObjectNames.h"
#include "ProtocolPrint.h"
#include "ResultsPresenter.h"
#include "Session.h"
#include "WidgetKit.h"
#include "common/OperatorTexts.h"
#include "link/LineOwner.h"
#include "measurement/ProtocolFileName.h"
#include "measurement/ProtocolHeading.h"
#include "measurement/ResultsProtocol.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalent {

ResultsPage::ResultsPage(Session &session, QWidget *parent)
    : QWidget(parent), m_results(session.results()), m_line(session.line()), m_pane(session.pane()),
      m_dataFolderPath(session.dataFolder().path())
{
    setObjectName(objectNames::results::Page); // placed on the tab sheet TabShResult
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(MeasurementWidgets::titleBand(
        objectNames::results::Title, QStringLiteral("Чтение протокола результатов из ВИРАНТа."),
        this));

    layout->addWidget(buildMemo());
    buildControls(layout);
    layout->addStretch(1);
    buildDialogs(m_dataFolderPath);
    buildPrintActions();
    connectControls();
    showProtocol(m_results.screenText());
    showState();
}

// The protocol's memo: the text as the instrument sent it, in a fixed-pitch font.
QPlainTextEdit *ResultsPage::buildMemo()
{
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(objectNames::results::Protocol);
    m_memo->setReadOnly(true);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setTabChangesFocus(false);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    m_memo->setFont(font);
    QPalette light = m_memo->palette();
    light.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xF0));
    m_memo->setPalette(light);
    m_memo->setFixedHeight(MemoHeight);
    return m_memo;
}

// The check boxes and the buttons under the memo, a row each.
void ResultsPage::buildControls(QBoxLayout *column)
{
    auto *boxes = new QHBoxLayout;
    m_autoReadBox = WidgetKit::checkBox(objectNames::results::AutoRead,
                                        QStringLiteral("автоприем данных"), this);
    m_autoSaveBox = WidgetKit::checkBox(objectNames::results::AutoSave,
                                        QStringLiteral("автосохранение данных"), this);
    boxes->addWidget(m_autoReadBox);
    boxes->addWidget(m_autoSaveBox);
    boxes->addStretch(1);
    column->addLayout(boxes);

    auto *buttons = new QHBoxLayout;
    m_readButton =
        WidgetKit::button(objectNames::results::Read, QStringLiteral("Принять данные"), this);
    m_saveButton =
        WidgetKit::button(objectNames::results::Save, QStringLiteral("Данные в файл"), this);
    m_clearButton =
        WidgetKit::button(objectNames::results::Clear, QStringLiteral("Очистить экран"), this);
    buttons->addWidget(m_readButton);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_clearButton);
    buttons->addStretch(1);
    column->addLayout(buttons);
}

// The save dialog and the PDF dialog, both opened in the data folder.
void ResultsPage::buildDialogs(const QString &folder)
{
    m_saveDialog = MeasurementWidgets::saveDialog(folder, this);
    m_pdfDialog = MeasurementWidgets::fileDialog(objectNames::results::PdfDialog, true,
                                                 QStringLiteral("Документ PDF (*.pdf)"),
                                                 QStringLiteral("pdf"), folder, this);
}

// Printing and PDF: shortcuts on the page and entries in the memo's context menu.
void ResultsPage::buildPrintActions()
{
    m_actionPrint = new QAction(QStringLiteral("Печать протокола..."), this);
    m_actionPrint->setObjectName(objectNames::results::PrintAction);
    m_actionPrint->setShortcut(QKeySequence::Print);
    m_actionPdf = new QAction(QStringLiteral("Протокол в PDF..."), this);
    m_actionPdf->setObjectName(objectNames::results::PdfAction);
    m_actionPdf->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    for (QAction *action : {m_actionPrint, m_actionPdf}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    m_memo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_memo, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu *menu = m_memo->createStandardContextMenu(at);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(m_actionPrint);
        menu->addAction(m_actionPdf);
        menu->popup(m_memo->viewport()->mapToGlobal(at));
    });
    connect(m_actionPrint, &QAction::triggered, this, &ResultsPage::print);
    connect(m_actionPdf, &QAction::triggered, this, &ResultsPage::openPdfDialog);
    connect(m_pdfDialog, &QFileDialog::fileSelected, this, &ResultsPage::savePdf);
}

// Clicks and choices go to the controller; its changes come back to the widgets.
void ResultsPage::connectControls()
{
    connect(m_readButton, &QPushButton::clicked, &m_results, &ResultsProtocol::readProtocol);
    connect(m_saveButton, &QPushButton::clicked, m_saveDialog, [this] { m_saveDialog->open(); });
    connect(m_clearButton, &QPushButton::clicked, this, [this] { showProtocol(QString()); });
    connect(m_saveDialog, &QFileDialog::fileSelected, &m_results, &ResultsProtocol::saveChosen);
    connect(m_autoReadBox, &QCheckBox::toggled, &m_results, &ResultsProtocol::setAutoRead);
    connect(m_autoSaveBox, &QCheckBox::toggled, &m_results, &ResultsProtocol::setAutoSave);

    connect(&m_results, &ResultsProtocol::protocolReceived, this,
            [this] { showProtocol(m_results.screenText()); });
    connect(&m_results, &ResultsProtocol::stateChanged, this, &ResultsPage::showState);
    connect(&m_line, &LineOwner::busyChanged, this, &ResultsPage::showState);
    connect(&m_results, &ResultsProtocol::fileError, this,
            [this](const QString &message) { MeasurementWidgets::showFileError(message, this); });
}

void ResultsPage::showProtocol(const QString &text)
{
    m_shownProtocol = text;
    m_memo->setPlainText(text);
}

QString ResultsPage::pageHeader() const
{
    return ProtocolHeading::fromText(m_results.protocol()).text();
}

bool ResultsPage::havePages()
{
    if (!m_shownProtocol.isEmpty())
        return true;
    MeasurementWidgets::showFileError(QStringLiteral("На экране нет протокола: печатать нечего."),
                                      this);
    return false;
}

void ResultsPage::print()
{
    if (!havePages())
        return;
    auto *printer = new QPrinter(QPrinter::HighResolution);
#ifdef Q_OS_WIN
    // Windows' print dialog is the system's own and knows only installed
    // printers; without one Qt falls back to its PDF writer, which that dialog
    // refuses with a warning on the console and nothing on the screen. The
    // operator is told instead, and where the protocol can still go.
    if (printer->outputFormat() != QPrinter::NativeFormat) {
        delete printer;
        MeasurementWidgets::showFileError(NoPrinterText, this);
        return;
    }
#endif
    printer->setDocName(pageHeader());
    auto *dialog = new QPrintDialog(printer, this);
    dialog->setObjectName(objectNames::results::PrintDialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Printing to a file, Qt would propose the home folder and the document's
    // name cut at its last dot ("…№12 от 24.03.pdf"). The dialog proposes what
    // "Протокол в PDF..." does instead: the data folder and the full dated name.
    if (auto *fileName = dialog->findChild<QLineEdit *>(objectNames::qtDialogs::PrintFileName))
        fileName->setText(QDir::toNativeSeparators(proposedPdfPath()));
    connect(dialog, &QDialog::destroyed, this, [printer] { delete printer; });
    connect(dialog, &QDialog::accepted, this, [this, printer] {
        const QString error = ProtocolPrint::render(*printer, m_shownProtocol, pageHeader());
        if (!error.isEmpty())
            MeasurementWidgets::showFileError(error, this);
    });
    dialog->open();
}

QString ResultsPage::proposedPdfPath() const
{
    // Named like the automatic save names the protocol, with ".pdf".
    return QDir(m_dataFolderPath)
        .filePath(ProtocolFileName::build(m_results.protocol()) + QStringLiteral(".pdf"));
}

void ResultsPage::openPdfDialog()
{
    if (!havePages())
        return;
    m_pdfDialog->selectFile(QFileInfo(proposedPdfPath()).fileName());
    m_pdfDialog->open();
}

void ResultsPage::savePdf(const QString &path)
{
    const QString error = ProtocolPrint::writePdf(path, m_shownProtocol, pageHeader());
    if (!error.isEmpty()) {
        MeasurementWidgets::showFileError(error, this);
        return;
    }
    m_pane.setText(OperatorTexts::dataWritten());
}

void ResultsPage::showState()
{
    ControlBinding::apply(this, ResultsPresenter::derive(m_results.state(), m_line.writing()));
}

} // namespace kalent
