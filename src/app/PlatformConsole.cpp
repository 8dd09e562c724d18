#include "PlatformConsole.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kalent::PlatformConsole {

void prepare()
{
#ifdef Q_OS_WIN
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
