#pragma once

#include <QString>

namespace kalent {

// The data folder's records: the service journal, the backups folder, the
// readings store and the readings waiting for it. They are the service's memory
// of what was done to and received from the instrument, so no output, trace or
// temporary file of any action may land on them: not under their own name, not
// through a symbolic or hard link, not inside the backups folder.
// Checked before anything starts, so a refused run has touched nothing.
namespace DataRecords {
// Why a file written (or appended to) at path would land on a record of the
// data folder at dataFolderPath, in Russian; empty when it would not.
QString overlap(const QString &dataFolderPath, const QString &path);
// The same for an action's option (its name without "--"), as a whole sentence.
QString optionRefusal(const QString &dataFolderPath, const QString &option, const QString &path);
// The same for a file chosen in a save dialog, as a whole sentence.
QString saveRefusal(const QString &dataFolderPath, const QString &path);
} // namespace DataRecords

} // namespace kalent
