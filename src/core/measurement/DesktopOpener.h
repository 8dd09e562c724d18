#pragma once

#include <QString>

namespace kalent {

// Hands a file to the application the desktop has registered for its type (the
// spreadsheet for .xls), which shows it to the operator. The window's opener asks
// the desktop; tests record the calls.
class DesktopOpener
{
public:
    virtual ~DesktopOpener() = default;
    // Returns false when the desktop could not hand the file on.
    virtual bool openWithDesktop(const QString &path) = 0;
};

} // namespace kalent
