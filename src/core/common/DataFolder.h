#pragma once

#include <QString>

namespace kalent {

// The folder where the program keeps the files it writes without asking
// (protocols, lists, automatic table names). The executable's folder when it is
// writable and not one of the system's program folders (an installed program run
// as root must not fill /usr/bin), else the user's data folder; --data-dir
// overrides both.
class DataFolder
{
public:
    // An empty override means: choose as described above.
    static DataFolder resolve(const QString &overridePath = {});
    // The folder resolve() would choose, without creating it (for readers
    // such as the journal's, which must leave no folder behind).
    static QString resolvedPath(const QString &overridePath = {});
    explicit DataFolder(const QString &path);
    // Whether files may be kept beside the executable in this folder.
    static bool programFolderUsable(const QString &exeDir);

    QString path() const { return m_path; }
    // A file directly inside the folder. The name must already be safe.
    QString filePath(const QString &fileName) const;
    // Why the folder cannot take a new file (it is missing, read-only, full, not
    // a folder), in Russian; empty when a file of one byte could be written and
    // synced there (the probe is removed again).
    QString cannotTakeFiles() const;
    // The folder of .bdt and .tsk files ("FilesInVirant"); not created here.
    QString filesInVirant() const;
    // The same folder, created when missing (the database page's dialogs).
    QString ensureFilesInVirant() const;

private:
    QString m_path;
};

} // namespace kalent
