#pragma once

#include "database/DatabaseService.h"

#include <QString>

#include <optional>

namespace kalent {

// What the database page shows, as facts about the lists, the selection and
// the job; the window's presenter derives every caption and enabled flag from
// it (DatabasePagePresenter).
struct DatabasePageState
{
    DatabaseService::Phase job = DatabaseService::Phase::Idle;
    // Each list's test systems, once the list has first been made (a discarded
    // file list keeps its tree, and so its count).
    std::optional<int> instrumentTs;
    std::optional<int> fileTs;
    std::optional<int> additionalTs;
    bool instrumentListExists = false;
    // A read from the instrument completed; a file passed its checks (each since the start).
    bool fromDevice = false;
    bool fromFile = false;
    // The instrument list has been added to or deleted from.
    bool instrumentEdited = false;
    int selected = 0; // nodes selected in the instrument tree
    // The trees are hidden while a read replaces the instrument list, and after a
    // file without its closing page.
    bool instrumentTreeShown = true;
    bool fileTreeShown = true;
    bool additionalTreeShown = true;

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
