#pragma once

#include <QByteArray>
#include <QString>

class QPagedPaintDevice;

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
// blanks, lines longer than `columns` continued on the next line.
QStringList pageLines(const QString &text, int columns);
} // namespace ProtocolPrint

} // namespace kalent
