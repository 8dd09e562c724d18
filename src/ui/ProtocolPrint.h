#pragma once

#include <QByteArray>
#include <QString>

class QPagedPaintDevice;
class QPaintDevice;

namespace kalent {

// The results protocol on paper or in a PDF: the memo's text in a monospaced
// font (columns stay aligned, Cyrillic included), split into pages, each with
// a header line (the protocol's number and date) and its page number. The PDF
// embeds the font, so the text reads the same anywhere and can be searched.
namespace ProtocolPrint {
// Draws on a printer or a PDF writer. Returns an empty string on success.
QString render(QPagedPaintDevice &device, const QString &text, const QString &header);
// The PDF's bytes; on failure returns nothing and sets *error.
QByteArray pdf(const QString &text, const QString &header, QString *error);
// The PDF written whole through AtomicFile. Returns an empty string on success.
QString writePdf(const QString &path, const QString &text, const QString &header);
// The lines as they go on paper: tabs expanded, control characters shown as
// blanks, a line longer than `columns` broken at a blank and continued on the
// next line, indented under its start (a word or number is cut only when it
// alone is longer than a line).
QStringList pageLines(const QString &text, int columns);
// The characters of the longest line on paper (tabs expanded).
int longestLine(const QString &text);
// The body's point size: 9, or as much smaller (down to 7) as keeps a line of
// `longest` characters within `width` device units.
double fittingPointSize(int longest, double width, const QPaintDevice &device);
} // namespace ProtocolPrint

} // namespace kalent
