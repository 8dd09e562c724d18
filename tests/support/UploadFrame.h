#pragma once

#include <QByteArray>

namespace kalent::test {

// A firmware upload as the line carries it, built here independently of the
// program's code: the marker 55 AA, the length (image + 6) in four bytes low
// first, the image, and the 16-bit sum of the image's bytes low first. The
// knobs spoil it: checksumError is added to the sum, lengthOverride replaces
// the length.
inline QByteArray uploadFrame(const QByteArray &image, int checksumError = 0,
                              qint64 lengthOverride = -1)
{
    const quint32 length = lengthOverride >= 0 ? static_cast<quint32>(lengthOverride)
                                               : static_cast<quint32>(image.size()) + 6;
    quint32 sum = static_cast<quint32>(checksumError);
    for (const char c : image)
        sum += static_cast<unsigned char>(c);
    QByteArray out = QByteArray::fromHex("55AA");
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((length >> (8 * i)) & 0xFF));
    out.append(image);
    out.append(static_cast<char>(sum & 0xFF));
    out.append(static_cast<char>((sum >> 8) & 0xFF));
    return out;
}

} // namespace kalent::test
