#include "database/TestSystemDatabase.h"

#include <algorithm>

namespace kalent {

using namespace DatabaseImage;

int DatabaseList::pageCount() const
{
    const qint64 bytes = m_headerless ? m_image.size() : m_image.size() - HeaderSize;
    return bytes > 0 ? static_cast<int>(bytes / PageSize) : 0;
}

// Tells the observers about one list's change for as long as the scope lasts.
class TestSystemDatabase::ChangeScope
{
public:
    ChangeScope(const TestSystemDatabase &db, const DatabaseList &list) : m_db(db), m_list(list)
    {
        for (ListObserver *o : m_db.m_observers)
            o->listAboutToChange(m_list);
    }
    ~ChangeScope()
    {
        for (ListObserver *o : m_db.m_observers)
            o->listChanged(m_list);
    }
    ChangeScope(const ChangeScope &) = delete;
    ChangeScope &operator=(const ChangeScope &) = delete;

private:
    const TestSystemDatabase &m_db;
    const DatabaseList &m_list;
};

TestSystemDatabase::TestSystemDatabase() : m_closingPage(PageSize, '\0')
{
    m_additional.m_headerless = true;
}

void TestSystemDatabase::addObserver(ListObserver *observer)
{
    m_observers.push_back(observer);
}

TestSystemDatabase::Parsed TestSystemDatabase::ParseDatabase(const QByteArray &image,
                                                             int pagesToWalk)
{
    Parsed out;
    qint64 continuation = 0;
    // The listed record whose span is being walked: the pages its head counts
    // must be its own. A page of another kind inside it is carried along, but
    // after one the parser takes the next record page as a head, so the span
    // may not reach a record page again, nor the closing page, nor the end.
    TSNode *open = nullptr;
    qint64 spanLeft = 0;
    bool sawOther = false;
    const int toWalk = std::max(pagesToWalk, 0);
    for (int k = 0; k < toWalk; ++k) {
        const qint64 s = pageStart(k);
        // A count larger than the bytes ends the walk.
        if (!pageInside(image, s))
            break;
        const quint32 kind = pageKind(image, s);
        if (open) {
            if (kind == ClosingKind || (kind == RecordKind && sawOther)) {
                open = nullptr;
            } else {
                sawOther = sawOther || kind != RecordKind;
                if (--spanLeft == 0) {
                    open->locator.whole = true;
                    open = nullptr;
                }
            }
        }
        if (kind == RecordKind && continuation != 0) {
            --continuation;
        } else if (kind == RecordKind) {
            // A head of 0 or fewer pages still is a page of its own.
            const qint32 pages = std::max<qint32>(headPageCount(image, s), 1);
            continuation = pages;
            TSNode *group =
                out.tree.findOrAddChild(nullptr, nameField(image, s, GroupOffset, GroupWidth));
            TSNode *subgroup =
                out.tree.findOrAddChild(group, nameField(image, s, SubgroupOffset, SubgroupWidth));
            const QByteArray tsName = nameField(image, s, TSNameOffset, TSNameWidth);
            if (!out.tree.findChild(subgroup, tsName)) {
                TSNode *ts = out.tree.addChild(subgroup, tsName);
                ts->locator = TSLocator{static_cast<qint32>(s), pages, pages == 1};
                open = pages == 1 ? nullptr : ts;
                spanLeft = pages - 1;
                sawOther = false;
            }
            --continuation;
        } else {
            if (kind == ClosingKind)
                m_closingPage = image.mid(s, PageSize);
            continuation = 0;
        }
        ++out.pagesWalked;
    }
    return out;
}

TestSystemDatabase::Rebuilt TestSystemDatabase::RebuildDatabase(const QByteArray &image,
                                                                const TSTree &tree)
{
    if (image.size() >= HeaderSize + PageSize)
        m_closingPage = image.right(PageSize);
    Rebuilt out;
    out.image = QByteArray(HeaderSize, ' ');
    for (const TSNode *ts : tree.testSystems()) {
        const TSLocator &loc = ts->locator;
        const qint64 span = qint64(loc.Pages) * PageSize;
        // Only a record whose span holds its own pages is copied: one whose head
        // counts further would bring another record's pages or the closing page,
        // and the image would hold them twice.
        if (!loc.whole || loc.Position < HeaderSize || loc.Position + span > image.size()) {
            ++out.passedOver;
            continue;
        }
        out.image.append(image.constData() + loc.Position, span);
    }
    out.image.append(m_closingPage);
    setHeader(out.image);
    return out;
}

DatabaseList TestSystemDatabase::listOf(QByteArray image)
{
    DatabaseList list;
    Parsed parsed = ParseDatabase(image, static_cast<int>((image.size() - HeaderSize) / PageSize));
    list.m_image = std::move(image);
    list.m_tree = std::move(parsed.tree);
    list.m_exists = true;
    return list;
}

TestSystemDatabase::Taken TestSystemDatabase::take(Which which, const QByteArray &bytes)
{
    Taken result;
    int pages = 0;
    result.fault = check(bytes, &pages);
    if (result.fault != Fault::None)
        return result;
    // Only what the header counts is the database; bytes behind it are not.
    const QByteArray image = bytes.left(pageStart(pages));
    const Parsed parsed = ParseDatabase(image, pages);
    Rebuilt rebuilt = RebuildDatabase(image, parsed.tree);
    result.passedOver = rebuilt.passedOver;
    DatabaseList &list = which == Which::Instrument ? m_instrument : m_file;
    const ChangeScope change(*this, list);
    list = listOf(std::move(rebuilt.image));
    // A new file is the additional list's new source: it is formed from it anew.
    if (which == Which::File)
        m_additional.m_exists = false;
    return result;
}

void TestSystemDatabase::discardFile()
{
    m_file.m_exists = false;
    m_file.m_image.clear();
}

TestSystemDatabase::AdditionalResult TestSystemDatabase::buildAdditionalList()
{
    if (!m_instrument.m_exists || (!m_file.m_exists && !m_additional.m_exists))
        return AdditionalResult::NotFormed;
    const ChangeScope change(*this, m_additional);
    // The source is moved out first: without a file it is the additional list itself.
    const DatabaseList source = m_file.m_exists ? DatabaseList() : std::move(m_additional);
    const DatabaseList &from = m_file.m_exists ? m_file : source;
    DatabaseList formed;
    formed.m_headerless = true;
    const TSTree &vir = m_instrument.m_tree;
    for (const TSNode *ts : from.m_tree.testSystems()) {
        const TSNode *sourceSub = ts->parent;
        const TSNode *group = vir.findChild(nullptr, sourceSub->parent->name);
        const TSNode *sub = group ? vir.findChild(group, sourceSub->name) : nullptr;
        if (!sub || !vir.findChild(sub, ts->name))
            AddMissingTestSystem(formed, *ts, from.m_image);
    }
    formed.m_image.append(m_closingPage);
    formed.m_exists = true;
    m_additional = std::move(formed);
    return AdditionalResult::Formed;
}

void TestSystemDatabase::AddMissingTestSystem(DatabaseList &additional, const TSNode &sourceNode,
                                              const QByteArray &sourceImage)
{
    // The source is sound: every record of its tree lies whole in its bytes.
    const TSLocator &loc = sourceNode.locator;
    const TSNode *sourceSub = sourceNode.parent;
    TSNode *group = additional.m_tree.findOrAddChild(nullptr, sourceSub->parent->name);
    TSNode *sub = additional.m_tree.findOrAddChild(group, sourceSub->name);
    TSNode *ts = additional.m_tree.addChild(sub, sourceNode.name);
    // The copy's place in the additional list's own bytes, so that the list can
    // later be formed from itself.
    ts->locator = TSLocator{static_cast<qint32>(additional.m_image.size()), loc.Pages, loc.whole};
    additional.m_image.append(sourceImage.constData() + loc.Position, qint64(loc.Pages) * PageSize);
}

TestSystemDatabase::AddResult TestSystemDatabase::addAdditional(int *pages)
{
    if (!m_instrument.m_exists || !m_additional.m_exists || m_additional.tsCount() == 0)
        return AddResult::NothingToAdd;
    const int newCount = m_instrument.pageCount() + m_additional.pageCount() - 1;
    if (pages)
        *pages = newCount;
    if (newCount > MaxPages)
        return AddResult::TooManyPages;
    QByteArray image = m_instrument.m_image;
    image.chop(PageSize);
    image.append(m_additional.m_image);
    setHeader(image);
    {
        const ChangeScope change(*this, m_instrument);
        m_instrument = listOf(std::move(image));
    }
    // What was added is no longer missing.
    buildAdditionalList();
    return AddResult::Added;
}

int TestSystemDatabase::removeNodes(const std::vector<NodePath> &selected)
{
    if (!m_instrument.m_exists)
        return 0;
    const int before = m_instrument.tsCount();
    // The test systems that stay: none of their ancestors (nor they) selected.
    TSTree kept;
    for (const TSNode *ts : m_instrument.m_tree.testSystems()) {
        const NodePath path = ts->path();
        const bool removed = std::any_of(selected.begin(), selected.end(), [&](const NodePath &p) {
            return !p.isEmpty() && p.size() <= path.size() && path.mid(0, p.size()) == p;
        });
        if (removed)
            continue;
        TSNode *group = kept.findOrAddChild(nullptr, path.at(0));
        TSNode *sub = kept.findOrAddChild(group, path.at(1));
        kept.addChild(sub, path.at(2))->locator = ts->locator;
    }
    Rebuilt rebuilt = RebuildDatabase(m_instrument.m_image, kept);
    const ChangeScope change(*this, m_instrument);
    m_instrument = listOf(std::move(rebuilt.image));
    return before - m_instrument.tsCount();
}

QByteArray TestSystemDatabase::listText(const TSTree &tree)
{
    QByteArray text;
    for (const TSNode *n : tree.nodesInOrder()) {
        text.append(QByteArray(n->level(), '\t'));
        text.append(n->name);
        text.append("\r\n");
    }
    return text;
}

} // namespace kalent
