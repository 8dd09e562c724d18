#pragma once

#include <QObject>
#include <QString>

namespace kalent {

class DesktopOpener;

// What the reader page holds for the spreadsheet: at most one file, either only
// held (after a save on request) or also shown to the operator (after "Данные в
// Excel" or "Из файла в Excel"). Every table read drops it, so a spreadsheet never
// goes on pointing at a table that is being replaced.
class SpreadsheetHandOff : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QString heldFile() const { return m_heldFile; }
    bool shown() const { return m_shown; }

    // Empties the hand-off (the previous file is no longer ours to show).
    void drop();
    // Holds the file without showing it.
    void hold(const QString &path);
    // Replaces what is held by this file and asks the desktop to show it.
    // Returns false (and holds nothing) when the desktop refuses at once. A refusal
    // that comes later is reported by refusedLater(), and the file, if still held,
    // is dropped: it was never shown.
    bool show(const QString &path, DesktopOpener &opener);

Q_SIGNALS:
    void changed();
    void refusedLater(const QString &path, const QString &reason);

private:
    void desktopRefused(const QString &path, const QString &reason);

    QString m_heldFile;
    bool m_shown = false;
};

} // namespace kalent
