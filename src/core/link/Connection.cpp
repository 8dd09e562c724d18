#include "link/Connection.h"

#include "MessagePane.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "link/LineOwner.h"
#include "link/LineSpeeds.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

#include <QScopeGuard>

#include <algorithm>

namespace kalent {

Connection::Connection(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                       MessagePane &pane, QObject *parent)
    : QObject(parent), m_port(port), m_dispatcher(dispatcher), m_line(line), m_pane(pane)
{
    // Each answer, and each search begun afresh, gives the search its time again.
    const auto searchMovedOn = [this] {
        if (m_fastContact == FastContact::Searching && m_fastContactLimitMs > 0)
            waitForContact(m_fastContactLimitMs);
    };
    connect(this, &Connection::searchStarted, this, searchMovedOn);
    connect(this, &Connection::searchAnswered, this, searchMovedOn);
    connect(this, &Connection::portLost, this, [this] { endFastContact(false); });
    m_dispatcher.subscribe(ReplyCode::ContactAnswer,
                           [this](const Message &) { handleContactReply(); });
    connect(&m_line, &LineOwner::jobStarted, this, [this] {
        m_state.lineWritten = m_line.writing();
        publishState();
    });
    connect(&m_line, &LineOwner::jobEnded, this, [this] {
        m_state.lineWritten = m_line.writing();
        publishState();
    });
    connect(&m_line, &LineOwner::cancelling, this, [this](LineJob job) {
        if (job == LineJob::ContactSearch)
            searchCancelled();
    });
    m_published = m_state;
}

Connection::~Connection() = default;

void Connection::moveTo(LinkPhase next)
{
    if (next != LinkPhase::ProbeDue && next != LinkPhase::AwaitingAnswer)
        m_line.stopWait(LineWait::SearchTick);
    if (next != LinkPhase::ChangingSpeed)
        m_line.stopWait(LineWait::SpeedChangeRest);
    m_state.phase = next;
}

void Connection::followSearchOnTheLine()
{
    const bool searchRuns =
        m_state.phase != LinkPhase::NoContact && m_state.phase != LinkPhase::InContact;
    if (searchRuns && m_line.job() != LineJob::ContactSearch) {
        m_line.begin(LineJob::ContactSearch);
    } else if (!searchRuns && m_line.job() == LineJob::ContactSearch) {
        const bool answered = m_state.phase == LinkPhase::InContact;
        m_line.end(LineJob::ContactSearch, answered ? JobOutcome::Done : JobOutcome::Cancelled,
                   answered ? QString() : m_endReason);
        // A page's search has no limit to end it: stopped unanswered ("Стоп",
        // the port, the firmware page), it ends the contact it was making.
        if (!answered && m_fastContact == FastContact::Searching && m_fastContactLimitMs == 0)
            endFastContact(false);
    }
    m_endReason.clear();
}

bool Connection::lineFreeForSearch()
{
    if (!m_line.busy() || m_line.job() == LineJob::ContactSearch)
        return true;
    if (m_line.writing()) {
        m_pane.setText(m_line.busyText());
        return false;
    }
    // The search empties what the port holds: a read under way cannot finish.
    m_line.cancel(QStringLiteral("начат поиск прибора"));
    return true;
}

void Connection::publish()
{
    followSearchOnTheLine();
    publishState();
}

void Connection::publishState()
{
    if (m_state == m_published)
        return;
    m_published = m_state;
    Q_EMIT stateChanged();
    if (m_fastContact != FastContact::None && atFastestSpeed())
        endFastContact(true);
}

void Connection::makeFastContact(int limitMs, ContactStart start)
{
    if (start == ContactStart::SearchAtOnce) {
        // Whatever the speed, and the port opened if it was found closed.
        m_fastContact = FastContact::Searching;
        m_fastContactLimitMs = 0;
        m_line.stopWait(LineWait::ContactWindow);
        searchWithFastestSpeed();
        return;
    }
    // One whole cycle over the speeds with the tick that takes its last answer.
    const int cycleMs = int(LineSpeeds::Bauds.size()) * 2 * SearchTickMs + SearchTickMs;
    m_fastContactLimitMs = std::max(limitMs, cycleMs);
    if (!m_port.isOpen()) {
        Q_EMIT fastContactEnded(false);
        return;
    }
    if (atFastestSpeed()) {
        Q_EMIT fastContactEnded(true);
        return;
    }
    if (lineUp()) {
        m_fastContact = FastContact::Probing;
        probeAtPresentSpeed();
        waitForContact(SearchTickMs);
        return;
    }
    m_fastContact = FastContact::Searching;
    waitForContact(m_fastContactLimitMs);
    searchWithFastestSpeed();
}

void Connection::fastContactWaited()
{
    if (m_fastContact == FastContact::Probing && m_port.isOpen()) {
        m_fastContact = FastContact::Searching;
        waitForContact(m_fastContactLimitMs);
        searchWithFastestSpeed();
        return;
    }
    // What the operator's "Стоп" does: the line goes back to the speed last heard.
    if (searching()) {
        const auto publishOnExit = qScopeGuard([this] { publish(); });
        endSearch(OperatorTexts::noAnswer());
        m_state.searchAskedFor = false;
    }
    endFastContact(false);
}

void Connection::endFastContact(bool reached)
{
    if (m_fastContact == FastContact::None)
        return;
    m_fastContact = FastContact::None;
    m_line.stopWait(LineWait::ContactWindow);
    Q_EMIT fastContactEnded(reached);
}

void Connection::openChosenPort()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.setPortName(m_state.portName);
    m_port.open();
}

void Connection::notePortOpened()
{
    m_state.portOpen = m_port.isOpen();
    if (m_state.portOpen)
        return;
    // No port, no contact: the operator may pick another port.
    if (contact())
        moveTo(LinkPhase::NoContact);
    m_pane.setText(OperatorTexts::cannotOpenPort(m_state.portName,
                                                 SystemErrorText::translate(m_port.errorString())));
}

void Connection::setLineBaud(int baud)
{
    m_state.lineBaud = baud;
    m_port.setSettings(settingsOfBaud(baud));
}

void Connection::flushInput()
{
    m_port.discardInput();
    m_dispatcher.dropUnfinishedReply();
}

void Connection::openFirstPort(const QStringList &candidates)
{
    // Every request ends by telling the views, whichever way it returns.
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    m_ports.listOpenable(candidates, m_port);
    m_state.ports = m_ports.names();
    if (m_ports.isEmpty()) {
        if (m_port.isOpen())
            m_port.close();
        m_pane.setText(QStringLiteral("Извините.Ни одного COM-порта необнаружено"));
        checkLink();
        return;
    }
    m_state.portName = m_ports.names().first();
    openChosenPort();
    notePortOpened();

    setLineBaud(LineSpeeds::Fastest);
    m_state.agreedBaud = LineSpeeds::Fastest;
    reportLineBaud();
    flushInput();

    m_state.lineUp = m_port.ctsHolding();
    if (!m_state.lineUp) {
        m_pane.setText(QStringLiteral("Включите прибор или смените порт."));
        m_state.searchAskedFor = false;
    }
}

void Connection::refreshPorts()
{
    m_ports.refresh(m_state.portName);
    m_state.ports = m_ports.names();
    publish();
}

void Connection::probeAtPresentSpeed()
{
    if (!m_port.isOpen())
        return;
    flushInput();
    m_line.sendProbe(QByteArrayLiteral("B"));
}

void Connection::portClosedItself()
{
    // With no port there is no contact, no search and no speed change to wait
    // for: the operator may pick another port (or "Контакт" opens this one
    // again once its device is back).
    m_state.portOpen = false;
    moveTo(LinkPhase::NoContact);
    m_state.searchAskedFor = false;
    m_dispatcher.dropUnfinishedReply();
    m_endReason = QStringLiteral("порт закрылся");
    followSearchOnTheLine();
    // Whatever ran on the line ends with it.
    m_line.cancel(QStringLiteral("порт закрылся"), JobReason::LineGone);
    refreshPorts();
    Q_EMIT portLost();
}

bool Connection::checkLink()
{
    const bool up = m_port.ctsHolding();
    if (up && m_state.lineUp)
        return true;

    const auto publishOnExit = qScopeGuard([this] { publish(); });
    m_state.lineUp = up;
    publish();
    Q_EMIT lineChecked(up);

    const bool onFirmwarePage = m_watcher && m_watcher->firmwarePageActive();
    const bool closedItself = !up && !m_port.isOpen() && m_state.portOpen;
    if (!up) {
        // A running search halts; an answer that still comes ends it.
        if (m_state.probing())
            moveTo(LinkPhase::SearchHalted);
        m_pane.setText(OperatorTexts::noLink());
        if (m_port.isOpen() && !m_state.portChanged && onFirmwarePage)
            m_watcher->lineDown();
    } else if (!onFirmwarePage) {
        m_pane.setText(QStringLiteral("Связь с прибором есть"));
    } else {
        m_watcher->lineUp();
    }
    if (m_watcher)
        m_watcher->afterLinkCheck(up);
    if (closedItself)
        portClosedItself();
    return up;
}

void Connection::startContactSearch()
{
    if (m_ports.isEmpty())
        return;
    if (!lineFreeForSearch())
        return;
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    openChosenPort();
    notePortOpened();
    if (!m_port.isOpen())
        return;
    if (!checkLink())
        return;
    flushInput();
    setLineBaud(LineSpeeds::Slowest);
    // From 4800 afresh, whatever ran before: a restart still due after a speed
    // change is overtaken by this one.
    moveTo(LinkPhase::ProbeDue);
    armSearchTick();
    Q_EMIT searchStarted();
}

void Connection::ensurePortOpen()
{
    if (m_port.isOpen() || m_ports.isEmpty())
        return;
    if (m_port.open())
        m_state.portOpen = true;
}

void Connection::whenLineFree(std::function<void()> then)
{
    const LineJob job = m_line.job();
    // The search is replaced at once; an upload is left only after the
    // operator agreed, and the page's rules are what stops it.
    if (job == LineJob::None || job == LineJob::ContactSearch || job == LineJob::FirmwareUpload)
        then();
    else
        m_line.afterJob(std::move(then));
}

void Connection::searchWithFastestSpeed()
{
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    if (!lineFreeForSearch())
        return;
    ensurePortOpen();
    m_state.speedChangeRequested = true;
    m_state.requestedBaud = LineSpeeds::Fastest;
    startContactSearch();
    m_state.searchAskedFor = true;
}

void Connection::setFastestSpeedDirectly()
{
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    // A search still running from another page (an instrument that answers no
    // probe, such as one waiting in programming mode) would go on probing and
    // moving the speed under the firmware upload: it ends here, as "Стоп" ends it.
    if (m_state.phase == LinkPhase::ChangingSpeed)
        moveTo(LinkPhase::InContact);
    if (searching()) {
        moveTo(LinkPhase::NoContact);
        m_state.searchAskedFor = false;
        m_endReason = QStringLiteral("открыта страница загрузки программы");
    }
    m_state.portOpen = true;
    setLineBaud(LineSpeeds::Fastest);
    m_state.agreedBaud = LineSpeeds::Fastest;
    reportLineBaud();
}

void Connection::waitForContact(int ms)
{
    m_line.wait(LineWait::ContactWindow, ms, [this] { fastContactWaited(); });
}

void Connection::armSearchTick()
{
    m_line.wait(LineWait::SearchTick, SearchTickMs, [this] { searchStep(); });
}

void Connection::searchStep()
{
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    // The search ticks on until its phase is left (an answer, "Стоп", the line down).
    if (m_state.probing())
        armSearchTick();
    if (m_state.phase == LinkPhase::ProbeDue) {
        m_line.send(LineJob::ContactSearch, QByteArrayLiteral("B"));
        moveTo(LinkPhase::AwaitingAnswer);
        reportLineBaud();
    } else if (m_state.phase == LinkPhase::AwaitingAnswer) {
        setLineBaud(LineSpeeds::nextInSearch(m_state.lineBaud));
        moveTo(LinkPhase::ProbeDue);
    }
}

void Connection::restartSearchAfterSpeedChange()
{
    if (m_state.phase != LinkPhase::ChangingSpeed)
        return;
    // A restart that cannot start (the line down, a job on the line) leaves the
    // instrument in contact at its new speed, and the line given back.
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    moveTo(LinkPhase::InContact);
    startContactSearch();
}

void Connection::handleContactReply()
{
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    if (searching())
        Q_EMIT searchAnswered();
    // An answer while a speed change waits for its restart leaves the restart
    // due: the instrument talks at the new speed only once the search finds it.
    if (m_state.phase != LinkPhase::ChangingSpeed)
        moveTo(LinkPhase::InContact);
    reportLineBaud();
    m_state.searchAskedFor = false;
    m_pane.setText(QStringLiteral("Есть контакт с прибором"));
    m_state.agreedBaud = m_state.lineBaud;
    m_state.portChanged = false;

    const int code = LineSpeeds::codeForBaud(m_state.requestedBaud);
    if (!m_state.speedChangeRequested || m_state.lineBaud == m_state.requestedBaud || code < 0)
        return;
    QByteArray change("b");
    change.append(static_cast<char>(code));
    m_line.sendProbe(change);
    m_state.speedChangeRequested = false;
    m_pane.setText(OperatorTexts::speedChange());
    moveTo(LinkPhase::ChangingSpeed);
    // The instrument takes a moment to change its speed: nothing goes out for
    // the pause, and the search starts again after it, as one step.
    m_line.wait(LineWait::SpeedChangeRest, SpeedChangePauseMs + RestartAfterSpeedChangeMs,
                [this] { restartSearchAfterSpeedChange(); });
}

void Connection::endSearch(const QString &reason)
{
    moveTo(LinkPhase::NoContact);
    // The probes moved the port's speed; the instrument was last heard at this one.
    setLineBaud(m_state.agreedBaud);
    reportLineBaud();
    flushInput();
    m_endReason = reason;
}

void Connection::searchCancelled()
{
    if (!searching() && m_state.phase != LinkPhase::ChangingSpeed)
        return;
    // The line's owner ends the job itself, with its reason.
    if (m_state.phase == LinkPhase::ChangingSpeed)
        moveTo(LinkPhase::InContact);
    else
        endSearch(QString());
    m_state.searchAskedFor = false;
    publishState();
    if (m_fastContact == FastContact::Searching)
        endFastContact(false);
}

void Connection::contactOrStop()
{
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    // During a write to the instrument's memory "Контакт" is the way out: it
    // cancels the write (its owner says so and journals it) and nothing else.
    if (m_line.writing()) {
        m_line.cancel(QStringLiteral("нажата кнопка «Контакт»"));
        return;
    }
    // A port that closed itself when its device went away is tried again, so the
    // operator gets the link back by plugging the device in and pressing this.
    ensurePortOpen();
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return;
    }
    if (!m_state.searchAskedFor) {
        startContactSearch();
        // The port could not be opened again: its error stays on the pane.
        if (!m_port.isOpen())
            return;
        m_state.searchAskedFor = true;
        m_pane.setText(QStringLiteral("Установление контакта."));
        return;
    }
    m_state.searchAskedFor = false;
    if (contact())
        return;
    if (searching())
        endSearch(QStringLiteral("нажата кнопка «Стоп»"));
    m_pane.setText(OperatorTexts::searchStopped());
}

void Connection::checkContact()
{
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return;
    }
    // A probe in the middle of another exchange would be taken for its data.
    if (m_line.busy() && m_line.job() != LineJob::ContactSearch) {
        m_pane.setText(m_line.busyText());
        return;
    }
    m_pane.setText(QStringLiteral("Нет контакта с прибором"));
    m_line.sendProbe(QByteArrayLiteral("B"));
    m_dispatcher.dropUnfinishedReply();
}

void Connection::choosePort(const QString &name)
{
    // No change of port while the instrument is in contact, nor without ports.
    if (contact() || m_ports.isEmpty())
        return;
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    // Whatever runs on the old port ends before the port changes under it.
    if (m_line.busy() && m_line.job() != LineJob::ContactSearch)
        m_line.cancel(QStringLiteral("выбран другой порт"));
    m_state.portName = name;
    m_ports.addTyped(name);
    m_state.ports = m_ports.names();
    if (m_port.isOpen())
        m_port.close();
    m_port.setPortName(name);
    m_state.portChanged = true;
    const bool opened = m_port.open();
    checkLink();
    m_state.portOpen = true;
    if (!opened) {
        notePortOpened();
        return;
    }
    flushInput();
}

void Connection::chooseSpeed(int baud)
{
    if (LineSpeeds::codeForBaud(baud) < 0)
        return;
    const auto publishOnExit = qScopeGuard([this] { publish(); });
    m_state.requestedBaud = baud;
    if (!checkLink())
        return;
    if (!lineFreeForSearch())
        return;
    m_state.speedChangeRequested = true;
    m_pane.setText(OperatorTexts::contactSearch());
    startContactSearch();
}

} // namespace kalent
