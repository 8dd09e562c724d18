#pragma once

#include <QString>

#include <functional>

namespace kalent {

// Hands a file to the application the desktop has registered for its type (the
// spreadsheet for .xls), which shows it to the operator. The window's opener asks
// the desktop; tests record the calls.
class DesktopOpener
{
public:
    // Told why the desktop refused a file after the hand-off had already returned
    // (a Russian phrase for the operator).
    using Refusal = std::function<void(const QString &reason)>;

    virtual ~DesktopOpener() = default;
    // Returns false when the desktop could not hand the file on.
    virtual bool openWithDesktop(const QString &path) = 0;
    // As openWithDesktop, for a desktop that answers only later: its opener runs
    // on after this returns and may still fail (no application for the type). Such
    // a failure is passed to `refused`, at most once. An opener that knows the
    // outcome at once needs nothing more than openWithDesktop.
    virtual bool openWatched(const QString &path, Refusal refused)
    {
        Q_UNUSED(refused);
        return openWithDesktop(path);
    }
};

} // namespace kalent
