#include "ProtocolPrint.h"

#include "common/AtomicFile.h"
#include "common/OperatorTexts.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace kalent::ProtocolPrint {

namespace {

constexpr int TabWidth = 8;
// The memo's own size, and the smallest the text is set in to keep the
// longest line whole before lines are broken.
constexpr double BodyPoints = 9.0;
constexpr double SmallestBodyPoints = 7.0;
constexpr double PointStep = 0.5;
// A broken line goes on indented under its own start by this many columns.
constexpr int ContinuationIndent = 4;

QFont protocolFont(double pointSize, bool bold = false)
{
    QFont font;
    // Monospaced faces with Cyrillic on Linux and on Windows, in that order.
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("Courier New")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

// The lines as the memo shows them: one per line end (CR LF, CR or LF), tabs
// expanded, control characters as blanks.
QStringList expandedLines(const QString &text)
{
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList out;
    const QStringList lines = normalised.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        QString expanded;
        for (const QChar c : line) {
            if (c == QLatin1Char('\t'))
                expanded += QString(TabWidth - expanded.size() % TabWidth, QLatin1Char(' '));
            else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                expanded += QLatin1Char(' ');
            else
                expanded += c;
        }
        out.append(expanded);
    }
    // The text's own final line end gives no extra empty line on paper.
    if (out.size() > 1 && out.last().isEmpty())
        out.removeLast();
    return out;
}

int leadingBlanks(const QString &line)
{
    int n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char(' '))
        ++n;
    return n;
}

// One line in pieces of at most `columns`, each break at a blank: the piece
// before it loses its trailing blanks, the rest goes on indented. A word or
// number is cut only when it is longer than a whole line by itself.
QStringList brokenAtBlanks(const QString &line, int columns)
{
    if (line.size() <= columns)
        return {line};
    const int indent = qMin(leadingBlanks(line) + ContinuationIndent, columns / 2);
    QStringList out;
    QString rest = line;
    int lead = leadingBlanks(line); // the blanks the current piece begins with
    while (rest.size() > columns) {
        int cut = -1;
        for (int i = columns; i > lead; --i) {
            if (rest.at(i) == QLatin1Char(' ')) {
                cut = i;
                break;
            }
        }
        QString piece;
        if (cut < 0) { // no blank in reach: the one unbreakable run is cut
            piece = rest.left(columns);
            rest.remove(0, columns);
        } else {
            piece = rest.left(cut);
            rest.remove(0, cut);
            while (!rest.isEmpty() && rest.at(0) == QLatin1Char(' '))
                rest.remove(0, 1);
        }
        while (piece.endsWith(QLatin1Char(' ')))
            piece.chop(1);
        out.append(piece);
        if (rest.isEmpty())
            break;
        rest.prepend(QString(indent, QLatin1Char(' ')));
        lead = indent;
    }
    if (!rest.isEmpty())
        out.append(rest);
    return out;
}

} // namespace

QStringList pageLines(const QString &text, int columns)
{
    columns = qMax(ContinuationIndent * 2 + 1, columns);
    QStringList out;
    for (const QString &line : expandedLines(text))
        out += brokenAtBlanks(line, columns);
    return out;
}

int longestLine(const QString &text)
{
    int longest = 0;
    for (const QString &line : expandedLines(text))
        longest = qMax(longest, static_cast<int>(line.size()));
    return longest;
}

double fittingPointSize(int longest, double width, const QPaintDevice &device)
{
    double size = BodyPoints;
    while (size - PointStep >= SmallestBodyPoints - 1e-9 &&
           longest * QFontMetricsF(protocolFont(size), &device).horizontalAdvance(u'M') > width)
        size -= PointStep;
    return size;
}

QString render(QPagedPaintDevice &device, const QString &text, const QString &header)
{
    device.setPageMargins(QMarginsF(15, 12, 12, 12), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return QStringLiteral("Не удалось начать печать протокола.");
    const double width = device.width();
    const double height = device.height();
    // The longest line is kept whole by a smaller size where one is readable;
    // only beyond that are lines broken.
    const QFont body = protocolFont(fittingPointSize(longestLine(text), width, device));
    const QFont head = protocolFont(BodyPoints, true);
    const QFontMetricsF bodyMetrics(body, &device);
    const QFontMetricsF headMetrics(head, &device);
    const double lineHeight = bodyMetrics.lineSpacing();
    const double headerHeight = headMetrics.lineSpacing() * 2;
    const int columns = qMax(20, static_cast<int>(width / bodyMetrics.horizontalAdvance(u'M')));
    const int perPage = qMax(1, static_cast<int>((height - headerHeight) / lineHeight));
    const QStringList lines = pageLines(text, columns);
    const int pages = static_cast<int>((lines.size() + perPage - 1) / perPage);

    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) {
            painter.end();
            return QStringLiteral("Не удалось начать новую страницу протокола.");
        }
        painter.setFont(head);
        const QRectF headRect(0, 0, width, headMetrics.lineSpacing());
        painter.drawText(headRect, Qt::AlignLeft | Qt::AlignVCenter, header);
        painter.drawText(headRect, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("стр. %1 из %2").arg(page + 1).arg(pages));
        const double ruleY = headMetrics.lineSpacing() * 1.4;
        painter.drawLine(QPointF(0, ruleY), QPointF(width, ruleY));
        painter.setFont(body);
        double y = headerHeight + bodyMetrics.ascent();
        for (int i = page * perPage; i < qMin<int>(lines.size(), (page + 1) * perPage); ++i) {
            painter.drawText(QPointF(0, y), lines.at(i));
            y += lineHeight;
        }
    }
    if (!painter.end())
        return QStringLiteral("Не удалось завершить печать протокола.");
    return {};
}

QByteArray pdf(const QString &text, const QString &header, QString *error)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        writer.setTitle(header);
        writer.setCreator(OperatorTexts::programName());
        const QString failed = render(writer, text, header);
        if (!failed.isEmpty()) {
            *error = failed;
            return {};
        }
    }
    return buffer.data();
}

QString writePdf(const QString &path, const QString &text, const QString &header)
{
    QString error;
    const QByteArray bytes = pdf(text, header, &error);
    if (!error.isEmpty())
        return error;
    return AtomicFile::write(path, bytes);
}

} // namespace kalent::ProtocolPrint
