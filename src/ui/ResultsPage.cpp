#include "ResultsPage.h"

#include "MeasurementWidgets.h"
#include "Session.h"
#include "measurement/ResultsProtocol.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalent {

ResultsPage::ResultsPage(Session &session, QWidget *parent)
    : QWidget(parent), m_results(session.results())
{
    setObjectName(QStringLiteral("ResultsPage")); // placed on the tab sheet TabShResult
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(MeasurementWidgets::titleBand(
        QStringLiteral("RzLabel7"), QStringLiteral("Чтение протокола результатов из ВИРАНТа."),
        this));

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
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
    layout->addWidget(m_memo);

    auto *boxes = new QHBoxLayout;
    m_chckAutoReadRes = MeasurementWidgets::checkBox(QStringLiteral("chckAutoReadRes"),
                                                     QStringLiteral("автоприем данных"), this);
    m_chckAutoSaveRes = MeasurementWidgets::checkBox(QStringLiteral("chckAutoSaveRes"),
                                                     QStringLiteral("автосохранение данных"), this);
    boxes->addWidget(m_chckAutoReadRes);
    boxes->addWidget(m_chckAutoSaveRes);
    boxes->addStretch(1);
    layout->addLayout(boxes);

    auto *buttons = new QHBoxLayout;
    m_btnReadProtokol = MeasurementWidgets::button(QStringLiteral("btnReadProtokol"),
                                                   QStringLiteral("Принять данные"), this);
    m_btnSaveProtokol = MeasurementWidgets::button(QStringLiteral("btnSaveProtokol"),
                                                   QStringLiteral("Данные в файл"), this);
    m_btnClrMemo1 = MeasurementWidgets::button(QStringLiteral("btnClrMemo1"),
                                               QStringLiteral("Очистить экран"), this);
    buttons->addWidget(m_btnReadProtokol);
    buttons->addWidget(m_btnSaveProtokol);
    buttons->addWidget(m_btnClrMemo1);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);

    m_saveDialog = MeasurementWidgets::saveDialog(session.dataFolder().path(), this);

    connect(m_btnReadProtokol, &QPushButton::clicked, &m_results,
            &ResultsProtocol::btnReadProtokolClick);
    connect(m_btnSaveProtokol, &QPushButton::clicked, m_saveDialog,
            [this] { m_saveDialog->open(); });
    connect(m_btnClrMemo1, &QPushButton::clicked, &m_results, &ResultsProtocol::btnClrMemo1Click);
    connect(m_saveDialog, &QFileDialog::fileSelected, &m_results, &ResultsProtocol::saveChosen);
    connect(m_chckAutoReadRes, &QCheckBox::toggled, &m_results, &ResultsProtocol::setAutoRead);
    connect(m_chckAutoSaveRes, &QCheckBox::toggled, &m_results, &ResultsProtocol::setAutoSave);

    connect(&m_results, &ResultsProtocol::memoChanged, this, &ResultsPage::showMemo);
    connect(&m_results, &ResultsProtocol::stateChanged, this, &ResultsPage::showState);
    connect(&m_results, &ResultsProtocol::fileError, this,
            [this](const QString &message) { MeasurementWidgets::showFileError(message, this); });
    showMemo();
    showState();
}

void ResultsPage::showMemo()
{
    m_memo->setPlainText(m_results.memoText());
}

void ResultsPage::showState()
{
    m_btnReadProtokol->setEnabled(m_results.readEnabled());
    m_btnSaveProtokol->setEnabled(m_results.saveEnabled());
    m_btnClrMemo1->setEnabled(m_results.clearEnabled());
    const QSignalBlocker blockRead(m_chckAutoReadRes);
    const QSignalBlocker blockSave(m_chckAutoSaveRes);
    m_chckAutoReadRes->setChecked(m_results.autoRead());
    m_chckAutoSaveRes->setChecked(m_results.autoSave());
}

} // namespace kalent
