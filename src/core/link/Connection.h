#pragma once

#include "link/LinkState.h"
#include "link/PortList.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalent {

class LineOwner;
class MessagePane;
class ReceiveDispatcher;
class SerialPort;
enum class JobOutcome;
enum class LineJob;

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

// The link service: the port choice, the link check, the contact search that
// finds the instrument's speed, and the speed change that rides on the
// contact answer. Its state is one value (state()); its waits (the search's
// tick, the rest after a speed change, the fast contact's window) are declared
// on the line's owner. A search holds the line as the line owner's contact-search job,
// which ends done once the instrument answers at the speed asked for, or
// cancelled with the reason ("Стоп", the port closing, the firmware page, a
// cancel through the line owner). A stopped search gives the line back at the
// speed the instrument last answered at.
class Connection : public QObject
{
    Q_OBJECT
public:
    static constexpr int SearchTickMs = 200;
    // From the speed code to the search at the new speed.
    static constexpr int RestartAfterSpeedChangeMs = 100;
    static constexpr int SpeedChangePauseMs = 10;

    Connection(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line, MessagePane &pane,
               QObject *parent = nullptr);
    ~Connection() override;

    void setLinkWatcher(LinkWatcher *watcher) { m_watcher = watcher; }
    void setPortLister(PortList::Lister lister) { m_ports.setLister(std::move(lister)); }

    const LinkState &state() const { return m_state; }
    LinkPhase phase() const { return m_state.phase; }
    // The instrument's line is up, as the last link check found it.
    bool lineUp() const { return m_state.lineUp; }
    bool contact() const { return m_state.contact(); }
    bool searching() const { return m_state.searching(); }
    bool atFastestSpeed() const { return m_state.atFastestSpeed(); }

    // Start-up: tries each candidate port in turn, lists those that open, and
    // opens the first at 115200 without any exchange.
    void openFirstPort(const QStringList &candidates);
    // Reads the system's ports again (the list is opened, a port closed itself).
    void refreshPorts();

    // One probe at the port's present speed, without a search and without a
    // status of its own; an answer is taken as any contact answer.
    void probeAtPresentSpeed();

    // How contact at 115200 begins: the command line and watch probe at the
    // port's speed first; a page of the window searches from 4800 at once, as
    // its page rule says, and its search has no limit but the operator's "Стоп".
    enum class ContactStart { ProbeFirst, SearchAtOnce };

    // Contact at 115200, the one way the window, the command line and watch get
    // it: a probe at the port's speed (where the program leaves the instrument),
    // and when it stays unanswered for a search tick, the search with the speed
    // change. The search is given up (stopped as "Стоп" stops it) once it has
    // gone limitMs, and never less than one whole cycle, without an answer.
    // Ends exactly once: fastContactEnded, at 115200 or not (a search stopped
    // by another way out ends it too).
    void makeFastContact(int limitMs, ContactStart start = ContactStart::ProbeFirst);

    // The link check every comm event runs: CTS against the last check.
    bool checkLink();
    // A search from 4800 afresh (the port opened again first).
    void startContactSearch();
    // The search that ends with the instrument switched to 115200 (the search
    // of makeFastContact, without its end).
    void searchWithFastestSpeed();
    // Entering the firmware page: the port goes to 115200 directly, no exchange;
    // a contact search still running is ended.
    void setFastestSpeedDirectly();
    // Opens the port if it is closed (the page switch asks for it).
    void ensurePortOpen();
    // Runs then now on a free line (or one the contact search or an upload
    // holds), otherwise once the running job has ended: what a page change
    // would do never cuts a job short.
    void whenLineFree(std::function<void()> then);

    // The operator's requests.
    // "Контакт" starts a search, "Стоп" stops it; during a write it cancels the write.
    void contactOrStop();
    // "?": one probe; "Нет контакта" until the answer says otherwise.
    void checkContact();
    // A port chosen or typed in the port box.
    void choosePort(const QString &name);
    // A speed chosen in the speed box: negotiated with the instrument at the
    // next answer. A baud that is not one of the six is ignored.
    void chooseSpeed(int baud);

Q_SIGNALS:
    void stateChanged();
    // A contact search began from 4800 (the first, or again after a speed change).
    void searchStarted();
    // The instrument answered a running contact search.
    void searchAnswered();
    // The port closed itself: its device went away.
    void portLost();
    // A full link check ran: the line is up or down, as every page that needs
    // the instrument should now show.
    void lineChecked(bool up);
    // makeFastContact ended: the instrument answers at 115200, or not.
    void fastContactEnded(bool reached);

private:
    // The search's tick, the one wait of the probing phases.
    void armSearchTick();
    void searchStep();
    // makeFastContact's steps: the probe's tick passed, the search's limit passed,
    // and its end.
    void fastContactWaited();
    void waitForContact(int ms);
    void endFastContact(bool reached);
    void restartSearchAfterSpeedChange();
    void handleContactReply();
    void openChosenPort();
    void notePortOpened();
    void setLineBaud(int baud);
    void reportLineBaud() { m_state.reportedBaud = m_state.lineBaud; }
    void flushInput();
    void portClosedItself();
    // The search ends without an answer: the line goes back to the speed the
    // instrument last answered at and is given back with the reason.
    void endSearch(const QString &reason);
    // The line's owner cancels the search (another party's way out).
    void searchCancelled();
    // Tells the views, and keeps the line's job in step with the phase.
    void publish();
    void publishState();
    // The one place the phase changes: a wait that belongs to the phase left
    // behind stops. Waits of the phase entered are declared by the caller, which
    // knows whether a running one goes on or starts over.
    void moveTo(LinkPhase next);
    void followSearchOnTheLine();
    // False (and the operator told) when a write holds the line and may not be
    // cut; a read under way is cancelled for the search.
    bool lineFreeForSearch();

    SerialPort &m_port;
    ReceiveDispatcher &m_dispatcher;
    LineOwner &m_line;
    MessagePane &m_pane;
    LinkWatcher *m_watcher = nullptr;
    PortList m_ports;
    enum class FastContact { None, Probing, Searching };
    FastContact m_fastContact = FastContact::None;
    int m_fastContactLimitMs = 0;
    LinkState m_state;
    LinkState m_published;
    // Why the search's job ends, when it ends without an answer.
    QString m_endReason;
};

} // namespace kalent
