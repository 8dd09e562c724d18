#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// What a database write sends, taken whole when the operator asks for the
// write: whatever the lists do afterwards (another file chosen, an addition),
// the write goes on with these bytes and says so. One value, held once by the
// running write.
struct DatabaseWriteInput
{
    enum class Origin {
        InstrumentList, // the instrument list as edited on the page
        FileList,       // the list from a file, rebuilt as the page shows it
        Backup          // a backup, sent as the instrument sent it (a restore)
    };

    Origin origin = Origin::FileList;
    QByteArray image; // the header and every page, in the order they go out
    int pages = 0;
    int tsCount = 0;
    QString path; // the file (empty for the instrument list)

    // The source as the journal names it.
    QString journalSource() const;
    // The pane's line while the write runs: what goes to the instrument.
    QString paneText() const;
};

} // namespace kalent
