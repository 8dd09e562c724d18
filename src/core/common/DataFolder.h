#pragma once

#include <QString>

namespace kalent {

// The folder where the program keeps the files it writes without asking
// (protocols, lists, automatic table names). The executable's folder only when
// the program runs where its build put it (a developer's tree); every installed
// copy, under any prefix and writable or not, uses the user's data folder;
// --data-dir overrides both. On Windows that is the user's local application
// data (%LOCALAPPDATA%\kalent-service): Program Files is guarded by permissions
// a writability check does not see.
class DataFolder
{
public:
    // An empty override means: choose as described above.
    static DataFolder resolve(const QString &overridePath = {});
    // The folder resolve() would choose, without creating it (for readers
    // such as the journal's, which must leave no folder behind).
    static QString resolvedPath(const QString &overridePath = {});
    // Why the folder resolve() would choose cannot be named (Qt names every
    // file of it in UTF-8): the current folder a relative override starts
    // from, or the home folder the default lies in, is not UTF-8, so another
    // folder would be used in its place. In Russian; empty when it can.
    static QString unnameable(const QString &overridePath = {});
    explicit DataFolder(const QString &path);
    // Whether an executable in exeDir runs from its build tree, builtDir being the
    // folder the build put it in (empty when unknown): then, and only when it is
    // writable, its files are kept beside it.
    static bool keepsFilesBesideProgram(const QString &exeDir, const QString &builtDir);
    // The folder this program's build put the executable in, as compiled in.
    static QString builtProgramFolder();

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
