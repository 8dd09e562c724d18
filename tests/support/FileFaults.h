#pragma once

#include "FileContents.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include <sys/resource.h>

class QProcess;

namespace kalent::test {

// Faults of the file system that a test can cause for real (POSIX only).

// Lowers this process's file-size limit, with SIGXFSZ ignored, so any write
// that would take a file past the limit fails with EFBIG, as on a full disk.
// Both are restored when it goes out of scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

// The same limit for a child process, set between its fork and its exec.
void limitChildFileSize(QProcess &process, qint64 bytes);

// Marks a file or folder immutable (as chattr +i does) until it goes out of
// scope: not even root may then create, rename or change anything in it. Needs
// the capability to set the flag and a file system that has it; active() tells.
class Immutable
{
public:
    explicit Immutable(const QString &path);
    ~Immutable();
    Immutable(const Immutable &) = delete;
    Immutable &operator=(const Immutable &) = delete;
    bool active() const { return m_active; }

private:
    bool setFlag(bool on);
    QString m_path;
    bool m_active = false;
};

// A small tmpfs of its own, mounted for a test and taken away again, so a full
// disk is real. Only where the process may mount (root with CAP_SYS_ADMIN);
// mounted() tells, and a test skips without it.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool mounted() const { return m_mounted; }
    QString path() const;
    // Takes every free byte with one file of its own.
    bool fill() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_mounted = false;
};

// The most memory this process has held at once, in KiB.
qint64 peakResidentKiB();

bool makeFifo(const QString &path);
// A Unix socket bound to the name (the socket itself is closed again).
bool makeSocket(const QString &path);
// A character device node with the numbers of /dev/full (1, 7); needs root.
bool makeFullDeviceNode(const QString &path);
// What kind of thing stands under the name, without following a link:
// 'f' regular file, 'p' FIFO, 'c' character device, 's' socket, 'l' link,
// 'd' folder, '-' nothing.
char kindOf(const QString &path);
bool isRoot();

} // namespace kalent::test
