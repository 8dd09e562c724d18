#pragma once

#include "database/DatabaseImage.h"
#include "database/DatabaseList.h"

#include <QByteArray>

#include <vector>

namespace kalent {

// The three lists of test systems (instrument, file, additional), the closing
// page they share, and the operations that turn an image into a tree and back:
// ParseDatabase, RebuildDatabase, buildAdditionalList, AddMissingTestSystem and
// the removal of selected nodes. Every list it hands out is sound (see
// DatabaseList); an operation that could not keep it so leaves the lists as
// they were and says why. No widgets and no messages: callers show the results.
class TestSystemDatabase
{
public:
    // Told before and after a list's tree is replaced or edited, so that a view
    // over the list (DatabaseTreeModel) never reads a tree in the middle of a
    // change. Only changes that happen are told: a refused image tells nothing.
    class ListObserver
    {
    public:
        virtual void listAboutToChange(const DatabaseList &list) = 0;
        virtual void listChanged(const DatabaseList &list) = 0;

    protected:
        ~ListObserver() = default;
    };

    TestSystemDatabase();
    TestSystemDatabase(const TestSystemDatabase &) = delete;
    TestSystemDatabase &operator=(const TestSystemDatabase &) = delete;

    // The observer must stay until the database is gone or is no longer changed.
    void addObserver(ListObserver *observer);

    const DatabaseList &instrument() const { return m_instrument; }
    const DatabaseList &file() const { return m_file; }
    const DatabaseList &additional() const { return m_additional; }

    enum class Which { Instrument, File };
    struct Taken
    {
        DatabaseImage::Fault fault = DatabaseImage::Fault::None;
        // Records the rebuild passed over: their heads count pages that are not
        // theirs (a page of another kind, the closing page, past the end).
        int passedOver = 0;
    };
    // Checks the bytes; when they pass, the pages the header counts are parsed
    // and rebuilt into the list (sorted, repeats and stray pages gone). When they
    // fail, nothing changes.
    Taken take(Which which, const QByteArray &bytes);
    // The file list's bytes are dropped (its tree stays on screen). The
    // additional list stays as it is: it holds its own copies of the records,
    // taken from a file that passed the checks.
    void discardFile();

    enum class AdditionalResult {
        NotFormed, // no instrument list, or nothing to draw the additional list from
        Formed
    };
    // The file list's test systems the instrument list lacks, with their bytes.
    // Without the file list's bytes (discarded before a new file is chosen) the
    // additional list keeps those of its own test systems the instrument list
    // still lacks, so it never offers one the instrument list holds already.
    AdditionalResult buildAdditionalList();

    enum class AddResult { Added, NothingToAdd, TooManyPages };
    // Puts the additional list's records and closing page in place of the
    // instrument list's closing page; refused when the list would pass 999
    // pages (pages receives the count it would have) or there is no additional
    // list formed from the present lists. The additional list is formed again.
    AddResult addAdditional(int *pages = nullptr);

    // Deletes the nodes (groups, subgroups, test systems) with everything below
    // them from the instrument list and rebuilds it. Returns the test systems
    // removed; paths that name no node are ignored.
    int removeNodes(const std::vector<NodePath> &selected);

    // The parse of one image: the tree, each test system's locator in the image,
    // and the pages walked (never past the image's end).
    struct Parsed
    {
        TSTree tree;
        int pagesWalked = 0;
    };
    // Walks pagesToWalk pages of the image (header included in the bytes).
    Parsed ParseDatabase(const QByteArray &image, int pagesToWalk);
    struct Rebuilt
    {
        QByteArray image;
        int passedOver = 0;
    };
    // The records of the test systems of tree (in tree order, each whole record
    // once) followed by the closing page, under its header.
    Rebuilt RebuildDatabase(const QByteArray &image, const TSTree &tree);

    // A list text file: per node in tree order, one TAB per level, the name with
    // its zero byte, CR LF.
    static QByteArray listText(const TSTree &tree);

private:
    class ChangeScope;

    // A list from an image that passed the checks: the tree is its parse.
    DatabaseList listOf(QByteArray image);
    // Copies the record of sourceNode (its locator points into sourceImage) into
    // the additional list being formed.
    static void AddMissingTestSystem(DatabaseList &additional, const TSNode &sourceNode,
                                     const QByteArray &sourceImage);

    DatabaseList m_instrument;
    DatabaseList m_file;
    DatabaseList m_additional;
    QByteArray m_closingPage;
    std::vector<ListObserver *> m_observers;
};

} // namespace kalent
