#include "TraceWindow.h"

#include "ObjectNames.h"
#include "common/Cp1251.h"
#include "trace/ExchangeTrace.h"

#include <QAction>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kalent {

namespace {

QString prefix(const TraceRecord &record)
{
    const char *arrow = record.direction == TraceRecord::Direction::Sent       ? "->"
                        : record.direction == TraceRecord::Direction::Received ? "<-"
                                                                               : "<x";
    return QStringLiteral("%1  %2 %3  ")
        .arg(static_cast<double>(record.timeUs) / 1e6, 12, 'f', 6)
        .arg(QLatin1String(arrow))
        .arg(record.baud, 6);
}

QPlainTextEdit *makeView(const QString &name)
{
    auto *view = new QPlainTextEdit;
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setMaximumBlockCount(TraceWindow::KeptLines);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

} // namespace

TraceWindow::TraceWindow(ExchangeTrace &trace, QWidget *parent)
    : QWidget(parent, Qt::Window), m_hex(makeView(QStringLiteral("traceHexView"))),
      m_text(makeView(QStringLiteral("traceTextView"))), m_status(new QLabel)
{
    setObjectName(QStringLiteral("TraceWindow"));
    setWindowTitle(QStringLiteral("Трасса обмена с прибором"));
    resize(720, 420);
    auto *tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("traceTabs"));
    tabs->addTab(m_hex, QStringLiteral("Байты"));
    tabs->addTab(m_text, QStringLiteral("Текст"));
    m_status->setObjectName(QStringLiteral("traceStatus"));
    m_status->setText(
        trace.writingFile()
            ? QStringLiteral("Запись в файл: %1").arg(QDir::toNativeSeparators(trace.filePath()))
            : QStringLiteral("Трасса не записывается в файл (--trace ФАЙЛ)."));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(m_status);
    for (const TraceRecord &record : trace.recent())
        add(record);
    connect(&trace, &ExchangeTrace::recorded, this, &TraceWindow::add);
    connect(&trace, &ExchangeTrace::writeFailed, m_status, &QLabel::setText);
}

QString TraceWindow::hexLine(const TraceRecord &record)
{
    return prefix(record) + QString::fromLatin1(record.bytes.toHex(' ').toUpper());
}

QString TraceWindow::textLine(const TraceRecord &record)
{
    QString shown;
    for (char c : record.bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            shown += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0'));
        else
            shown += Cp1251::decode(QByteArray(1, c));
    }
    return prefix(record) + shown;
}

void TraceWindow::add(const TraceRecord &record)
{
    m_hex->appendPlainText(hexLine(record));
    m_text->appendPlainText(textLine(record));
}

void installTraceWindow(QWidget &mainWindow, ExchangeTrace &trace)
{
    auto *window = new TraceWindow(trace, &mainWindow);
    auto *open = new QAction(QStringLiteral("Трасса обмена..."), &mainWindow);
    open->setObjectName(QStringLiteral("actionShowTrace"));
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    open->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(open, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    // Added to the window for the shortcut; to the port panel for its context menu.
    mainWindow.addAction(open);
    if (auto *panel = mainWindow.findChild<QGroupBox *>(objectNames::portPanel::Panel)) {
        panel->setContextMenuPolicy(Qt::ActionsContextMenu);
        panel->addAction(open);
    }
}

} // namespace kalent
