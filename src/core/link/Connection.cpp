#include "link/Connection.h"

#include "MessagePane.h"
#include "common/Clock.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "link/LineOwner.h"
#include "link/LineSpeeds.h"
#include "link/PortOrder.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

namespace kalent {

namespace {

const QString ParamsPrefix = QStringLiteral("Параметры: ");
const QString CaptionContact = QStringLiteral("Контакт");
const QString CaptionStop = QStringLiteral("Стоп");
const QString PortOn = QStringLiteral("вкл.");
const QString PortOff = QStringLiteral("выкл.");

QString settingsFor(int index)
{
    return Connection::baudRates().at(index) + QStringLiteral(",n,8,1");
}

// Every handler ends by telling the panel what changed, whichever way it returns.
class PublishOnExit
{
public:
    explicit PublishOnExit(std::function<void()> publish) : m_publish(std::move(publish)) {}
    ~PublishOnExit() { m_publish(); }
    PublishOnExit(const PublishOnExit &) = delete;
    PublishOnExit &operator=(const PublishOnExit &) = delete;

private:
    std::function<void()> m_publish;
};

} // namespace

bool PortPanelState::operator==(const PortPanelState &o) const
{
    return ports == o.ports && portText == o.portText && portEnabled == o.portEnabled &&
           portOpenChecked == o.portOpenChecked && portOpenCaption == o.portOpenCaption &&
           indicatorOn == o.indicatorOn && commParamText == o.commParamText &&
           baudText == o.baudText && baudEnabled == o.baudEnabled &&
           verifyEnabled == o.verifyEnabled && connectEnabled == o.connectEnabled &&
           connectCaption == o.connectCaption;
}

const QStringList &Connection::baudRates()
{
    static const QStringList rates = [] {
        QStringList names;
        for (const int baud : LineSpeeds::Bauds)
            names.append(QString::number(baud));
        return names;
    }();
    return rates;
}

Connection::Connection(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                       MessagePane &pane, Clock &clock, QObject *parent)
    : QObject(parent), m_port(port), m_dispatcher(dispatcher), m_line(line), m_pane(pane),
      m_clock(clock), m_searchTimer(clock.createTimer()), m_deferredTimer(clock.createTimer())
{
    m_deferredTimer->setSingleShot(true);
    connect(m_searchTimer.get(), &Timer::timeout, this, &Connection::searchStep);
    connect(m_deferredTimer.get(), &Timer::timeout, this,
            &Connection::restartSearchAfterSpeedChange);
    m_dispatcher.subscribe(ReplyCode::ContactAnswer,
                           [this](const Message &) { handleContactReply(); });
    connect(&m_line, &LineOwner::jobStarted, this, [this] {
        if (m_line.writing())
            writeHoldsTheLine(true);
    });
    connect(&m_line, &LineOwner::jobEnded, this, [this](LineJob job) {
        if (job == LineJob::DatabaseWrite || job == LineJob::FirmwareUpload)
            writeHoldsTheLine(false);
    });
    m_published = m_panel;
}

Connection::~Connection() = default;

void Connection::writeHoldsTheLine(bool holds)
{
    PublishOnExit publishOnExit([this] { publish(); });
    // No search can run beside a write, so afterwards the two follow the line
    // as the link check would set them.
    const bool usable = !holds && m_panel.indicatorOn && !searching();
    m_panel.verifyEnabled = usable;
    m_panel.baudEnabled = usable;
}

bool Connection::searchTimerActive() const
{
    return m_searchTimer->isActive();
}

bool Connection::deferredTimerActive() const
{
    return m_deferredTimer->isActive();
}

bool Connection::portOpen() const
{
    return m_port.isOpen();
}

bool Connection::atFastestSpeed() const
{
    return m_phase == LinkPhase::InContact && m_baudIndex == FastestBaudIndex;
}

void Connection::moveTo(LinkPhase next)
{
    if (next != LinkPhase::ProbeDue && next != LinkPhase::AwaitingAnswer)
        m_searchTimer->stop();
    if (next != LinkPhase::ChangingSpeed)
        m_deferredTimer->stop();
    m_phase = next;
}

void Connection::loseContact()
{
    if (contact())
        moveTo(LinkPhase::NoContact);
}

void Connection::followSearchOnTheLine()
{
    const bool searchRuns = m_phase != LinkPhase::NoContact && m_phase != LinkPhase::InContact;
    if (searchRuns && m_line.job() != LineJob::ContactSearch)
        m_line.begin(LineJob::ContactSearch);
    else if (!searchRuns && m_line.job() == LineJob::ContactSearch)
        m_line.end(LineJob::ContactSearch,
                   m_phase == LinkPhase::InContact ? JobOutcome::Done : JobOutcome::Cancelled);
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
    // btnConnect offers what the link's state allows, never the other way round.
    m_panel.connectCaption = m_searchUnderWay ? CaptionStop : CaptionContact;
    if (m_panel == m_published && !m_editRefused)
        return;
    m_editRefused = false;
    m_published = m_panel;
    Q_EMIT panelChanged();
}

void Connection::setPortNameFromPanel()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.setPortName(m_panel.portText);
}

void Connection::markPortOpened()
{
    const bool open = m_port.isOpen();
    m_panel.portOpenChecked = open;
    m_panel.portOpenCaption = open ? PortOn : PortOff;
    if (!open) {
        // No port, no contact: the operator may pick another port.
        loseContact();
        m_pane.setText(OperatorTexts::cannotOpenPort(
            m_panel.portText, SystemErrorText::translate(m_port.errorString())));
    }
}

void Connection::setSettingsForIndex(int index)
{
    m_port.setSettings(settingsFor(index));
}

void Connection::showSettings()
{
    m_panel.commParamText = ParamsPrefix + m_port.settings();
}

void Connection::flushInput()
{
    m_port.discardInput();
    m_dispatcher.dropUnfinishedReply();
}

void Connection::formCreate(const QStringList &candidates)
{
    PublishOnExit publishOnExit([this] { publish(); });
    m_panel.ports.clear();
    for (const QString &name : candidates) {
        if (m_port.isOpen())
            m_port.close();
        m_port.setPortName(name);
        if (m_port.open())
            m_panel.ports.append(name);
    }
    if (m_portLister) {
        const QStringList known = m_portLister();
        for (const QString &name : std::as_const(m_panel.ports)) {
            if (!known.contains(name) && !m_keptPorts.contains(name))
                m_keptPorts.append(name);
        }
    }
    if (m_panel.ports.isEmpty()) {
        if (m_port.isOpen())
            m_port.close();
        m_pane.setText(QStringLiteral("Извините.Ни одного COM-порта необнаружено"));
        checkLink();
        return;
    }
    m_panel.portText = m_panel.ports.first();
    setPortNameFromPanel();
    m_port.open();
    markPortOpened();

    m_baudIndex = FastestBaudIndex;
    setSettingsForIndex(m_baudIndex);
    m_panel.baudText = baudRates().at(FastestBaudIndex);
    showSettings();
    flushInput();

    m_panel.indicatorOn = m_port.ctsHolding();
    if (!m_panel.indicatorOn) {
        m_pane.setText(QStringLiteral("Включите прибор или смените порт."));
        m_searchUnderWay = false;
    }
}

void Connection::refreshPorts()
{
    if (!m_portLister)
        return;
    QStringList names = m_portLister();
    for (const QString &name : std::as_const(m_keptPorts)) {
        if (!names.contains(name))
            names.append(name);
    }
    if (!m_panel.portText.isEmpty() && !names.contains(m_panel.portText))
        names.append(m_panel.portText);
    m_panel.ports = inPortOrder(names);
    publish();
}

void Connection::probeAtPresentSpeed()
{
    if (!m_port.isOpen())
        return;
    flushInput();
    m_port.output(QByteArrayLiteral("B"));
}

void Connection::portClosedItself()
{
    // The box shows it, and with no port there is no contact, no search and no
    // speed change to wait for: the operator may pick another port (or "Контакт"
    // opens this one again once its device is back).
    m_panel.portOpenChecked = false;
    m_panel.portOpenCaption = PortOff;
    moveTo(LinkPhase::NoContact);
    m_searchUnderWay = false;
    m_dispatcher.dropUnfinishedReply();
    m_panel.portEnabled = true;
    m_panel.connectEnabled = !m_panel.ports.isEmpty();
    followSearchOnTheLine();
    // Whatever ran on the line ends with it.
    m_line.cancel(QStringLiteral("порт закрылся"));
    refreshPorts();
    Q_EMIT portLost();
}

bool Connection::checkLink()
{
    const bool cts = m_port.ctsHolding();
    if (cts && m_panel.indicatorOn)
        return true;

    PublishOnExit publishOnExit([this] { publish(); });
    m_panel.indicatorOn = cts;
    const bool up = cts;
    // A port that is not open (its device went away, or it failed to open again)
    // leaves "Контакт" usable: it is the way to open the port once more.
    m_panel.connectEnabled = up || (!m_port.isOpen() && !m_panel.ports.isEmpty());
    // A write keeps its greyed controls whatever the line does meanwhile.
    m_panel.verifyEnabled = up && !m_line.writing();
    m_panel.baudEnabled = up && !m_line.writing();
    publish();
    Q_EMIT instrumentControlsEnabled(up);

    const bool onFirmwarePage = m_watcher && m_watcher->firmwarePageActive();
    const bool closedItself = !up && !m_port.isOpen() && m_panel.portOpenChecked;
    if (!up) {
        // A running search halts; an answer that still comes ends it.
        if (m_phase == LinkPhase::ProbeDue || m_phase == LinkPhase::AwaitingAnswer)
            moveTo(LinkPhase::SearchHalted);
        m_pane.setText(OperatorTexts::noLink());
        if (m_port.isOpen() && !m_portChanged && onFirmwarePage)
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
    if (m_panel.ports.isEmpty())
        return;
    if (!lineFreeForSearch())
        return;
    PublishOnExit publishOnExit([this] { publish(); });
    setPortNameFromPanel();
    m_port.open();
    markPortOpened();
    if (!m_port.isOpen())
        return;
    if (!checkLink())
        return;
    flushInput();
    m_baudIndex = 0;
    setSettingsForIndex(m_baudIndex);
    // From 4800 afresh, whatever ran before: a restart still due after a speed
    // change is overtaken by this one.
    moveTo(LinkPhase::ProbeDue);
    m_searchTimer->start(SearchTickMs);
    m_panel.portEnabled = false;
    m_panel.baudEnabled = false;
    m_panel.verifyEnabled = false;
    Q_EMIT searchStarted();
}

void Connection::ensurePortOpen()
{
    if (m_port.isOpen() || m_panel.ports.isEmpty())
        return;
    if (m_port.open()) {
        m_panel.portOpenChecked = true;
        m_panel.portOpenCaption = PortOn;
    }
}

void Connection::searchWithFastestSpeed()
{
    PublishOnExit publishOnExit([this] { publish(); });
    if (!lineFreeForSearch())
        return;
    ensurePortOpen();
    m_baudChangeRequested = true;
    m_newBaudIndex = FastestBaudIndex;
    startContactSearch();
    m_searchUnderWay = true;
}

void Connection::setFastestSpeedDirectly()
{
    PublishOnExit publishOnExit([this] { publish(); });
    // A search still running from another page (an instrument that answers no
    // probe, such as one waiting in programming mode) would go on probing and
    // moving the speed under the firmware upload: it ends here, as "Стоп" ends it.
    if (m_phase == LinkPhase::ChangingSpeed)
        moveTo(LinkPhase::InContact);
    if (searching()) {
        moveTo(LinkPhase::NoContact);
        m_searchUnderWay = false;
        m_panel.portEnabled = true;
        m_panel.baudEnabled = m_panel.indicatorOn;
        m_panel.verifyEnabled = m_panel.indicatorOn;
    }
    m_panel.portOpenChecked = true;
    m_panel.portOpenCaption = PortOn;
    m_baudIndex = FastestBaudIndex;
    setSettingsForIndex(m_baudIndex);
    m_panel.baudText = baudRates().at(FastestBaudIndex);
    showSettings();
}

void Connection::searchStep()
{
    PublishOnExit publishOnExit([this] { publish(); });
    if (m_phase == LinkPhase::ProbeDue) {
        m_port.output(QByteArrayLiteral("B"));
        moveTo(LinkPhase::AwaitingAnswer);
        showSettings();
    } else if (m_phase == LinkPhase::AwaitingAnswer) {
        m_baudIndex = m_baudIndex >= FastestBaudIndex ? 0 : m_baudIndex + 1;
        setSettingsForIndex(m_baudIndex);
        moveTo(LinkPhase::ProbeDue);
    }
}

void Connection::restartSearchAfterSpeedChange()
{
    if (m_phase != LinkPhase::ChangingSpeed)
        return;
    // A restart that cannot start (the line down, a job on the line) leaves the
    // instrument in contact at its new speed, and the line given back.
    PublishOnExit publishOnExit([this] { publish(); });
    moveTo(LinkPhase::InContact);
    startContactSearch();
}

void Connection::handleContactReply()
{
    PublishOnExit publishOnExit([this] { publish(); });
    if (searching())
        Q_EMIT searchAnswered();
    // An answer while a speed change waits for its restart leaves the restart due.
    if (m_phase != LinkPhase::ChangingSpeed)
        moveTo(LinkPhase::InContact);
    showSettings();
    m_searchUnderWay = false;
    m_pane.setText(QStringLiteral("Есть контакт с прибором"));
    m_panel.baudText = baudRates().at(m_baudIndex);
    m_portChanged = false;
    m_panel.portEnabled = true;
    m_panel.baudEnabled = true;
    m_panel.verifyEnabled = true;

    if (!m_baudChangeRequested || m_baudIndex == m_newBaudIndex)
        return;
    QByteArray change("b");
    change.append(static_cast<char>(m_newBaudIndex));
    m_port.output(change);
    m_clock.sleep(SpeedChangePauseMs);
    m_baudChangeRequested = false;
    m_pane.setText(OperatorTexts::speedChange());
    moveTo(LinkPhase::ChangingSpeed);
    m_deferredTimer->start(DeferredCommandMs);
}

void Connection::contactOrStop()
{
    PublishOnExit publishOnExit([this] { publish(); });
    // During a write to the instrument's memory "Контакт" is the way out: it
    // cancels the write (its owner says so and journals it) and nothing else.
    if (m_line.writing()) {
        m_line.cancel(QStringLiteral("нажата кнопка «Контакт»"));
        return;
    }
    m_panel.portEnabled = true;
    m_panel.baudEnabled = true;
    m_panel.verifyEnabled = true;
    // A port that closed itself when its device went away is tried again, so the
    // operator gets the link back by plugging the device in and pressing this.
    ensurePortOpen();
    if (!m_port.isOpen()) {
        m_pane.setText(OperatorTexts::portClosed());
        return;
    }
    if (!m_searchUnderWay) {
        startContactSearch();
        // The port could not be opened again: its error stays on the pane.
        if (!m_port.isOpen())
            return;
        m_searchUnderWay = true;
        m_pane.setText(QStringLiteral("Установление контакта."));
    } else {
        if (m_phase == LinkPhase::ProbeDue || m_phase == LinkPhase::AwaitingAnswer)
            moveTo(LinkPhase::SearchHalted);
        m_searchUnderWay = false;
        if (!contact())
            m_pane.setText(OperatorTexts::noAnswer());
    }
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
    m_port.output(QByteArrayLiteral("B"));
    m_dispatcher.dropUnfinishedReply();
}

void Connection::portBoxToggled()
{
    PublishOnExit publishOnExit([this] { publish(); });
    // The box only mirrors the port; the view that toggled it hears back.
    m_panel.portOpenChecked = m_port.isOpen();
    m_editRefused = true;
}

void Connection::choosePort(const QString &text)
{
    PublishOnExit publishOnExit([this] { publish(); });
    if (contact()) {
        // No change of port while the instrument is in contact: the box is told
        // to show the name again.
        m_panel.portText = m_port.portName();
        m_editRefused = true;
        return;
    }
    if (m_panel.ports.isEmpty())
        return;
    m_panel.portText = text;
    if (!m_panel.ports.contains(text)) {
        // A typed path joins the list and stays in it, whatever the system lists.
        m_panel.ports.append(text);
        m_keptPorts.append(text);
    }
    setPortNameFromPanel();
    m_portChanged = true;
    const bool opened = m_port.open();
    checkLink();
    m_panel.portOpenChecked = true;
    m_panel.portOpenCaption = PortOn;
    if (!opened) {
        markPortOpened();
        return;
    }
    flushInput();
}

void Connection::chooseSpeed(int itemIndex)
{
    if (itemIndex < 0 || itemIndex >= baudRates().size())
        return;
    PublishOnExit publishOnExit([this] { publish(); });
    m_newBaudIndex = itemIndex;
    if (!checkLink())
        return;
    if (!lineFreeForSearch())
        return;
    m_baudChangeRequested = true;
    m_pane.setText(OperatorTexts::contactSearch());
    startContactSearch();
}

void Connection::chooseSpeedByText(const QString &text)
{
    const int index = baudRates().indexOf(text.trimmed());
    if (index >= 0) {
        chooseSpeed(index);
        return;
    }
    // Not one of the six speeds: ignored, and the box is told to show the speed again.
    m_editRefused = true;
    publish();
}

} // namespace kalent
