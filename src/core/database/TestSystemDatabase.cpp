#include "database/TestSystemDatabase.h"

#include "database/DatabaseImage.h"

#include <algorithm>

namespace kalent {

using namespace DatabaseImage;

TestSystemDatabase::TestSystemDatabase() : m_closingPage(PageSize, '\0')
{}

void TestSystemDatabase::ParseDatabase(DatabaseList &list)
{
    list.tree.clear();
    const qint32 toWalk = std::max<qint32>(list.pageCount, 0);
    if (list.locators.size() < static_cast<size_t>(toWalk))
        list.locators.resize(static_cast<size_t>(toWalk));
    qint64 continuation = 0;
    qint32 listed = 0;
    qint32 walked = 0;
    size_t nextLocator = 0;
    const QByteArray &image = list.image;
    for (qint32 k = 0; k < toWalk; ++k) {
        const qint64 s = pageStart(k);
        // A count larger than the bytes (a cut transfer, a forged header) ends the walk.
        if (!pageInside(image, s))
            break;
        const quint32 kind = pageKind(image, s);
        if (kind == RecordKind && continuation != 0) {
            --continuation;
        } else if (kind == RecordKind) {
            // A head of 0 or fewer pages still is a page of its own.
            const qint32 pages = std::max<qint32>(headPageCount(image, s), 1);
            continuation = pages;
            if (nextLocator >= list.locators.size())
                list.locators.resize(nextLocator + 1);
            list.locators[nextLocator] = TSLocator{static_cast<qint32>(s), pages};
            TSNode *group =
                list.tree.findOrAddChild(nullptr, nameField(image, s, GroupOffset, GroupWidth));
            TSNode *subgroup =
                list.tree.findOrAddChild(group, nameField(image, s, SubgroupOffset, SubgroupWidth));
            const QByteArray tsName = nameField(image, s, TSNameOffset, TSNameWidth);
            if (!list.tree.findChild(subgroup, tsName)) {
                TSNode *ts = list.tree.addChild(subgroup, tsName);
                ts->locator = static_cast<int>(nextLocator);
                ++nextLocator;
                ++listed;
            }
            --continuation;
        } else if (kind == ClosingKind) {
            m_closingPage = image.mid(s, PageSize);
            continuation = 0;
        } else {
            continuation = 0;
        }
        ++walked;
    }
    list.tsCount = listed;
    list.pageCount = walked;
}

void TestSystemDatabase::RebuildDatabase(DatabaseList &list)
{
    const QByteArray &old = list.image;
    if (old.size() >= HeaderSize + PageSize)
        m_closingPage = old.right(PageSize);
    QByteArray rebuilt(HeaderSize, ' ');
    qint32 pages = 0;
    qint32 listed = 0;
    for (TSNode *ts : list.tree.testSystems()) {
        if (ts->locator < 0 || static_cast<size_t>(ts->locator) >= list.locators.size())
            continue;
        TSLocator &loc = list.locators[static_cast<size_t>(ts->locator)];
        const qint64 span = qint64(loc.Pages) * PageSize;
        if (loc.Position < 0 || loc.Pages < 1 || loc.Position + span > old.size())
            continue;
        const qint64 at = rebuilt.size();
        rebuilt.append(old.constData() + loc.Position, span);
        loc.Position = static_cast<qint32>(at);
        ++listed;
        pages += loc.Pages;
    }
    rebuilt.append(m_closingPage);
    ++pages;
    rebuilt.replace(0, HeaderSize, header(pages));
    list.image = rebuilt;
    list.hasImage = true;
    list.pageCount = pages;
    list.tsCount = listed;
}

TestSystemDatabase::AdditionalResult TestSystemDatabase::FormAdditionalList()
{
    if (!m_instrument.hasImage || !m_file.hasImage)
        return AdditionalResult::NotFormed;
    m_additional.image.clear();
    m_additional.hasImage = true;
    m_additional.tree.clear();
    m_additional.pageCount = 0;
    m_additional.tsCount = 0;
    for (TSNode *fileTs : m_file.tree.testSystems()) {
        const TSNode *fileSub = fileTs->parent;
        const TSNode *fileGroup = fileSub->parent;
        const TSNode *group = m_instrument.tree.findChild(nullptr, fileGroup->name);
        const TSNode *sub = group ? m_instrument.tree.findChild(group, fileSub->name) : nullptr;
        if (!sub || !m_instrument.tree.findChild(sub, fileTs->name))
            AddMissingTestSystem(*fileTs);
    }
    m_additional.image.append(m_closingPage);
    ++m_additional.pageCount;
    if (m_additional.image.size() / PageSize != m_additional.pageCount)
        return AdditionalResult::SizeMismatch;
    return AdditionalResult::Formed;
}

void TestSystemDatabase::AddMissingTestSystem(const TSNode &fileNode)
{
    if (fileNode.locator < 0 || static_cast<size_t>(fileNode.locator) >= m_file.locators.size())
        return;
    const TSLocator &loc = m_file.locators[static_cast<size_t>(fileNode.locator)];
    const qint64 span = qint64(loc.Pages) * PageSize;
    // Only whole records that lie inside the file's bytes are carried over.
    if (loc.Position < 0 || loc.Pages < 1 || loc.Position + span > m_file.image.size())
        return;
    const TSNode *fileSub = fileNode.parent;
    TSNode *group = m_additional.tree.findOrAddChild(nullptr, fileSub->parent->name);
    TSNode *sub = m_additional.tree.findOrAddChild(group, fileSub->name);
    TSNode *ts = m_additional.tree.addChild(sub, fileNode.name);
    ts->locator = fileNode.locator;
    m_additional.image.append(m_file.image.constData() + loc.Position, span);
    ++m_additional.tsCount;
    m_additional.pageCount += loc.Pages;
}

void TestSystemDatabase::RemoveSelectedNodes(TSTree &tree)
{
    const std::vector<TSNode *> selected = tree.selectedNodes();
    // Collected in tree order, so a node inside a selected one comes after it;
    // it is skipped rather than touched after its ancestor is gone.
    std::vector<TSNode *> roots;
    for (TSNode *n : selected) {
        bool inside = false;
        for (const TSNode *p = n->parent; p; p = p->parent)
            inside = inside || p->selected;
        if (!inside)
            roots.push_back(n);
    }
    for (TSNode *n : roots)
        tree.remove(n);
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
