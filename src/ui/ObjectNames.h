#pragma once

#include <QLatin1String>
#include <QString>

// The widgets' object names, as the window was first drawn with them. Scripts,
// accessibility tools and the tests find the widgets by these names, so they stay
// exactly as they are; the code refers to them by what the widgets are.
namespace kalent::objectNames {

// The main window: its menus, navigation bar, page control, status bar and the page sheets.
namespace mainWindow {
inline constexpr QLatin1String Window{"FormMainKalS_D7"};
inline constexpr QLatin1String Splitter{"SCSplitter1"};
inline constexpr QLatin1String ActionAbout{"Action1"};
inline constexpr QLatin1String ActionExit{"ActionExit"};
inline constexpr QLatin1String ActionFirmware{"ActionSoftVirant"};
inline constexpr QLatin1String ActionDatabase{"ActionBDTS"};
inline constexpr QLatin1String ActionReader{"ActionVir2006"};
inline constexpr QLatin1String ActionResults{"ActionFile"};
inline constexpr QLatin1String MenuBar{"ActionMainMenuBar1"};
inline constexpr QLatin1String WorkArea{"RzPanel1"};
inline constexpr QLatin1String PageControl{"RzPageControl1"};
inline constexpr QLatin1String StatusBar{"RzStatusBar1"};
inline constexpr QLatin1String StatusPane{"RzStatusPane1"};
inline constexpr QLatin1String ProgressBar{"RzProgressBar1"};
inline constexpr QLatin1String NavigationBar{"RzGroupBar1"};
inline constexpr QLatin1String Clock{"RzClockStatus1"};
inline constexpr QLatin1String PageAbout{"TabSheet1"};
inline constexpr QLatin1String PageFirmware{"TabShSoftVir"};
inline constexpr QLatin1String PageDatabase{"TabShBDTS"};
inline constexpr QLatin1String PageReader{"TabShReader"};
inline constexpr QLatin1String PageResults{"TabShResult"};
// Asks before the window closes during a database write.
inline constexpr QLatin1String LeaveWriteBox{"LeaveWriteBox"};
} // namespace mainWindow

// The About page.
namespace about {
inline constexpr QLatin1String Panel{"RzPanel2"};
inline constexpr QLatin1String PurposePanel{"RzPanel3"};
inline constexpr QLatin1String RequirementsPanel{"RzPanel5"};
inline constexpr QLatin1String ProgramName{"RzLabel1"};
inline constexpr QLatin1String InstrumentName{"RzLabel2"};
inline constexpr QLatin1String Copyright{"RzLabel3"};
inline constexpr QLatin1String Registered{"RzLabel10"};
inline constexpr QLatin1String Version{"RzLabel6"};
inline constexpr QLatin1String Devices{"RzLabel8"};
inline constexpr QLatin1String LinksPanel{"RzPanel4"};
inline constexpr QLatin1String LinksHeading{"RzLabel5"};
inline constexpr QLatin1String LinkFirmware{"lbLoadPOInVir"};
inline constexpr QLatin1String LinkDatabase{"lbLoadBDTS"};
inline constexpr QLatin1String LinkReader{"lbReader"};
inline constexpr QLatin1String LinkResults{"lbProtokol"};
} // namespace about

// The port panel under the pages.
namespace portPanel {
inline constexpr QLatin1String Panel{"RzGroupBox1"};
inline constexpr QLatin1String PortName{"cbxNumPort"};
inline constexpr QLatin1String PortOpen{"cbPortOpen"};
inline constexpr QLatin1String LinkLamp{"sbtnCommON"};
inline constexpr QLatin1String LinkParameters{"lbCommParam"};
inline constexpr QLatin1String Speed{"cbBaudRate"};
inline constexpr QLatin1String CheckContact{"btnVerifyConnect"};
inline constexpr QLatin1String Contact{"btnConnect"};
} // namespace portPanel

// The firmware page and its wizard's steps.
namespace firmware {
inline constexpr QLatin1String Frame{"FrameSoftVir"};
inline constexpr QLatin1String Heading{"RzLabel1"};
inline constexpr QLatin1String Steps{"RzPageControl2"};
inline constexpr QLatin1String StepsTab{"TabSheet5"};
inline constexpr QLatin1String StepsSplitter{"RzSplitter1"};
inline constexpr QLatin1String StepOne{"RzLabel3"};
inline constexpr QLatin1String FileName{"lbFileLoadPO"};
inline constexpr QLatin1String OtherFile{"btnOtherFileLoadPO"};
inline constexpr QLatin1String StepTwo{"RzLabel2"};
inline constexpr QLatin1String StepTwoHow{"RzLabel4"};
inline constexpr QLatin1String StepTwoScreen{"RzLabel5"};
inline constexpr QLatin1String StepsArrow{"RzLine1"};
inline constexpr QLatin1String StepThreeTab{"TabSheet6"};
inline constexpr QLatin1String StepThreeSplitter{"RzSplitter2"};
inline constexpr QLatin1String StepThreeFile{"RzLabel20"};
inline constexpr QLatin1String StepThreeFileName{"lbFileLoadPO2"};
inline constexpr QLatin1String Load{"btnLoadPO"};
inline constexpr QLatin1String StopLoad{"btnStopProgramVir"};
inline constexpr QLatin1String StepThreeOutcome{"RzLabel21"};
inline constexpr QLatin1String StepThreeArrow{"RzLine2"};
inline constexpr QLatin1String ScreenChecksum{"RzLabel16"};
inline constexpr QLatin1String ScreenProgramming{"RzLabel17"};
inline constexpr QLatin1String ScreenProgrammed{"RzLabel18"};
inline constexpr QLatin1String ScreenRestart{"RzLabel19"};
inline constexpr QLatin1String OpenDialog{"OpenDialog"};
// The pictured instrument screens' lines: RzLabel6 to RzLabel10 before the upload,
// RzLabel11 to RzLabel15 after it.
inline QString screenLine(int number)
{
    return QStringLiteral("RzLabel%1").arg(number);
}
// The message boxes: leaving during an upload, confirming it, its failure.
inline constexpr QLatin1String LeaveUploadBox{"LeaveUploadBox"};
inline constexpr QLatin1String ConfirmLoadBox{"ConfirmLoadBox"};
inline constexpr QLatin1String ErrorBox{"FirmwareErrorBox"};
} // namespace firmware

// The built-in instrument's boot loader as the firmware page shows it.
namespace bootLoader {
inline constexpr QLatin1String View{"BootLoaderView"};
inline constexpr QLatin1String Mode{"BootLoaderMode"};
inline constexpr QLatin1String Progress{"BootLoaderProgress"};
inline constexpr QLatin1String Received{"BootLoaderReceived"};
inline constexpr QLatin1String Result{"BootLoaderResult"};
} // namespace bootLoader

// The database page.
namespace database {
inline constexpr QLatin1String Frame{"FrameBDTS"};
inline constexpr QLatin1String Title{"RzLabel1"};
inline constexpr QLatin1String InstrumentBox{"RzGroupBox1"};
inline constexpr QLatin1String InstrumentTree{"TreeViewVir"};
inline constexpr QLatin1String ReadInstrumentList{"btnReadBDTSFromVir"};
inline constexpr QLatin1String SaveToFile{"btnSaveBDTSinFile"};
inline constexpr QLatin1String Delete{"btnDeleteTS"};
inline constexpr QLatin1String WriteInstrumentList{"btnSaveAddTs"};
inline constexpr QLatin1String FileBox{"RzGroupBox2"};
inline constexpr QLatin1String FileTree{"TreeViewFile"};
inline constexpr QLatin1String ReadFromFile{"btnReadBDTSFromFile"};
inline constexpr QLatin1String WriteFileList{"btnWriteBDTSInVir"};
inline constexpr QLatin1String AdditionalBox{"RzGroupBox3"};
inline constexpr QLatin1String AdditionalTree{"TreeViewAdd"};
inline constexpr QLatin1String AddToInstrumentList{"btnAddTSInVir"};
inline constexpr QLatin1String SaveDialog{"SaveDialog"};
inline constexpr QLatin1String OpenDialog{"OpenDialog"};
// Added beside the described page: the instrument tree's context menu.
inline constexpr QLatin1String RestoreAction{"actionRestoreBackup"};
inline constexpr QLatin1String RestoreDialog{"RestoreDialog"};
inline constexpr QLatin1String WithoutBackupAction{"actionWriteWithoutBackup"};
} // namespace database

// The optical-density page.
namespace reader {
inline constexpr QLatin1String Title{"RzLabel11"};
inline constexpr QLatin1String Panel{"RzPanel6"};
inline constexpr QLatin1String LabelledPanel{"RzPanel7"};
inline constexpr QLatin1String PanelTitle{"RzLabel12"};
inline constexpr QLatin1String Grid{"StringGrid1"};
inline constexpr QLatin1String Read{"btnReadOP"};
inline constexpr QLatin1String Save{"btnSaveOP"};
inline constexpr QLatin1String CreateWorkbook{"btnCreateExcel"};
inline constexpr QLatin1String FileToWorkbook{"btnFileToExcel"};
inline constexpr QLatin1String AutoRead{"chckAutoReadOP"};
inline constexpr QLatin1String AutoSave{"chckAutoSaveOP"};
inline constexpr QLatin1String OpenDialog{"odlgOpenFileToExcel"};
inline constexpr QLatin1String SaveDialog{"sdlgSaveVirDat"};
// Added beside the described page.
inline constexpr QLatin1String Page{"ReaderPage"};
inline constexpr QLatin1String Exporter{"plateExporter"};
inline constexpr QLatin1String HeatMapAction{"actionHeatMap"};
inline constexpr QLatin1String HeatMapLegend{"heatMapLegend"};
inline constexpr QLatin1String AutoSaveCopy{"actionAutoSaveCopy"};
inline constexpr QLatin1String CopyNone{"actionCopyNone"};
inline constexpr QLatin1String CopyXlsx{"actionCopyXlsx"};
inline constexpr QLatin1String CopyCsv{"actionCopyCsv"};
} // namespace reader

// The results page.
namespace results {
inline constexpr QLatin1String Title{"RzLabel7"};
inline constexpr QLatin1String Protocol{"Memo1"};
inline constexpr QLatin1String AutoRead{"chckAutoReadRes"};
inline constexpr QLatin1String AutoSave{"chckAutoSaveRes"};
inline constexpr QLatin1String Read{"btnReadProtokol"};
inline constexpr QLatin1String Save{"btnSaveProtokol"};
inline constexpr QLatin1String Clear{"btnClrMemo1"};
// Added beside the described page.
inline constexpr QLatin1String Page{"ResultsPage"};
inline constexpr QLatin1String PrintAction{"actionPrintProtocol"};
inline constexpr QLatin1String PdfAction{"actionProtocolPdf"};
inline constexpr QLatin1String PrintDialog{"printDialog"};
inline constexpr QLatin1String PdfDialog{"sdlgSaveProtocolPdf"};
} // namespace results

// What both measurement pages share.
namespace measurement {
inline constexpr QLatin1String FileErrorBox{"fileErrorBox"};
} // namespace measurement

// The readings' history, a window of its own.
namespace history {
inline constexpr QLatin1String Window{"historyWindow"};
inline constexpr QLatin1String Open{"actionShowHistory"};
inline constexpr QLatin1String FromOn{"historyFromOn"};
inline constexpr QLatin1String From{"historyFrom"};
inline constexpr QLatin1String ToOn{"historyToOn"};
inline constexpr QLatin1String To{"historyTo"};
inline constexpr QLatin1String Kind{"historyKind"};
inline constexpr QLatin1String Text{"historyText"};
inline constexpr QLatin1String Find{"historyFind"};
inline constexpr QLatin1String List{"historyList"};
inline constexpr QLatin1String Grid{"historyGrid"};
inline constexpr QLatin1String Protocol{"historyProtocol"};
inline constexpr QLatin1String Save{"historySave"};
inline constexpr QLatin1String Export{"historyExport"};
inline constexpr QLatin1String Status{"historyStatus"};
inline constexpr QLatin1String SaveDialog{"historySaveDialog"};
} // namespace history

// The exchange trace, a window of its own.
namespace trace {
inline constexpr QLatin1String Window{"TraceWindow"};
inline constexpr QLatin1String Open{"actionShowTrace"};
inline constexpr QLatin1String Tabs{"traceTabs"};
inline constexpr QLatin1String HexView{"traceHexView"};
inline constexpr QLatin1String TextView{"traceTextView"};
inline constexpr QLatin1String Detail{"traceDetail"};
inline constexpr QLatin1String Status{"traceStatus"};
} // namespace trace

// The built-in instrument's control panel (--port sim).
namespace simulator {
inline constexpr QLatin1String Panel{"SimulatorPanel"};
inline constexpr QLatin1String Power{"simPower"};
inline constexpr QLatin1String Stylus{"simStylus"};
inline constexpr QLatin1String MeasurementFinished{"simMeasurementFinished"};
inline constexpr QLatin1String ResultsReady{"simResultsReady"};
inline constexpr QLatin1String Speed{"simSpeed"};
} // namespace simulator

// Parts of Qt's own (non-native) dialogs, named by Qt, that the program reaches into.
namespace qtDialogs {
inline constexpr QLatin1String FileList{"treeView"};
inline constexpr QLatin1String FileName{"fileNameEdit"};
inline constexpr QLatin1String FileType{"fileTypeCombo"};
inline constexpr QLatin1String PrintFileName{"filename"};
} // namespace qtDialogs

} // namespace kalent::objectNames
