// Fuzzes parse -> rebuild -> additional list -> add -> delete on two images cut
// from one input (the second starts at the second "VirBDTS"), and checks after every step that
// each list is one the program itself would read back: header = pages = size,
// at most 999 pages, closing page last, the parse of its bytes gives its tree,
// no record or stray page in it twice, never larger than its source.
#include "database/DatabaseImage.h"
#include "database/TestSystemDatabase.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

using namespace kalent;
using namespace kalent::DatabaseImage;

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "database invariant broken: %s\n", what);
        std::abort();
    }
}

std::map<QByteArray, int> pagesOf(const QByteArray &image)
{
    std::map<QByteArray, int> out;
    for (qint64 s = HeaderSize; s + PageSize <= image.size(); s += PageSize)
        ++out[image.mid(s, PageSize)];
    return out;
}

void requireSound(const DatabaseList &list)
{
    if (!list.exists())
        return;
    const QByteArray &image = list.image();
    int pages = 0;
    require(check(image, &pages) == Fault::None, "the list fails the file check");
    require(pages == list.pageCount(), "header differs from the page count");
    require(image.size() == pageStart(pages), "size differs from the header");
    require(pages <= MaxPages, "more than 999 pages");
    // Its own bytes parse to its tree, every record whole.
    TestSystemDatabase fresh;
    const auto parsed = fresh.ParseDatabase(image, pages);
    require(TestSystemDatabase::listText(parsed.tree) == TestSystemDatabase::listText(list.tree()),
            "the bytes parse to another tree");
    for (const TSNode *ts : parsed.tree.testSystems())
        require(ts->locator.whole, "a record claims pages not its own");
    // Nothing repeated and nothing stray: rebuilding drops no page.
    require(fresh.RebuildDatabase(image, parsed.tree).image.size() == image.size(),
            "the list holds a repeated record or a stray page");
}

void requireFromSource(const DatabaseList &list, const QByteArray &source)
{
    requireSound(list);
    if (!list.exists())
        return;
    require(list.image().size() <= source.size(), "rebuilt image larger than its source");
    const auto from = pagesOf(source);
    for (const auto &[page, count] : pagesOf(list.image())) {
        const auto it = from.find(page);
        require(it != from.end() && count <= it->second, "a source page held twice");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray all(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype cut = all.indexOf("VirBDTS", 1);
    const QByteArray first = cut < 0 ? all : all.left(cut);
    const QByteArray second = cut < 0 ? QByteArray() : all.mid(cut);

    TestSystemDatabase db;
    using Which = TestSystemDatabase::Which;
    const auto vir = db.take(Which::Instrument, first);
    require(db.instrument().exists() == (vir.fault == Fault::None),
            "a refused image became a list");
    requireFromSource(db.instrument(), first);
    db.take(Which::File, second);
    requireFromSource(db.file(), second);

    if (db.buildAdditionalList() == TestSystemDatabase::AdditionalResult::Formed) {
        const DatabaseList &add = db.additional();
        require(add.image().size() == qint64(add.pageCount()) * PageSize, "additional list size");
        const int before = db.instrument().tsCount();
        const int adding = add.tsCount();
        int pages = 0;
        const auto result = db.addAdditional(&pages);
        requireSound(db.instrument());
        if (result == TestSystemDatabase::AddResult::Added) {
            require(db.instrument().tsCount() == before + adding, "added test systems miscounted");
            require(db.instrument().pageCount() == pages, "added pages miscounted");
            require(db.additional().tsCount() == 0, "something still missing after adding");
        }
    }

    // Delete a node picked by the last byte, with one inside it when there is one.
    const auto nodes = db.instrument().tree().nodesInOrder();
    if (!nodes.empty()) {
        const TSNode *picked = nodes[data[size - 1] % nodes.size()];
        const NodePath path = picked->path();
        std::vector<NodePath> selected{path};
        if (!picked->children.empty())
            selected.push_back(picked->children.front()->path());
        const int before = db.instrument().tsCount();
        const int removed = db.removeNodes(selected);
        requireSound(db.instrument());
        require(db.instrument().tsCount() == before - removed, "removed test systems miscounted");
        require(!db.instrument().tree().find(path), "deleted node still there");
    }
    return 0;
}
