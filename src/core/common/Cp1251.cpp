#include "common/Cp1251.h"

#include <array>

namespace kalent::Cp1251 {

namespace {

// The upper half from 0x80 to 0xBF; 0xC0 to 0xFF are А to я in order, and the
// lower half is ASCII. A table of the program's own, not the system's codecs:
// Qt for Windows has no windows-1251 without ICU, and the bytes must be the
// same on every system. The one unassigned byte, 0x98, stands for U+0098.
constexpr std::array<char16_t, 64> UpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

constexpr char16_t CyrillicA = 0x0410;
// What a character without a byte becomes (ASCII SUB), once per character.
constexpr char Substitute = 0x1A;

char byteFor(char16_t unit)
{
    if (unit < 0x80)
        return char(unit);
    if (unit >= CyrillicA && unit < CyrillicA + 64)
        return char(0xC0 + (unit - CyrillicA));
    for (std::size_t i = 0; i < UpperHalf.size(); ++i) {
        if (UpperHalf[i] == unit)
            return char(0x80 + i);
    }
    return Substitute;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            *out++ = QChar(b);
        else if (b < 0xC0)
            *out++ = QChar(UpperHalf[b - 0x80]);
        else
            *out++ = QChar(char16_t(CyrillicA + (b - 0xC0)));
    }
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character beyond the basic plane is one character: one substitute.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes.append(Substitute);
            ++i;
            continue;
        }
        bytes.append(c.isSurrogate() ? Substitute : byteFor(c.unicode()));
    }
    return bytes;
}

} // namespace kalent::Cp1251
