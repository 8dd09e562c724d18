#include "FileFaults.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace kalent::test {

SmallDisk::SmallDisk(qint64 bytes) : m_dir(std::make_unique<QTemporaryDir>())
{
    if (!m_dir->isValid() || ::geteuid() != 0)
        return;
    const QByteArray options = "size=" + QByteArray::number(bytes);
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir->path()).constData(), "tmpfs", 0,
                        options.constData()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir->path()).constData(), MNT_DETACH);
}

QString SmallDisk::path() const
{
    return m_dir->path();
}

bool SmallDisk::fill() const
{
    QFile filler(m_dir->filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // The last pieces a block does not fit in.
    while (filler.write("f", 1) == 1) {
    }
    return true;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    getrlimit(RLIMIT_FSIZE, &m_previous);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_previous;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
}

void limitChildFileSize(QProcess &process, qint64 bytes)
{
    process.setChildProcessModifier([bytes] {
        // Only async-signal-safe calls between fork and exec; an ignored signal
        // stays ignored across exec.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
}

Immutable::Immutable(const QString &path) : m_path(path)
{
    m_active = setFlag(true);
}

Immutable::~Immutable()
{
    if (m_active)
        setFlag(false);
}

bool Immutable::setFlag(bool on)
{
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

qint64 peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool makeSocket(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.size() >= static_cast<int>(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

bool makeFullDeviceNode(const QString &path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

char kindOf(const QString &path)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return '-';
    if (S_ISREG(st.st_mode))
        return 'f';
    if (S_ISFIFO(st.st_mode))
        return 'p';
    if (S_ISCHR(st.st_mode))
        return 'c';
    if (S_ISSOCK(st.st_mode))
        return 's';
    if (S_ISLNK(st.st_mode))
        return 'l';
    if (S_ISDIR(st.st_mode))
        return 'd';
    return '?';
}

bool isRoot()
{
    return ::geteuid() == 0;
}

} // namespace kalent::test
