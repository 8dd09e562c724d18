#pragma once

#include <QStringList>

namespace kalent {

// The console the program was started from. The program is one executable for
// the window and the command line, so on Windows it is a console program: run
// from a console it prints there and its exit status reaches scripts; started
// from Explorer or a shortcut it gets a console of its own, which the window
// gives back at once.
namespace PlatformConsole {
// Texts are printed as UTF-8; a Windows console is told so, or the Russian
// texts would show in its legacy code page. The standard streams pass bytes
// unchanged there too. Nothing to do elsewhere.
void prepare();
// Called when the window opens: a console that only this process uses (one made
// for it by Explorer) is closed; a console shared with the shell stays.
void releaseIfOwn();
// The command line's words, before any application object exists. On Windows
// they are read from the system's UTF-16 command line: argv holds them in the
// ANSI code page, which loses every character outside it (a "№" in a file
// name on a PC whose code page is not 1251).
QStringList arguments(int argc, char *argv[]);
} // namespace PlatformConsole

} // namespace kalent
