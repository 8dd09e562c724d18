#include "HistoryWindow.h"

#include "FileDialogLook.h"
#include "HeatMapGridModel.h"
#include "HeatMapLegend.h"
#include "HistoryListModel.h"
#include "MeasurementWidgets.h"
#include "ObjectNames.h"
#include "ProtocolPrint.h"
#include "WidgetKit.h"
#include "common/AtomicFile.h"
#include "measurement/OpticalDensityGridModel.h"
#include "measurement/PlateExport.h"
#include "measurement/ProtocolHeading.h"
#include "store/ReadingKeeper.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace kalent {

namespace {

QString tableFilters()
{
    return QStringLiteral("Книга Excel (*.xlsx);;Таблица CSV (*.csv);;JSON (*.json)");
}

QString protocolFilters()
{
    return QStringLiteral("PDF (*.pdf);;JSON (*.json)");
}

} // namespace

HistoryWindow::HistoryWindow(const StoreLocation &location, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(location)
{
    setObjectName(objectNames::history::Window);
    setWindowTitle(QStringLiteral("История"));
    m_model = new HistoryListModel(m_store, this);
    build();
    connect(m_model, &HistoryListModel::failed, this, &HistoryWindow::report);
    resize(900, 600);
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::build()
{
    auto *filterRow = new QHBoxLayout;
    const QDate today = QDate::currentDate();
    const auto dateBox = [this, filterRow](QCheckBox *&on, QDateEdit *&edit, QLatin1String onName,
                                           QLatin1String name, const QString &text,
                                           const QDate &date) {
        on = new QCheckBox(text, this);
        on->setObjectName(onName);
        edit = new QDateEdit(date, this);
        edit->setObjectName(name);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        filterRow->addWidget(on);
        filterRow->addWidget(edit);
    };
    dateBox(m_fromOn, m_from, objectNames::history::FromOn, objectNames::history::From,
            QStringLiteral("с"), today.addDays(-7));
    dateBox(m_toOn, m_to, objectNames::history::ToOn, objectNames::history::To,
            QStringLiteral("по"), today);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(objectNames::history::Kind);
    m_kind->addItems(
        {QStringLiteral("Все"), QStringLiteral("Таблицы"), QStringLiteral("Протоколы")});
    m_text = new QLineEdit(this);
    m_text->setObjectName(objectNames::history::Text);
    m_text->setPlaceholderText(QStringLiteral("Текст: имя, порт, файл, протокол"));
    m_text->setClearButtonEnabled(true);
    auto *find = new QPushButton(QStringLiteral("Найти"), this);
    find->setObjectName(objectNames::history::Find);
    filterRow->addWidget(m_kind);
    filterRow->addWidget(m_text, 1);
    filterRow->addWidget(find);
    connect(find, &QPushButton::clicked, this, &HistoryWindow::refresh);
    connect(m_text, &QLineEdit::returnPressed, this, &HistoryWindow::refresh);

    m_list = new QTableView(this);
    m_list->setObjectName(objectNames::history::List);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setColumnWidth(HistoryListModel::Received, 140);
    m_list->setColumnWidth(HistoryListModel::Name, 170);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::showChosen);

    // The table as the reader page shows it, heat map on; the protocol as the
    // results page shows it.
    m_values = new OpticalDensityGridModel(this);
    m_heat = new HeatMapGridModel(*m_values, this);
    m_heat->setHeatMap(true);
    m_grid = new QTableView(this);
    m_grid->setObjectName(objectNames::history::Grid);
    m_grid->setModel(m_heat);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->horizontalHeader()->setDefaultSectionSize(52);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    MeasurementWidgets::fitValuesToColumns(m_grid, 52);
    m_legend = new HeatMapLegend(this);
    m_legend->setFixedHeight(36);
    auto *tablePage = new QWidget(this);
    auto *tableLayout = new QVBoxLayout(tablePage);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(m_grid, 1);
    tableLayout->addWidget(m_legend);
    m_protocol = new QPlainTextEdit(this);
    m_protocol->setObjectName(objectNames::history::Protocol);
    m_protocol->setReadOnly(true);
    m_protocol->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    m_protocol->setFont(font);
    m_detail = new QStackedWidget(this);
    m_detail->addWidget(new QWidget(this));
    m_detail->addWidget(tablePage);
    m_detail->addWidget(m_protocol);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_list);
    splitter->addWidget(m_detail);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    m_save = new QPushButton(QStringLiteral("Данные в файл"), this);
    m_save->setObjectName(objectNames::history::Save);
    m_export = new QPushButton(QStringLiteral("Экспорт..."), this);
    m_export->setObjectName(objectNames::history::Export);
    m_save->setEnabled(false);
    m_export->setEnabled(false);
    connect(m_save, &QPushButton::clicked, this, &HistoryWindow::saveChosen);
    connect(m_export, &QPushButton::clicked, this, &HistoryWindow::exportChosen);
    m_status = new QLabel(this);
    m_status->setObjectName(objectNames::history::Status);
    m_status->setWordWrap(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addWidget(m_export);
    buttons->addWidget(m_status, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

HistoryFilter HistoryWindow::filterShown() const
{
    HistoryFilter filter;
    if (m_fromOn->isChecked())
        filter.since = m_from->date().startOfDay();
    if (m_toOn->isChecked())
        filter.until = m_to->date().addDays(1).startOfDay();
    if (m_kind->currentIndex() == 1)
        filter.kind = Reading::Kind::Table;
    else if (m_kind->currentIndex() == 2)
        filter.kind = Reading::Kind::Protocol;
    filter.text = m_text->text().trimmed();
    return filter;
}

void HistoryWindow::refresh()
{
    m_status->clear();
    m_model->setFilter(filterShown());
    m_shown = Reading();
    m_values->clear();
    m_detail->setCurrentIndex(0);
    m_save->setEnabled(false);
    m_export->setEnabled(false);
}

void HistoryWindow::report(const QString &message)
{
    m_status->setText(message);
}

void HistoryWindow::showChosen()
{
    const QModelIndex current = m_list->currentIndex();
    if (!current.isValid())
        return;
    Reading reading;
    if (const QString error = m_store.get(m_model->summary(current.row()).id, &reading);
        !error.isEmpty()) {
        report(error);
        return;
    }
    m_shown = reading;
    if (reading.kind == Reading::Kind::Table) {
        m_values->show(reading.table());
        double low = 0;
        double high = 0;
        m_legend->setVisible(m_heat->range(&low, &high));
        m_legend->setRange(low, high);
        m_detail->setCurrentIndex(1);
    } else {
        m_protocol->setPlainText(reading.screenText());
        m_detail->setCurrentIndex(2);
    }
    m_save->setEnabled(true);
    m_export->setEnabled(true);
    m_status->clear();
}

QString HistoryWindow::askForFile(const QString &title, const QString &filters, const QString &name)
{
    QFileDialog dialog(this, title);
    dialog.setObjectName(objectNames::history::SaveDialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filters);
    dialog.selectFile(name);
    FileDialogLook::apply(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    QString path = dialog.selectedFiles().first();
    // The filter chosen names the format when the name has no suffix of its own.
    if (QFileInfo(path).suffix().isEmpty()) {
        const QString filter = dialog.selectedNameFilter();
        const int star = filter.indexOf(QLatin1String("*."));
        if (star >= 0)
            path += filter.mid(star + 1).chopped(1);
    }
    return path;
}

void HistoryWindow::saveChosen()
{
    if (m_shown.id == 0)
        return;
    // The bytes of the reading's described file, under a name the operator picks.
    const QString path =
        askForFile(QStringLiteral("Данные в файл"),
                   QStringLiteral("Таблица Excel (*.xls);;Текстовый файл (*.txt)"),
                   m_shown.name.isEmpty() ? QStringLiteral("VirDat_") : m_shown.name);
    if (path.isEmpty())
        return;
    if (const QString error = AtomicFile::write(path, m_shown.fileBytes()); !error.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), error);
        return;
    }
    report(QStringLiteral("Данные записаны в файл."));
}

QVector<Reading> HistoryWindow::chosenReadings()
{
    QVector<Reading> readings;
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    for (const QModelIndex &row : rows) {
        Reading reading;
        if (const QString error = m_store.get(m_model->summary(row.row()).id, &reading);
            !error.isEmpty()) {
            report(error);
            return {};
        }
        readings.append(reading);
    }
    return readings;
}

void HistoryWindow::exportChosen()
{
    if (m_shown.id == 0)
        return;
    QVector<Reading> readings = chosenReadings();
    const bool allTables = !readings.isEmpty() &&
                           std::all_of(readings.cbegin(), readings.cend(), [](const Reading &r) {
                               return r.kind == Reading::Kind::Table;
                           });
    // Several tables chosen: one workbook, a sheet each.
    if (readings.size() > 1 && allTables) {
        const QString path = askForFile(QStringLiteral("Экспорт"),
                                        QStringLiteral("Книга Excel (*.xlsx)"), QString());
        if (path.isEmpty())
            return;
        QVector<PlateTable> tables;
        QStringList sheets;
        for (const Reading &r : std::as_const(readings)) {
            tables.append(r.table());
            sheets.append(QStringLiteral("№%1").arg(r.id));
        }
        QString error;
        const QByteArray book = PlateExport::xlsxBook(tables, sheets, &error);
        const QString failed =
            error.isEmpty() ? AtomicFile::write(path, book) : PlateExport::failureText(path, error);
        if (!failed.isEmpty())
            QMessageBox::warning(this, windowTitle(), failed);
        else
            report(QStringLiteral("Данные записаны в файл."));
        return;
    }
    const bool table = m_shown.kind == Reading::Kind::Table;
    const QString path = askForFile(QStringLiteral("Экспорт"),
                                    table ? tableFilters() : protocolFilters(), QString());
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString error;
    if (table) {
        const auto format = PlateExport::formatFromName(suffix);
        error = PlateExport::write(path, format.value_or(PlateFormat::Xlsx), m_shown.table(),
                                   PlateExport::CsvStyle::forLocale(QLocale::system()));
    } else if (suffix == QLatin1String("json")) {
        error = AtomicFile::write(path, QJsonDocument(m_shown.toJson()).toJson());
    } else {
        error = ProtocolPrint::writePdf(path, m_shown.screenText(),
                                        ProtocolHeading::fromText(m_shown.raw).text());
    }
    if (!error.isEmpty())
        QMessageBox::warning(this, windowTitle(), error);
    else
        report(QStringLiteral("Данные записаны в файл."));
}

void installHistoryWindow(QWidget &mainWindow, const StoreLocation &location, ReadingKeeper *keeper)
{
    auto *window = new HistoryWindow(location, &mainWindow);
    WidgetKit::addWindowOpener(mainWindow, window, QStringLiteral("История..."),
                               objectNames::history::Open,
                               QKeySequence(QStringLiteral("Ctrl+Shift+H")));
    // A reading stored while the window is open appears in it.
    if (keeper)
        QObject::connect(keeper, &ReadingKeeper::stored, window, [window] {
            if (window->isVisible())
                window->refresh();
        });
}

} // namespace kalent
