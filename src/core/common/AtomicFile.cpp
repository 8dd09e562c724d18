#include "common/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kalent::AtomicFile {

QString write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Some folders (network shares) refuse the rename; writing in place is then
    // still better than failing, and QSaveFile only does it when asked.
    file.setDirectWriteFallback(false);
    const QString shown = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Не удалось открыть файл %1 для записи: %2")
            .arg(shown, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return QStringLiteral("Не удалось записать файл %1: %2").arg(shown, why);
    }
    if (!file.commit())
        return QStringLiteral("Не удалось записать файл %1: %2").arg(shown, file.errorString());
    return {};
}

} // namespace kalent::AtomicFile
