#pragma once

#include <QString>

namespace kalent {

// The operator reads Russian only. The system's own error texts (strerror, as
// QFile and QSerialPort pass them on) are mapped here, in one place, to Russian
// phrases for the failures a lab PC meets: a missing file, no permission, a full
// disk, a read-only medium, a folder where a file was expected, a busy port, a
// device that went away. Anything else keeps the system's text as a last resort.
namespace SystemErrorText {
// The Russian phrase for an errno value.
QString fromErrno(int code);
// The Russian phrase for a text the system produced (strerror of some errno,
// possibly with more words around it); the text itself when it is not known.
QString translate(const QString &systemText);
// The Russian phrase for a Windows error code (GetLastError); on other systems
// the code's own text. Windows gives its own texts in the system's language,
// which on a lab PC is not always Russian.
QString fromWindowsError(unsigned long code);
// Phrases of this program's own, for conditions with no errno of their own.
QString notRegularFile();
QString deviceGone();
QString tooLarge(qint64 limitBytes);
} // namespace SystemErrorText

} // namespace kalent
