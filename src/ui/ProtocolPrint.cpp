#include "ProtocolPrint.h"

#include "common/AtomicFile.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace kalent::ProtocolPrint {

namespace {

constexpr int TabWidth = 8;

QFont protocolFont(int pointSize, bool bold = false)
{
    QFont font;
    // Monospaced faces with Cyrillic on Linux and on Windows, in that order.
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("Courier New")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

QStringList pageLines(const QString &text, int columns)
{
    columns = qMax(1, columns);
    QStringList out;
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
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
        do {
            out.append(expanded.left(columns));
            expanded.remove(0, columns);
        } while (!expanded.isEmpty());
    }
    // The text's own final line end gives no extra empty line on paper.
    if (out.size() > 1 && out.last().isEmpty())
        out.removeLast();
    return out;
}

QString render(QPagedPaintDevice &device, const QString &text, const QString &header)
{
    device.setPageMargins(QMarginsF(15, 12, 12, 12), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return QStringLiteral("Не удалось начать печать протокола.");
    const QFont body = protocolFont(9);
    const QFont head = protocolFont(9, true);
    const QFontMetricsF bodyMetrics(body, &device);
    const QFontMetricsF headMetrics(head, &device);
    const double width = device.width();
    const double height = device.height();
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
        writer.setCreator(QStringLiteral("КАЛЕНТ-сервис"));
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
