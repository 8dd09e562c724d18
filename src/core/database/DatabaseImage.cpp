#include "database/DatabaseImage.h"

#include <cstdio>

namespace kalent::DatabaseImage {

QByteArray signature()
{
    return QByteArrayLiteral("VirBDTS");
}

QByteArray header(int pages)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%3d", pages);
    return (signature() + QByteArray(digits)).left(HeaderSize);
}

void setHeader(QByteArray &image)
{
    const qint64 pages = (image.size() - HeaderSize) / PageSize;
    image.replace(0, HeaderSize, header(static_cast<int>(pages)));
}

Fault check(const QByteArray &image, int *pages)
{
    if (!hasSignature(image))
        return Fault::NoSignature;
    const std::optional<int> count = headerCount(image);
    if (!count)
        return Fault::CountNotNumber;
    if (*count < 1 || *count > MaxPages)
        return Fault::NotClosed;
    const qint64 last = pageStart(qint64(*count) - 1);
    if (!pageInside(image, last) || pageKind(image, last) != ClosingKind)
        return Fault::NotClosed;
    *pages = *count;
    return Fault::None;
}

bool hasSignature(const QByteArray &image)
{
    return image.startsWith(signature());
}

std::optional<int> parseDecimal(const QByteArray &text)
{
    int i = 0;
    while (i < text.size() && text.at(i) == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '-' || text.at(i) == '+')) {
        negative = text.at(i) == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 0x7FFFFFFF)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<int> headerCount(const QByteArray &image)
{
    if (image.size() < HeaderSize)
        return std::nullopt;
    return parseDecimal(image.mid(7, 3));
}

bool pageInside(const QByteArray &image, qint64 start)
{
    return start >= 0 && start + PageSize <= image.size();
}

quint32 readLE32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

void writeLE32(char *p, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

quint32 pageKind(const QByteArray &image, qint64 start)
{
    return readLE32(image.constData() + start + KindOffset);
}

qint32 headPageCount(const QByteArray &image, qint64 start)
{
    return static_cast<qint32>(readLE32(image.constData() + start));
}

QByteArray nameField(const QByteArray &image, qint64 start, int offset, int width)
{
    const QByteArray field = image.mid(start + offset, width);
    const int zero = field.indexOf('\0');
    return zero < 0 ? QByteArray() : field.left(zero + 1);
}

int firstDifferentPage(const QByteArray &a, const QByteArray &b)
{
    const qint64 longer = qMax(a.size(), b.size());
    for (qint64 start = HeaderSize, page = 1; start < longer; start += PageSize, ++page) {
        if (a.mid(start, PageSize) != b.mid(start, PageSize))
            return static_cast<int>(page);
    }
    return 0;
}

} // namespace kalent::DatabaseImage
