#include "TraceWindow.h"

#include "ObjectNames.h"
#include "TraceLineDelegate.h"
#include "WidgetKit.h"
#include "trace/ExchangeTrace.h"

#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kalent {

namespace {

// The longest cut line of each rendering: time, direction and speed (25
// characters), the shown bytes (three characters each in hex, up to four as
// text), and the note of the whole length.
constexpr int PrefixChars = 25;
constexpr int CutNoteChars = 26;
constexpr int LongestHexLine = PrefixChars + 3 * TraceListModel::ShownBytes + CutNoteChars;
constexpr int LongestTextLine = PrefixChars + 4 * TraceListModel::ShownBytes + CutNoteChars;

QListView *makeView(const QString &name, TraceListModel &model, int role, int longestLine)
{
    auto *view = new QListView;
    view->setObjectName(name);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setModel(&model);
    view->setItemDelegate(new TraceLineDelegate(role, longestLine, view));
    // One size for every row: the view never lays out a row's text.
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return view;
}

bool atLastRow(const QListView *view)
{
    const QScrollBar *bar = view->verticalScrollBar();
    return bar->value() == bar->maximum();
}

} // namespace

TraceWindow::TraceWindow(ExchangeTrace &trace, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(trace), m_tabs(new QTabWidget),
      m_hex(makeView(objectNames::trace::HexView, m_model, TraceListModel::HexLineRole,
                     LongestHexLine)),
      m_text(makeView(objectNames::trace::TextView, m_model, TraceListModel::TextLineRole,
                      LongestTextLine)),
      m_detail(new QPlainTextEdit), m_status(new QLabel)
{
    setObjectName(objectNames::trace::Window);
    setWindowTitle(QStringLiteral("Трасса обмена с прибором"));
    resize(720, 420);
    // One choice of record for both renderings.
    m_text->setSelectionModel(m_hex->selectionModel());
    m_tabs->setObjectName(objectNames::trace::Tabs);
    m_tabs->addTab(m_hex, QStringLiteral("Байты"));
    m_tabs->addTab(m_text, QStringLiteral("Текст"));
    m_detail->setObjectName(objectNames::trace::Detail);
    m_detail->setReadOnly(true);
    m_detail->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_detail->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_detail->setPlaceholderText(QStringLiteral("Выберите строку, чтобы увидеть запись целиком."));
    m_status->setObjectName(objectNames::trace::Status);
    m_status->setText(
        trace.writingFile()
            ? QStringLiteral("Запись в файл: %1").arg(QDir::toNativeSeparators(trace.filePath()))
            : QStringLiteral("Трасса не записывается в файл (--trace ФАЙЛ)."));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 3);
    layout->addWidget(m_detail, 1);
    layout->addWidget(m_status);

    m_catchUp.setSingleShot(true);
    m_catchUp.setInterval(CatchUpMs);
    connect(&m_catchUp, &QTimer::timeout, this, &TraceWindow::catchUp);
    connect(&trace, &ExchangeTrace::recorded, this, &TraceWindow::recordAdded);
    connect(&trace, &ExchangeTrace::writeFailed, m_status, &QLabel::setText);
    connect(m_hex->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TraceWindow::showDetail);
    connect(m_tabs, &QTabWidget::currentChanged, this, &TraceWindow::showDetail);
}

void TraceWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    catchUp();
}

void TraceWindow::recordAdded()
{
    // Hidden, the rows wait for the window to be shown; shown, they follow at
    // the screen's pace, however fast the records come.
    if (isVisible() && !m_catchUp.isActive())
        m_catchUp.start();
}

TraceWindow::Place TraceWindow::placeOf(const QListView *view) const
{
    const QModelIndex top = view->indexAt(view->viewport()->rect().topLeft());
    if (atLastRow(view) || !top.isValid())
        return {true, 0};
    return {false, m_model.firstNumber() + top.row()};
}

void TraceWindow::keep(QListView *view, Place place)
{
    if (place.follows) {
        view->scrollToBottom();
        return;
    }
    // The rows under it moved when the oldest went: the same record goes back
    // to the top (the oldest kept, when it went too).
    const qint64 row = qMax<qint64>(0, place.topNumber - m_model.firstNumber());
    view->scrollTo(m_model.index(static_cast<int>(row)), QAbstractItemView::PositionAtTop);
}

void TraceWindow::catchUp()
{
    m_catchUp.stop();
    const Place hex = placeOf(m_hex);
    const Place text = placeOf(m_text);
    if (!m_model.catchUp())
        return;
    keep(m_hex, hex);
    keep(m_text, text);
}

void TraceWindow::showDetail()
{
    const QModelIndex current = m_hex->selectionModel()->currentIndex();
    const int role = m_tabs->currentWidget() == m_text ? TraceListModel::WholeTextLineRole
                                                       : TraceListModel::WholeHexLineRole;
    m_detail->setPlainText(current.isValid() ? current.data(role).toString() : QString());
}

void installTraceWindow(QWidget &mainWindow, ExchangeTrace &trace)
{
    WidgetKit::addWindowOpener(mainWindow, new TraceWindow(trace, &mainWindow),
                               QStringLiteral("Трасса обмена..."), objectNames::trace::Open,
                               QKeySequence(QStringLiteral("Ctrl+Shift+T")));
}

} // namespace kalent
