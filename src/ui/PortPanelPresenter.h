#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace kalent {

class Connection;
struct LinkState;

// Everything the port panel shows.
struct PortPanelView
{
    QStringList ports;
    QString portText;
    bool portEnabled = false;
    bool portOpenChecked = false;
    QString portOpenCaption;
    bool lampOn = false;
    QString parametersText;
    QString speedText;
    bool speedEnabled = false;
    bool checkEnabled = false;
    bool contactEnabled = false;
    QString contactCaption;

    bool operator==(const PortPanelView &o) const;
    bool operator!=(const PortPanelView &o) const { return !(*this == o); }
};

// The port panel's presenter: derives the panel from the link's state in one
// function, and hands the operator's edits to the link. Edits the link refuses
// change nothing; the panel then shows the state again.
class PortPanelPresenter : public QObject
{
    Q_OBJECT
public:
    explicit PortPanelPresenter(Connection &link, QObject *parent = nullptr);

    static PortPanelView derive(const LinkState &state);
    PortPanelView view() const;
    // The speed box's items: the six speeds.
    static QStringList speedItems();
    // The baud typed or chosen in the speed box; 0 when it is not one of the six.
    static int speedFromText(const QString &text);

    void portChosen(const QString &name);
    void speedChosen(const QString &text);
    void contactPressed();
    void checkPressed();
    // The port list is about to open: the system's ports are read again.
    void portListOpening();

Q_SIGNALS:
    void viewChanged();

private:
    Connection &m_link;
};

} // namespace kalent
