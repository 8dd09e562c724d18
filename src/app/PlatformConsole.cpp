#include "PlatformConsole.h"

#include "common/LocalFileName.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>
#endif

namespace kalent::PlatformConsole {

void prepare()
{
#ifdef Q_OS_WIN
    // Binary, not text mode: stdout carries data (a table, a database) byte for
    // byte as on Linux; text mode would turn every LF into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
}

void releaseIfOwn()
{
#ifdef Q_OS_WIN
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) == 1)
        FreeConsole();
#endif
}

QStringList arguments(int argc, char *argv[])
{
    QStringList words;
#ifdef Q_OS_WIN
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            words.append(QString::fromWCharArray(wide[i]));
        LocalFree(wide);
        return words;
    }
#endif
    // Byte for byte: a file name that is not UTF-8 still names its own file.
    for (int i = 0; i < argc; ++i)
        words.append(LocalFileName::decode(QByteArray(argv[i])));
    return words;
}

} // namespace kalent::PlatformConsole
