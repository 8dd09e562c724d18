#pragma once

#include <QByteArray>
#include <QList>

#include <cstdio>

namespace kalent::test {

// Database images built by hand for the tests. The layout is restated here on
// purpose: 10-byte header, 528-byte pages, the kind at page bytes 520-523.
namespace img {

// What the program sends for a whole write of image: "M" with the page count
// (high byte first), then "m" and each page.
inline QByteArray writeCommands(const QByteArray &image)
{
    const int pages = static_cast<int>((image.size() - 10) / 528);
    QByteArray out("M");
    out.append(static_cast<char>(pages / 256));
    out.append(static_cast<char>(pages % 256));
    for (int k = 0; k < pages; ++k)
        out += 'm' + image.mid(10 + 528 * k, 528);
    return out;
}

inline QByteArray kindBytes(bool closing)
{
    return closing ? QByteArray::fromHex("B168DE3A") : QByteArray::fromHex("15CD5B07");
}

inline QByteArray page(char fill, const QByteArray &kind)
{
    QByteArray p(528, fill);
    p.replace(520, 4, kind);
    return p;
}

// A record's first page; names are windows-1251 bytes without their zero.
inline QByteArray head(qint32 pages, const QByteArray &group, const QByteArray &subgroup,
                       const QByteArray &ts, char fill = 'x')
{
    QByteArray p = page(fill, kindBytes(false));
    const auto u = static_cast<quint32>(pages);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    const auto put = [&p](int offset, int width, const QByteArray &name) {
        p.replace(offset, width, QByteArray(width, '\0'));
        p.replace(offset, name.size(), name);
    };
    put(4, 21, group);
    put(25, 21, subgroup);
    put(46, 31, ts);
    return p;
}

inline QByteArray continuation(char fill = 'c')
{
    return page(fill, kindBytes(false));
}

inline QByteArray closing(char fill = 'Z')
{
    return page(fill, kindBytes(true));
}

inline QByteArray other(char fill = 'o')
{
    return page(fill, QByteArray::fromHex("01020304"));
}

inline QByteArray headerFor(int pages)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%3d", pages);
    return (QByteArray("VirBDTS") + digits).left(10);
}

inline QByteArray image(const QList<QByteArray> &pages)
{
    QByteArray out = headerFor(static_cast<int>(pages.size()));
    for (const QByteArray &p : pages)
        out.append(p);
    return out;
}

} // namespace img
} // namespace kalent::test
