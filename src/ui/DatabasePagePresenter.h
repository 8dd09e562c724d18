#pragma once

#include "database/DatabasePageState.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace kalent {

// The lists' names; their captions add the count of test systems once the list
// has first been made: "Список ТС в приборе:", then "Список ТС в приборе (7):".
inline const char *const InstrumentListName = "Список ТС в приборе";
inline const char *const FileListName = "Список ТС в файле";
inline const char *const AdditionalListName = "Дополнительный список ТС";
QString listCaption(const char *list, std::optional<int> tsCount = std::nullopt);

// Everything the database page's widgets show besides the trees: captions,
// colours, enabled and visible flags.
struct DatabasePageLook
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

    bool operator==(const DatabasePageLook &o) const;
};

// The database page's presenter: the look as a function of the page's state,
// whether the line is free for a new exchange, and whether the link's
// instrument controls are up (as told since the page was made).
DatabasePageLook presentDatabasePage(const DatabasePageState &state, bool lineFree,
                                     bool instrumentControlsUp);

} // namespace kalent
