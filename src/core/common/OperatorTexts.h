#pragma once

#include <QString>

// The operator's texts that several parts of the program show: each is written
// here once, so the window, the command line and the service say exactly the
// same words.
namespace kalent::OperatorTexts {

inline QString programName()
{
    return QStringLiteral("КАЛЕНТ-сервис");
}
// An exchange was asked for with the port closed.
inline QString portClosed()
{
    return QStringLiteral("Порт отключен.");
}
// The instrument fell silent during an exchange or a contact search.
inline QString noAnswer()
{
    return QStringLiteral("Прибор не отвечает!");
}
// The pane while the database is read from the instrument (the window shows it as a hint too).
inline QString databaseReading()
{
    return QStringLiteral("Чтение БД ТС из прибора.");
}
// The pane while a list is written to the instrument (the window shows it as a hint too).
inline QString databaseWriting()
{
    return QStringLiteral("Запись БД ТС в прибор.");
}
// The operator stopped a contact search before the instrument answered.
inline QString searchStopped()
{
    return QStringLiteral("Поиск прибора остановлен.");
}
// Why an exchange ended when the instrument stayed silent past its deadline
// (part of a longer sentence: lower case, no full stop).
inline QString noReply()
{
    return QStringLiteral("прибор не ответил");
}
// No contact could be made at any speed.
inline QString noLink()
{
    return QStringLiteral("Нет связи с прибором");
}
// The protocol reply held no text.
inline QString emptyProtocol()
{
    return QStringLiteral("Прибор прислал пустой протокол: файлы не записаны.");
}
inline QString dataWritten()
{
    return QStringLiteral("Данные записаны в файл.");
}
inline QString cannotReadFile(const QString &name, const QString &why)
{
    return QStringLiteral("Не удалось прочитать файл %1: %2").arg(name, why);
}
inline QString cannotWriteFile(const QString &name, const QString &why)
{
    return QStringLiteral("Не удалось записать файл %1: %2").arg(name, why);
}
inline QString cannotOpenPort(const QString &name, const QString &why)
{
    return QStringLiteral("Не удалось открыть порт %1: %2.").arg(name, why);
}
inline QString speedChange()
{
    return QStringLiteral("Установка новой скорости обмена.");
}
inline QString contactSearch()
{
    return QStringLiteral("Установление контакта с прибором.");
}

} // namespace kalent::OperatorTexts
