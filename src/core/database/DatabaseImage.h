#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace kalent {

// The one byte layout of the test-system database, shared by the instrument's
// transfer and the .bdt file: a 10-byte header ("VirBDTS" and the page count as
// "%3d") followed by 528-byte pages. A page's kind is the little-endian number at
// page bytes 520-523; a record's first page begins with its head.
namespace DatabaseImage {

constexpr int HeaderSize = 10;
constexpr int PageSize = 528;
constexpr int BodySize = 512;
constexpr int KindOffset = 520;
constexpr int HeadSize = 176;
constexpr quint32 RecordKind = 123456789;
constexpr quint32 ClosingKind = 987654321;
// The header holds three digits.
constexpr int MaxPages = 999;

constexpr int GroupOffset = 4;
constexpr int GroupWidth = 21;
constexpr int SubgroupOffset = 25;
constexpr int SubgroupWidth = 21;
constexpr int TSNameOffset = 46;
constexpr int TSNameWidth = 31;

QByteArray signature();
// "VirBDTS" followed by pages as "%3d", cut to 10 characters.
QByteArray header(int pages);
// The one place a list's header is set: the count of the pages the image holds.
void setHeader(QByteArray &image);
bool hasSignature(const QByteArray &image);
// Header bytes 7-9 as a decimal number (leading blanks allowed); nothing when
// they are not a number or the image is shorter than its header.
std::optional<int> headerCount(const QByteArray &image);
// Decimal text with leading blanks and an optional sign, nothing else.
std::optional<int> parseDecimal(const QByteArray &text);

// The byte offset of page k.
constexpr qint64 pageStart(qint64 k)
{
    return HeaderSize + PageSize * k;
}
// True when the whole page starting at start lies inside the image.
bool pageInside(const QByteArray &image, qint64 start);
// The kind of the page at start; the page must lie inside the image.
quint32 pageKind(const QByteArray &image, qint64 start);
// The head's page count of the record at start (signed, as stored).
qint32 headPageCount(const QByteArray &image, qint64 start);
// A name field: the bytes up to and including the first zero byte; empty when
// the field holds no zero byte.
QByteArray nameField(const QByteArray &image, qint64 start, int offset, int width);

// Why an image is not a database the program can hold.
enum class Fault {
    None,
    NoSignature,    // bytes 0-6 are not "VirBDTS"
    CountNotNumber, // bytes 7-9 are not a decimal number
    NotClosed       // no closing page where the count puts the last page
};
// The checks every list passes before it is built: the signature, the count as
// a number from 1 to 999 and a closing page as page count - 1, inside the bytes.
// pages receives the count when the image passes; bytes behind the last page
// are not part of the database.
Fault check(const QByteArray &image, int *pages);

// The first page (from 1) where two images' pages differ, a page one of them
// lacks included; 0 when every page is the same. Headers are not compared: the
// instrument makes its own from the count.
int firstDifferentPage(const QByteArray &a, const QByteArray &b);

quint32 readLE32(const char *p);
void writeLE32(char *p, quint32 value);

} // namespace DatabaseImage

} // namespace kalent
