#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// The instrument and its files speak windows-1251, one byte a character. Bytes
// stay bytes everywhere inside the program; these two functions are the only
// crossings to and from screen text and file-system names.
namespace Cp1251 {
QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);
} // namespace Cp1251

} // namespace kalent
