#include "ChildRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace kalent::test {

ChildRun ChildRun::run(const QString &program, const QStringList &arguments, int limitMs)
{
    ChildRun result;
    QTemporaryDir dir;
    const QByteArray outPath = QFile::encodeName(dir.filePath(QStringLiteral("out")));
    const QByteArray errPath = QFile::encodeName(dir.filePath(QStringLiteral("err")));

    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    QElapsedTimer wall;
    wall.start();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;

    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) {
            result.finished = true;
            break;
        }
        if (wall.elapsed() > limitMs) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.wallMs = wall.elapsed();
    result.cpuMs = (qint64(usage.ru_utime.tv_sec) + qint64(usage.ru_stime.tv_sec)) * 1000 +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    result.maxRssKb = usage.ru_maxrss;
    if (result.finished && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    QFile out(QFile::decodeName(outPath));
    if (out.open(QIODevice::ReadOnly))
        result.out = out.readAll();
    QFile err(QFile::decodeName(errPath));
    if (err.open(QIODevice::ReadOnly))
        result.err = err.readAll();
    return result;
}

} // namespace kalent::test
