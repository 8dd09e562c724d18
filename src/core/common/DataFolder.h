#pragma once

#include <QString>

namespace kalent {

// The folder where the program keeps the files it writes without asking
// (protocols, lists, automatic table names). The executable's folder when it is
// writable and not one of the system's program folders (an installed program run
// as root must not fill /usr/bin), else the user's data folder; --data-dir
// overrides both. On Windows always the user's local application data
// (%LOCALAPPDATA%\kalent-service): the program lives in Program Files or in a
// folder several users share, and Windows guards those with permissions that a
// writability check does not see, so a write there could fail at the first save.
class DataFolder
{
public:
    // An empty override means: choose as described above.
    static DataFolder resolve(const QString &overridePath = {});
    explicit DataFolder(const QString &path);
    // Whether files may be kept beside the executable in this folder.
    static bool programFolderUsable(const QString &exeDir);

    QString path() const { return m_path; }
    // A file directly inside the folder. The name must already be safe.
    QString filePath(const QString &fileName) const;
    // The folder of .bdt and .tsk files ("FilesInVirant"); not created here.
    QString filesInVirant() const;
    // The same folder, created when missing (the database page's dialogs).
    QString ensureFilesInVirant() const;

private:
    QString m_path;
};

} // namespace kalent
