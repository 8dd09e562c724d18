#include "common/SystemErrorText.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kalent::SystemErrorText {

namespace {

struct Phrase
{
    int code;
    const char *russian;
};

// The failures a file or a serial port meets in practice; the order matters
// only where two codes share a text on some system.
const Phrase phrases[] = {
    {ENOENT, "нет такого файла или папки"},
    {EACCES, "нет прав доступа"},
    {EPERM, "операция не разрешена"},
    {ENOSPC, "нет места на диске"},
#ifdef EDQUOT // not in MinGW's errno.h
    {EDQUOT, "превышена дисковая квота"},
#endif
    {EROFS, "файловая система только для чтения"},
    {EISDIR, "это папка, а не файл"},
    {ENOTDIR, "часть пути не является папкой"},
    {EBUSY, "устройство или ресурс занято"},
    {ENXIO, "устройство отключено"},
    {ENODEV, "устройство отсутствует"},
    {EIO, "ошибка ввода-вывода"},
    {EFBIG, "файл слишком велик"},
    {ENAMETOOLONG, "слишком длинное имя файла"},
    {EEXIST, "файл уже существует"},
    {EMFILE, "открыто слишком много файлов"},
    {ENFILE, "открыто слишком много файлов"},
    {ETXTBSY, "файл занят"},
    {EAGAIN, "ресурс временно недоступен"},
    {EINVAL, "недопустимый аргумент"},
    {ENOTTY, "устройство не поддерживает эту операцию"},
    {ENOMEM, "недостаточно памяти"},
#ifdef ELOOP // not in MinGW's errno.h
    {ELOOP, "замкнутая цепочка символических ссылок (или слишком длинная)"},
#endif
    {EPIPE, "читающая сторона канала закрыта"},
    {EBADF, "дескриптор файла закрыт"},
};

QString systemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

#ifdef Q_OS_WIN
// Windows' own codes for the same failures, as QFile and QSerialPort meet them
// there (their texts come from FormatMessage, not strerror).
const Phrase windowsPhrases[] = {
    {ERROR_FILE_NOT_FOUND, "нет такого файла или папки"},
    {ERROR_PATH_NOT_FOUND, "нет такого файла или папки"},
    {ERROR_ACCESS_DENIED, "нет прав доступа"},
    {ERROR_SHARING_VIOLATION, "файл открыт другой программой"},
    {ERROR_LOCK_VIOLATION, "файл открыт другой программой"},
    {ERROR_DISK_FULL, "нет места на диске"},
    {ERROR_HANDLE_DISK_FULL, "нет места на диске"},
    {ERROR_WRITE_PROTECT, "носитель защищён от записи"},
    {ERROR_FILENAME_EXCED_RANGE, "слишком длинное имя файла"},
    {ERROR_INVALID_NAME, "недопустимое имя файла"},
    {ERROR_DIRECTORY, "часть пути не является папкой"},
    {ERROR_FILE_EXISTS, "файл уже существует"},
    {ERROR_ALREADY_EXISTS, "файл уже существует"},
    {ERROR_DEVICE_REMOVED, "устройство отключено"},
    {ERROR_GEN_FAILURE, "устройство не работает"},
    {ERROR_NOT_READY, "устройство не готово"},
    {ERROR_NOT_ENOUGH_MEMORY, "недостаточно памяти"},
};
#endif

} // namespace

QString fromErrno(int code)
{
    for (const Phrase &phrase : phrases) {
        if (phrase.code == code)
            return QString::fromUtf8(phrase.russian);
    }
    return systemText(code);
}

QString translate(const QString &text)
{
    if (text.isEmpty())
        return text;
    for (const Phrase &phrase : phrases) {
        // Qt passes a few of these on through its own catalogue (qt_error_string),
        // so with Qt's Russian texts loaded they arrive in Qt's wording instead.
        const QByteArray english = std::strerror(phrase.code);
        const QString qtWording = QCoreApplication::translate("QIODevice", english.constData());
        if (text.contains(systemText(phrase.code), Qt::CaseInsensitive) ||
            text.contains(qtWording, Qt::CaseInsensitive))
            return QString::fromUtf8(phrase.russian);
    }
#ifdef Q_OS_WIN
    for (const Phrase &phrase : windowsPhrases) {
        const QString windowsText = qt_error_string(phrase.code).trimmed();
        if (!windowsText.isEmpty() && text.contains(windowsText, Qt::CaseInsensitive))
            return QString::fromUtf8(phrase.russian);
    }
#endif
    return text;
}

QString fromWindowsError(unsigned long code)
{
#ifdef Q_OS_WIN
    for (const Phrase &phrase : windowsPhrases) {
        if (static_cast<unsigned long>(phrase.code) == code)
            return QString::fromUtf8(phrase.russian);
    }
#endif
    return qt_error_string(static_cast<int>(code));
}

QString notRegularFile()
{
    return QStringLiteral("это не обычный файл (устройство, канал или сокет)");
}

QString deviceGone()
{
    return QStringLiteral("устройство отключено");
}

QString tooLarge(qint64 limitBytes)
{
    return QStringLiteral("файл больше допустимых %1 байт").arg(limitBytes);
}

} // namespace kalent::SystemErrorText
