#pragma once

#include "common/OperatorTexts.h"

#include <QString>

namespace kalent {

// The database page's fixed captions and hints.
namespace DatabasePageTexts {
inline QString readFromVirCaption()
{
    return QStringLiteral(" из прибора");
}
// The hint of the read button is the pane's text while a read runs.
inline QString readFromVirHint()
{
    return OperatorTexts::databaseReading();
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
// The hint of the instrument list's write button is the pane's text while a write runs.
inline QString writeInstrumentListHint()
{
    return OperatorTexts::databaseWriting();
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
// The instrument tree's context menu (beside the described buttons).
inline QString restoreCaption()
{
    return QStringLiteral("Восстановить БД ТС прибора из резервной копии...");
}

inline QString withoutBackupCaption()
{
    return QStringLiteral("Следующая запись в прибор — без резервной копии");
}
// How the pane names that entry when the instrument's database cannot be read.
inline QString withoutBackupWay()
{
    return QStringLiteral("отметьте «Следующая запись в прибор — без резервной копии» в "
                          "контекстном меню списка прибора (Ctrl+Shift+B) и запишите снова");
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
