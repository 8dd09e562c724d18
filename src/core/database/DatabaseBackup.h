#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

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

// The folder the backups go to.
QString folder(const DataFolder &dataFolder);
// Saves image as the backup taken at when. A backup already saved in the same
// second is never replaced: the new one gets "_2", "_3", ... before ".bdt".
Saved save(const DataFolder &dataFolder, const QDateTime &when, const QByteArray &image);
// Whether path names a file in the backups folder (whatever name it was given).
bool isBackup(const DataFolder &dataFolder, const QString &path);
// The note on a write's journal lines: the backup's file and its fingerprint.
QString journalNote(const QString &path, const QByteArray &image);

} // namespace DatabaseBackup

} // namespace kalent
