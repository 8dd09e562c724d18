#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace kalent {

class DataFolder;

// The instrument's database as it was before a write, kept so the write can be
// undone: "backups/YYYY-MM-DD_HHMMSS_instrument.bdt" in the data folder, written
// whole or not at all. The image is the
// instrument's as it sent it (every page in order, repeats and pages of other
// kinds included); restoring is writing that file back unchanged.
namespace DatabaseBackup {

struct Saved
{
    QString path;  // the file written (empty when it failed)
    QString error; // why nothing was written, in Russian (empty on success)
};

// The name of the data folder's subfolder the backups go to.
constexpr const char *FolderName = "backups";
// The folder the backups go to.
QString folder(const DataFolder &dataFolder);
// Saves image as the backup taken at when. A backup already saved in the same
// second, by this or another process, is never replaced: each name is created
// exclusively, and the new one gets "_2", "_3", ... before ".bdt".
// beforePublish runs before each name is taken (a test saves a rival there).
Saved save(const DataFolder &dataFolder, const QDateTime &when, const QByteArray &image,
           const std::function<void()> &beforePublish = {});
// The note on a write's journal lines: the backup's file and its fingerprint.
QString journalNote(const QString &path, const QByteArray &image);

} // namespace DatabaseBackup

} // namespace kalent
