#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace kalent {

// The lists' names; their captions add the count of test systems once the list
// has first been made: "Список ТС в приборе:", then "Список ТС в приборе (7):".
inline const char *const InstrumentListName = "Список ТС в приборе";
inline const char *const FileListName = "Список ТС в файле";
inline const char *const AdditionalListName = "Дополнительный список ТС";
inline QString listCaption(const char *list, std::optional<int> tsCount = std::nullopt)
{
    const QString name = QString::fromUtf8(list);
    return tsCount ? QStringLiteral("%1 (%2):").arg(name).arg(*tsCount) : name + QLatin1Char(':');
}

// Everything the database page's widgets show besides the trees: captions,
// hints, colours, enabled and visible flags. The frame mirrors it.
struct DatabasePageState
{
    QString title = QStringLiteral("Перепрограммирование базы данных тест-систем.");
    QString instrumentCaption = listCaption(InstrumentListName); // RzGroupBox1
    QString fileCaption = listCaption(FileListName);             // RzGroupBox2
    QString additionalCaption = listCaption(AdditionalListName); // RzGroupBox3
    // The group boxes' colours (cream, sky blue, money green) as 0xRRGGBB.
    quint32 instrumentColour = 0xFFFBF0;
    quint32 fileColour = 0xA6CAF0;
    quint32 additionalColour = 0xC0DCC0;

    bool readFromVirEnabled = true;          // btnReadBDTSFromVir
    bool saveToFileEnabled = false;          // btnSaveBDTSinFile
    bool deleteEnabled = false;              // btnDeleteTS
    bool writeInstrumentListEnabled = false; // btnSaveAddTs
    bool readFromFileEnabled = true;         // btnReadBDTSFromFile
    bool writeFileListEnabled = false;       // btnWriteBDTSInVir
    bool addEnabled = false;                 // btnAddTSInVir

    bool virTreeVisible = true;  // TreeViewVir
    bool fileTreeVisible = true; // TreeViewFile
    bool addTreeVisible = true;  // TreeViewAdd

    bool operator==(const DatabasePageState &o) const;
    bool operator!=(const DatabasePageState &o) const { return !(*this == o); }
};

// The page's fixed texts.
namespace DatabasePageTexts {
inline QString readFromVirCaption()
{
    return QStringLiteral(" из прибора");
}
// The hint of the read button, and the pane while a read runs.
inline QString readFromVirHint()
{
    return QStringLiteral("Чтение БД ТС из прибора.");
}
inline QString saveToFileCaption()
{
    return QStringLiteral("в файл...");
}
inline QString saveToFileHint()
{
    return QStringLiteral("Запись БД ТС в файл.");
}
inline QString deleteCaption()
{
    return QStringLiteral("удалить");
}
inline QString deleteHint()
{
    return QStringLiteral("Выбор для удаления:\nShift + левый клик - непрерывно,\n"
                          "Ctrl + левый клик - выборочно.");
}
inline QString writeInstrumentListCaption()
{
    return QStringLiteral("в прибор");
}
// The hint of the instrument list's write button, and the pane while a write runs.
inline QString writeInstrumentListHint()
{
    return QStringLiteral("Запись БД ТС в прибор.");
}
inline QString readFromFileCaption()
{
    return QStringLiteral("из файла...");
}
inline QString readFromFileHint()
{
    return QStringLiteral("Чтение БД ТС из файла.");
}
inline QString writeFileListCaption()
{
    return QStringLiteral("в прибор");
}
inline QString writeFileListHint()
{
    return QStringLiteral("Запись БД ТС из файла в прибор.");
}
inline QString addCaption()
{
    return QStringLiteral("<<< Добавить в список прибора");
}
inline QString addHint()
{
    return QStringLiteral("Дополнение списка ТС прибора\nнедостающими из файла.");
}
// The open and save dialogs: default suffix and filter.
inline QString dialogSuffix()
{
    return QStringLiteral("bdt");
}
inline QString dialogFilter()
{
    return QStringLiteral("Файлы данных (*.bdt)");
}
} // namespace DatabasePageTexts

} // namespace kalent
