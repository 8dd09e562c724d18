#include "PlatformConsole.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
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

} // namespace kalent::PlatformConsole
