#pragma once

#include "link/LineSpeeds.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalent {

class Clock;
class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;
class Timer;

// What the firmware wizard needs to hear from the link check. The firmware
// feature installs its own; until then the link runs without a wizard.
class LinkWatcher
{
public:
    virtual ~LinkWatcher() = default;
    virtual bool firmwarePageActive() const = 0;
    // The line went down on the firmware page (port open, port not just changed).
    virtual void lineDown() = 0;
    // The line is up on the firmware page.
    virtual void lineUp() = 0;
    // After every full link check, while the firmware frame exists.
    virtual void afterLinkCheck(bool up) = 0;
};

// What the port panel shows: the state behind cbxNumPort, cbPortOpen,
// sbtnCommON, lbCommParam, cbBaudRate, btnVerifyConnect and btnConnect.
struct PortPanelState
{
    QStringList ports;
    QString portText = QStringLiteral("COM1");
    bool portEnabled = true;
    bool portOpenChecked = false;
    QString portOpenCaption = QStringLiteral("выкл.");
    bool indicatorOn = false;
    QString commParamText;
    QString baudText = QStringLiteral("9600");
    bool baudEnabled = true;
    bool verifyEnabled = true;
    bool connectEnabled = true;
    QString connectCaption = QStringLiteral("Контакт");

    bool operator==(const PortPanelState &o) const;
    bool operator!=(const PortPanelState &o) const { return !(*this == o); }
};

// Where the link to the instrument stands. Each value says what runs on the
// line and which of the two link timers belongs to it; Connection::moveTo is
// the one place a phase changes.
enum class LinkPhase {
    // No answer from the instrument: before the first search, after a search
    // that ended without one, or once the port closed.
    NoContact,
    // A search runs (its timer ticks): the next tick sends "B" at the present speed.
    ProbeDue,
    // A search runs: "B" went out; the next tick moves on to the next speed.
    AwaitingAnswer,
    // A search halted by "Стоп" or by a line drop: nothing more goes out, but a
    // late answer still counts as contact.
    SearchHalted,
    // The instrument answered "B".
    InContact,
    // The speed code went out after the answer; the search starts again at
    // 4800 shortly (the deferred timer runs).
    ChangingSpeed,
};

// The link to the instrument: the port panel's handlers, the link check, the
// contact search that finds the instrument's speed, and the speed change that
// rides on the contact answer. It owns the link state and the two link timers.
class Connection : public QObject
{
    Q_OBJECT
public:
    static const QStringList &baudRates();
    static constexpr int SearchTickMs = 200;
    static constexpr int DeferredCommandMs = 100;
    static constexpr int SpeedChangePauseMs = 10;
    static constexpr int FastestBaudIndex = LineSpeeds::FastestIndex;

    Connection(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line, MessagePane &pane,
               Clock &clock, QObject *parent = nullptr);
    ~Connection() override;

    void setLinkWatcher(LinkWatcher *watcher) { m_watcher = watcher; }

    // What the panel shows. The controls that would put a probe or a speed
    // change on the line ("?" and the speed box) are greyed while a write to the
    // instrument's memory runs.
    const PortPanelState &panel() const { return m_panel; }
    // The instrument's line is up, as the last link check found it (the link
    // indicator). Everyone who needs the line asks here.
    bool linkUp() const { return m_panel.indicatorOn; }
    // A contact search that "Стоп" ends is under way: started by "Контакт" or by
    // a page, and neither answered nor stopped yet (btnConnect offers "Стоп").
    bool searchUnderWay() const { return m_searchUnderWay; }
    int baudIndex() const { return m_baudIndex; }
    int newBaudIndex() const { return m_newBaudIndex; }
    LinkPhase phase() const { return m_phase; }
    // The instrument has answered (a speed change after the answer included).
    bool contact() const
    {
        return m_phase == LinkPhase::InContact || m_phase == LinkPhase::ChangingSpeed;
    }
    // A search runs or is halted (a late answer still ends it).
    bool searching() const
    {
        return m_phase == LinkPhase::ProbeDue || m_phase == LinkPhase::AwaitingAnswer ||
               m_phase == LinkPhase::SearchHalted;
    }
    bool baudChangeRequested() const { return m_baudChangeRequested; }
    // The command the deferred timer carries out: 'b' (search again after a
    // speed change) or none.
    char deferredCommand() const { return m_phase == LinkPhase::ChangingSpeed ? 'b' : '\0'; }
    bool portChanged() const { return m_portChanged; }
    bool searchTimerActive() const;
    bool deferredTimerActive() const;
    bool portOpen() const;
    // The instrument has answered at 115200 and no speed change is under way.
    bool atFastestSpeed() const;

    // Start-up: tries each candidate port in turn, lists those that open, and
    // opens the first at 115200 without any exchange.
    void formCreate(const QStringList &candidates);

    // Where the port list comes from when it is read again: the ports the
    // system knows now. Without one the list stays as the start-up made it.
    void setPortLister(std::function<QStringList()> lister) { m_portLister = std::move(lister); }
    // Reads the system's ports again (the list is opened, a port closed itself).
    // Ports that are gone leave the list; the port in use, the ports the start-up
    // listed that the system does not know (the built-in instrument, a pty) and
    // every path the operator typed stay.
    void refreshPorts();

    // One probe at the port's present speed, without a search and without a
    // status of its own; an answer is taken as any contact answer.
    void probeAtPresentSpeed();

    bool checkLink();
    void startContactSearch();

    // Entering the database, reader or results page: a search that ends with
    // the instrument switched to 115200.
    void searchWithFastestSpeed();
    // Entering the firmware page: the port goes to 115200 directly, no exchange;
    // a contact search still running is ended.
    void setFastestSpeedDirectly();
    // Opens the port if it is closed (the page switch asks for it).
    void ensurePortOpen();

    // Port panel handlers.
    void contactOrStop();
    void checkContact();
    void portBoxToggled();
    // A change the user made in the port box; the text is what now stands in it.
    void choosePort(const QString &text);
    // A change the user made in the speed box: a list position, or typed text.
    void chooseSpeed(int itemIndex);
    void chooseSpeedByText(const QString &text);

    // Timer ticks (public so the link can be stepped in tests).
    void searchStep();
    void restartSearchAfterSpeedChange();

    // The instrument's contact answer B.
    void handleContactReply();

Q_SIGNALS:
    void panelChanged();
    // A contact search began from 4800 (the first, or again after a speed change).
    void searchStarted();
    // The instrument answered a running contact search.
    void searchAnswered();
    // The port closed itself: its device went away.
    void portLost();
    // The link indicator's state as the link check last applied it to the
    // instrument-dependent controls of every page.
    void instrumentControlsEnabled(bool up);

private:
    void setPortNameFromPanel();
    void markPortOpened();
    void setSettingsForIndex(int index);
    void showSettings();
    void flushInput();
    void portClosedItself();
    void publish();
    // The one place the phase changes: a timer that belongs to the phase left
    // behind stops. Timers of the phase entered are started by the caller, which
    // knows whether a running one goes on or starts over.
    void moveTo(LinkPhase next);
    // The port could not be opened: no port, no contact.
    void loseContact();
    // A write or an upload took the line (true) or gave it up.
    void writeHoldsTheLine(bool holds);
    // The search (with its speed change) holds the line while it runs.
    void followSearchOnTheLine();
    // False (and the operator told) when another job holds the line and may
    // not be cut; a read under way is cancelled for the search.
    bool lineFreeForSearch();

    SerialPort &m_port;
    ReceiveDispatcher &m_dispatcher;
    LineOwner &m_line;
    MessagePane &m_pane;
    Clock &m_clock;
    LinkWatcher *m_watcher = nullptr;
    std::function<QStringList()> m_portLister;
    QStringList m_keptPorts;
    std::unique_ptr<Timer> m_searchTimer;   // DefSetComm_Timer
    std::unique_ptr<Timer> m_deferredTimer; // SendCommand_Timer

    PortPanelState m_panel;
    PortPanelState m_published;
    int m_baudIndex = 0;
    int m_newBaudIndex = 0;
    LinkPhase m_phase = LinkPhase::NoContact;
    // A speed the operator or a page asked for, carried out at the next answer.
    // Not part of the phase: it outlives searches that do not start (line down)
    // and stays pending when the instrument already answers at that speed.
    bool m_baudChangeRequested = false;
    // The operator chose another port and no answer came since: the wizard is
    // not told of a line drop that is only the port change. Independent of the
    // phase, which a search moves on while the change still stands.
    bool m_portChanged = false;
    // "Стоп" is offered: a search was asked for by "Контакт" or a page and
    // neither answered nor stopped. The operator's request, not the line's
    // phase: it stands while a search waits for the line to come up, and a
    // search the speed box starts does not offer it.
    bool m_searchUnderWay = false;
    // The operator's edit of a box was refused: the views are told even though
    // the state they show is unchanged, so they put it back.
    bool m_editRefused = false;
};

} // namespace kalent
