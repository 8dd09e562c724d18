#include "DemoDatabase.h"

#include "common/Cp1251.h"
#include "database/DatabaseImage.h"

namespace kalent {

using namespace DatabaseImage;

namespace {

void putName(QByteArray &page, int offset, int width, const QString &name)
{
    const QByteArray bytes = Cp1251::encode(name).left(width - 1);
    page.replace(offset, bytes.size(), bytes);
    page[offset + bytes.size()] = '\0';
}

QByteArray pageOfKind(quint32 kind, quint32 seed)
{
    QByteArray page(PageSize, '\0');
    // Body and trailer bytes the program carries without reading them.
    for (int i = 0; i < PageSize; ++i)
        page[i] = static_cast<char>((seed * 31 + static_cast<quint32>(i) * 7) & 0xFF);
    writeLE32(page.data() + KindOffset, kind);
    return page;
}

} // namespace

void DemoDatabase::addRecord(const Record &record)
{
    m_records.push_back(record);
}

int DemoDatabase::pageCount() const
{
    int pages = 1;
    for (const Record &r : m_records)
        pages += r.pages;
    return pages;
}

QByteArray DemoDatabase::image() const
{
    QByteArray out = header(pageCount());
    quint32 seed = 1;
    for (const Record &r : m_records) {
        QByteArray first = pageOfKind(RecordKind, seed++);
        writeLE32(first.data(), static_cast<quint32>(r.pages));
        putName(first, GroupOffset, GroupWidth, r.group);
        putName(first, SubgroupOffset, SubgroupWidth, r.subgroup);
        putName(first, TSNameOffset, TSNameWidth, r.testSystem);
        out.append(first);
        for (int k = 1; k < r.pages; ++k)
            out.append(pageOfKind(RecordKind, seed++));
    }
    out.append(pageOfKind(ClosingKind, 0xC105E));
    return out;
}

QByteArray DemoDatabase::demo()
{
    DemoDatabase db;
    const QString hiv = QStringLiteral("ВИЧ");
    const QString hep = QStringLiteral("Гепатиты");
    const QString torch = QStringLiteral("TORCH-инфекции");
    const QString horm = QStringLiteral("Гормоны");
    db.addRecord({hep, QStringLiteral("Гепатит B"), QStringLiteral("HBsAg-ИФА-БЕСТ"), 2});
    db.addRecord({hiv, QStringLiteral("Антитела"), QStringLiteral("ДС-ИФА-ВИЧ-АГАТ"), 1});
    db.addRecord({torch, QStringLiteral("Токсоплазмоз"), QStringLiteral("Токсо-IgG"), 1});
    db.addRecord({hep, QStringLiteral("Гепатит C"), QStringLiteral("анти-ВГС-спектр"), 3});
    db.addRecord({horm, QStringLiteral("Щитовидная железа"), QStringLiteral("ТТГ-ИФА"), 1});
    db.addRecord({hiv, QStringLiteral("Антиген"), QStringLiteral("ВИЧ-1 p24"), 2});
    db.addRecord({torch, QStringLiteral("Краснуха"), QStringLiteral("Рубелла-IgM"), 1});
    db.addRecord({hep, QStringLiteral("Гепатит B"), QStringLiteral("анти-HBc"), 1});
    db.addRecord({horm, QStringLiteral("Щитовидная железа"), QStringLiteral("Т4 свободный"), 2});
    db.addRecord({torch, QStringLiteral("Токсоплазмоз"), QStringLiteral("Токсо-IgM"), 1});
    db.addRecord({horm, QStringLiteral("Репродукция"), QStringLiteral("ХГЧ"), 1});
    db.addRecord({hep, QStringLiteral("Гепатит A"), QStringLiteral("ВГА-IgM"), 1});
    return db.image();
}

QByteArray DemoDatabase::withPages(int pages)
{
    DemoDatabase db;
    for (int i = 0; i < pages - 1; ++i)
        db.addRecord({QStringLiteral("Группа %1").arg(i % 9),
                      QStringLiteral("Подгруппа %1").arg(i % 7),
                      QStringLiteral("ТС-%1").arg(i, 3, 10, QLatin1Char('0')), 1});
    return db.image();
}

} // namespace kalent
