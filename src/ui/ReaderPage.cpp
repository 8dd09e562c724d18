#include "ReaderPage.h"

#include "HeatMapGridModel.h"
#include "HeatMapLegend.h"
#include "HeatMapScale.h"
#include "MeasurementWidgets.h"
#include "MessagePane.h"
#include "ObjectNames.h"
#include "ReaderPresenter.h"
#include "Session.h"
#include "ShadowPanel.h"
#include "WidgetKit.h"
#include "common/FileKind.h"
#include "link/LineOwner.h"
#include "measurement/OpticalDensityGridModel.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/PlateExporter.h"
#include "measurement/PlateTable.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

namespace kalent {

namespace {
constexpr int GridRowHeight = 17;
constexpr int GridPanelHeight = 180;
constexpr int ButtonsY = 216;
constexpr int CheckBoxesY = 248;
constexpr int LegendY = 270;
constexpr int LegendHeight = 16;
// The two filters the save dialog adds after the described ones.
const QString XlsxFilter = QStringLiteral("Книга Excel (*.xlsx)");
const QString CsvFilter = QStringLiteral("CSV (*.csv)");

#ifdef Q_OS_UNIX
// Where QSettings keeps the page's preferences on this system.
QString preferencesPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("%1/%2.conf")
                      .arg(QString::fromLatin1(ReaderPage::SettingsOrganization),
                           QString::fromLatin1(ReaderPage::SettingsApplication)));
}
#endif

// Why the preferences file cannot be used: QSettings reads it as it is made, and
// a FIFO in its place would keep the window from ever starting.
QString preferencesRefusal()
{
#ifdef Q_OS_UNIX
    return FileKind::refusal(preferencesPath());
#else
    return {};
#endif
}

// The preferences, or null when the file is not one (the defaults then hold).
std::unique_ptr<QSettings> preferences()
{
    if (!preferencesRefusal().isEmpty())
        return nullptr;
    return std::make_unique<QSettings>(QString::fromLatin1(ReaderPage::SettingsOrganization),
                                       QString::fromLatin1(ReaderPage::SettingsApplication));
}
} // namespace

ReaderPage::ReaderPage(Session &session, DesktopOpener &opener, QWidget *parent)
    : QWidget(parent), m_reader(session.reader()), m_pane(session.pane()), m_line(session.line()),
      m_opener(opener)
{
    setObjectName(objectNames::reader::Page); // placed on the tab sheet TabShReader
    m_exporter = new PlateExporter(m_reader, session.pane(), this);
    m_exporter->setObjectName(objectNames::reader::Exporter);
    buildPanels();
    buildControls();
    buildContextMenu();
    buildDialogs(session.dataFolder().path());
    connectControls(session);
    loadPreferences();
    showState();
}

// Clicks and choices go to the controller; its changes come back to the widgets.
void ReaderPage::connectControls(Session &session)
{
    connect(m_readButton, &QPushButton::clicked, &m_reader, &OpticalDensityReader::readTable);
    connect(m_saveButton, &QPushButton::clicked, m_saveDialog, [this] { m_saveDialog->open(); });
    connect(m_workbookButton, &QPushButton::clicked, this,
            [this] { m_reader.openTableInSpreadsheet(m_opener); });
    connect(m_fileToWorkbookButton, &QPushButton::clicked, m_openDialog,
            [this] { m_openDialog->open(); });
    connect(m_saveDialog, &QFileDialog::fileSelected, this, &ReaderPage::saveSelected);
    connect(m_openDialog, &QFileDialog::fileSelected, this,
            [this](const QString &path) { m_reader.fileToExcelChosen(path, m_opener); });
    connect(m_autoReadBox, &QCheckBox::toggled, &m_reader, &OpticalDensityReader::setAutoRead);
    connect(m_autoSaveBox, &QCheckBox::toggled, &m_reader, &OpticalDensityReader::setAutoSave);

    connect(m_values, &QAbstractItemModel::dataChanged, this, &ReaderPage::applyHeatMap);
    connect(&session, &Session::readerGridLabelled, this, &ReaderPage::labelGrid);
    connect(&m_reader, &OpticalDensityReader::stateChanged, this, &ReaderPage::showState);
    connect(&m_line, &LineOwner::busyChanged, this, &ReaderPage::showState);
    connect(&m_reader, &OpticalDensityReader::fileError, this, &ReaderPage::showFileError);
    connect(m_exporter, &PlateExporter::fileError, this, &ReaderPage::showFileError);
    connect(m_actionHeatMap, &QAction::toggled, this, [this](bool on) {
        setHeatMap(on);
        if (const auto settings = preferences())
            settings->setValue(QString::fromLatin1(HeatMapKey), on);
    });
}

// The title band over the page's panel, and on it the grey grid panel with its shadow,
// the table's title and the grid.
void ReaderPage::buildPanels()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MeasurementWidgets::titleBand(
        objectNames::reader::Title, QStringLiteral("Чтение оптических плотностей из ВИРАНТ."),
        this));

    m_pagePanel = new ShadowPanel(this);
    m_pagePanel->setObjectName(objectNames::reader::Panel);
    layout->addWidget(m_pagePanel, 1);

    m_gridPanel = new QWidget(m_pagePanel);
    m_gridPanel->setObjectName(objectNames::reader::LabelledPanel);
    WidgetKit::setBackground(m_gridPanel, QColor(0xC0, 0xC0, 0xC0));
    m_gridPanel->setGeometry(4, 18, LabelledPanelWidth, GridPanelHeight);
    m_pagePanel->addShadowed(m_gridPanel);
    auto *panelLayout = new QVBoxLayout(m_gridPanel);
    panelLayout->setContentsMargins(6, 2, 6, 2);
    panelLayout->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("Таблица оптических плотностей."), m_gridPanel);
    title->setObjectName(objectNames::reader::PanelTitle);
    title->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(title);

    panelLayout->addWidget(buildGrid());
    panelLayout->addStretch(1);
}

// The plate's grid: the row letters and column numbers as fixed headers drawn
// like buttons, no editing. The view shows the reader's table through the grid
// model; the heat map is the model's colouring.
QTableView *ReaderPage::buildGrid()
{
    m_values = new OpticalDensityGridModel(m_reader, this);
    m_gridModel = new HeatMapGridModel(*m_values, this);
    m_grid = new QTableView(m_gridPanel);
    m_grid->setObjectName(objectNames::reader::Grid);
    m_grid->setModel(m_gridModel);
    QHeaderView *columns = m_grid->horizontalHeader();
    QHeaderView *rows = m_grid->verticalHeader();
    for (QHeaderView *header : {columns, rows}) {
        header->setMinimumSectionSize(1);
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setHighlightSections(false);
        header->setSectionsClickable(false);
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    rows->setDefaultSectionSize(GridRowHeight);
    rows->setFixedWidth(HeaderColumnWidth);
    columns->setDefaultSectionSize(ValueColumnWidth);
    columns->setFixedHeight(GridRowHeight);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setFrameShape(QFrame::NoFrame);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setFocusPolicy(Qt::NoFocus);
    MeasurementWidgets::fitValuesToColumns(m_grid, ValueColumnWidth);
    m_grid->setTextElideMode(Qt::ElideNone);
    m_grid->setWordWrap(false);
    m_grid->setFixedHeight((PlateTable::Rows + 1) * GridRowHeight);
    return m_grid;
}

// The buttons and check boxes under the grid, and the heat map's legend.
void ReaderPage::buildControls()
{
    m_readButton =
        WidgetKit::button(objectNames::reader::Read, QStringLiteral("Принять данные"), m_pagePanel);
    m_saveButton =
        WidgetKit::button(objectNames::reader::Save, QStringLiteral("Данные в файл"), m_pagePanel);
    m_workbookButton = WidgetKit::button(objectNames::reader::CreateWorkbook,
                                         QStringLiteral("Данные в Excel"), m_pagePanel);
    m_fileToWorkbookButton = WidgetKit::button(objectNames::reader::FileToWorkbook,
                                               QStringLiteral("Из файла в Excel"), m_pagePanel);
    int x = 4;
    for (QPushButton *b : {m_readButton, m_saveButton, m_workbookButton, m_fileToWorkbookButton}) {
        b->setGeometry(x, ButtonsY, 108, 25);
        x += 112;
    }
    m_autoReadBox = WidgetKit::checkBox(objectNames::reader::AutoRead,
                                        QStringLiteral("автоприем данных"), m_pagePanel);
    m_autoSaveBox = WidgetKit::checkBox(objectNames::reader::AutoSave,
                                        QStringLiteral("автосохранение данных"), m_pagePanel);
    m_autoReadBox->setGeometry(4, CheckBoxesY, 160, 17);
    m_autoSaveBox->setGeometry(172, CheckBoxesY, 180, 17);

    m_legend = new HeatMapLegend(m_pagePanel);
    m_legend->setGeometry(4, LegendY, LabelledPanelWidth, LegendHeight);
    m_legend->hide();
}

// The grid's context menu: the heat map and the copy beside every automatic save.
void ReaderPage::buildContextMenu()
{
    m_actionHeatMap = new QAction(QStringLiteral("Тепловая карта"), this);
    m_actionHeatMap->setObjectName(objectNames::reader::HeatMapAction);
    m_actionHeatMap->setCheckable(true);
    auto *copyMenu = new QMenu(this);
    auto *copyGroup = new QActionGroup(this);
    const auto copyAction = [&](QLatin1String name, const QString &text) {
        auto *action = copyMenu->addAction(text);
        action->setObjectName(name);
        action->setCheckable(true);
        copyGroup->addAction(action);
        return action;
    };
    m_copyNone = copyAction(objectNames::reader::CopyNone, QStringLiteral("нет"));
    m_copyXlsx = copyAction(objectNames::reader::CopyXlsx, XlsxFilter);
    m_copyCsv = copyAction(objectNames::reader::CopyCsv, CsvFilter);
    m_copyNone->setChecked(true);
    auto *copyItem = new QAction(QStringLiteral("Копия при автосохранении"), this);
    copyItem->setObjectName(objectNames::reader::AutoSaveCopy);
    copyItem->setMenu(copyMenu);
    m_grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_grid->addAction(m_actionHeatMap);
    m_grid->addAction(copyItem);

    connect(copyGroup, &QActionGroup::triggered, this, [this](QAction *chosen) {
        m_exporter->setCopyFormat(chosen == m_copyXlsx  ? PlateExporter::Copy::Xlsx
                                  : chosen == m_copyCsv ? PlateExporter::Copy::Csv
                                                        : PlateExporter::Copy::None);
        storeCopyFormat();
    });
}

// The save dialog and the "Из файла в Excel" open dialog, both opened in the data folder.
void ReaderPage::buildDialogs(const QString &folder)
{
    m_saveDialog = MeasurementWidgets::saveDialog(folder, this);
    m_saveDialog->setNameFilters(m_saveDialog->nameFilters() << XlsxFilter << CsvFilter);
    m_openDialog = MeasurementWidgets::fileDialog(objectNames::reader::OpenDialog, false,
                                                  QStringLiteral("Таблица Excel (*.xls)"),
                                                  QStringLiteral("xls"), folder, this);
    m_openDialog->selectFile(QStringLiteral("VirDat_"));
}

void ReaderPage::setHeatMap(bool on)
{
    m_heatMap = on;
    const QSignalBlocker block(m_actionHeatMap);
    m_actionHeatMap->setChecked(on);
    applyHeatMap();
}

void ReaderPage::applyHeatMap()
{
    m_gridModel->setHeatMap(m_heatMap);
    double low = 0;
    double high = 0;
    const bool shown = m_gridModel->range(&low, &high);
    m_legend->setRange(low, high);
    m_legend->setVisible(shown);
}

void ReaderPage::saveSelected(const QString &path)
{
    const QString filter = m_saveDialog->selectedNameFilter();
    // The described filters write OPData whatever they are called; the added
    // ones write the plate in their own format.
    if (filter == XlsxFilter)
        m_exporter->saveChosen(path, PlateFormat::Xlsx);
    else if (filter == CsvFilter)
        m_exporter->saveChosen(path, PlateFormat::Csv);
    else
        m_reader.saveChosen(path);
}

void ReaderPage::loadPreferences()
{
    const std::unique_ptr<QSettings> settings = preferences();
#ifdef Q_OS_UNIX
    if (!settings)
        m_pane.setText(QStringLiteral("Настройки окна %1 не прочитаны: %2")
                           .arg(QDir::toNativeSeparators(preferencesPath()), preferencesRefusal()));
#endif
    const auto value = [&settings](const char *key, const QVariant &fallback) {
        return settings ? settings->value(QString::fromLatin1(key), fallback) : fallback;
    };
    setHeatMap(value(HeatMapKey, false).toBool());
    const QString copy = value(AutoSaveCopyKey, QString()).toString();
    QAction *chosen = copy == QLatin1String("xlsx")  ? m_copyXlsx
                      : copy == QLatin1String("csv") ? m_copyCsv
                                                     : m_copyNone;
    chosen->setChecked(true);
    m_exporter->setCopyFormat(chosen == m_copyXlsx  ? PlateExporter::Copy::Xlsx
                              : chosen == m_copyCsv ? PlateExporter::Copy::Csv
                                                    : PlateExporter::Copy::None);
}

void ReaderPage::storeCopyFormat()
{
    const PlateExporter::Copy copy = m_exporter->copyFormat();
    const auto settings = preferences();
    if (!settings)
        return;
    settings->setValue(QString::fromLatin1(AutoSaveCopyKey),
                       copy == PlateExporter::Copy::Xlsx  ? QStringLiteral("xlsx")
                       : copy == PlateExporter::Copy::Csv ? QStringLiteral("csv")
                                                          : QStringLiteral("none"));
}

void ReaderPage::labelGrid()
{
    m_values->clear();
    m_grid->verticalHeader()->setFixedWidth(HeaderColumnWidth);
    for (int column = 0; column < PlateTable::Columns; ++column)
        m_grid->setColumnWidth(column, ValueColumnWidth);
    m_gridPanel->resize(LabelledPanelWidth, m_gridPanel->height());
    m_pagePanel->update();
}

void ReaderPage::showState()
{
    ControlBinding::apply(this, ReaderPresenter::derive(m_reader.state(), m_line.writing()));
}

void ReaderPage::showFileError(const QString &message)
{
    MeasurementWidgets::showFileError(message, this);
}

} // namespace kalent
