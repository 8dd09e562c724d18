#include "common/LocalFileName.h"

namespace kalent::LocalFileName {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool escapedByte(QChar c)
{
    return c.unicode() >= EscapeBase + 0x80 && c.unicode() <= EscapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at the start of the bytes, 0 for none.
int validSequence(const unsigned char *p, qsizetype left)
{
    const unsigned char b = p[0];
    int length = 0;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        length = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        length = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        length = 4;
    else
        return 0;
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are not valid.
    if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F) || (b == 0xF0 && p[1] < 0x90) ||
        (b == 0xF4 && p[1] > 0x8F))
        return 0;
    return length;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype run = 0; // the start of the valid text not yet decoded
    for (qsizetype i = 0; i < size;) {
        const int length = validSequence(p + i, size - i);
        if (length > 0) {
            i += length;
            continue;
        }
        out += QString::fromUtf8(bytes.constData() + run, i - run);
        out += QChar(static_cast<char16_t>(EscapeBase + p[i]));
        run = ++i;
    }
    out += QString::fromUtf8(bytes.constData() + run, size - run);
    return out;
}

QByteArray encode(const QString &name)
{
    if (!hasRawBytes(name))
        return name.toUtf8();
    QByteArray out;
    qsizetype run = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!escapedByte(name.at(i)))
            continue;
        out += QStringView(name).mid(run, i - run).toUtf8();
        out += static_cast<char>(name.at(i).unicode() - EscapeBase);
        run = i + 1;
    }
    out += QStringView(name).mid(run).toUtf8();
    return out;
}

bool hasRawBytes(const QString &name)
{
    for (const QChar c : name)
        if (escapedByte(c))
            return true;
    return false;
}

} // namespace kalent::LocalFileName
