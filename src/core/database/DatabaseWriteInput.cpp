#include "database/DatabaseWriteInput.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

QString DatabaseWriteInput::journalSource() const
{
    switch (origin) {
    case Origin::InstrumentList:
        return QStringLiteral("список прибора");
    case Origin::FileList:
        return QStringLiteral("файл ") + QDir::toNativeSeparators(path);
    case Origin::Backup:
        return QStringLiteral("восстановление из резервной копии ") +
               QDir::toNativeSeparators(path);
    }
    return {};
}

QString DatabaseWriteInput::paneText() const
{
    const QString name = QFileInfo(path).fileName();
    switch (origin) {
    case Origin::InstrumentList:
        return QStringLiteral("Запись в прибор: список прибора, %1 ТС").arg(tsCount);
    case Origin::FileList:
        return QStringLiteral("Запись в прибор: файл %1, %2 ТС").arg(name).arg(tsCount);
    case Origin::Backup:
        return QStringLiteral("Восстановление БД ТС прибора из резервной копии %1: "
                              "страниц %2, как их прислал прибор")
            .arg(name)
            .arg(pages);
    }
    return {};
}

} // namespace kalent
