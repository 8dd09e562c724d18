#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kalent {

class Connection;

// RzGroupBox1 "Порт связи:": the seven controls of the port panel. They mirror
// the link's PortPanelState whenever it changes; only the user's own changes
// of the boxes run the link's handlers (the program's updates never do).
class PortPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit PortPanel(Connection &connection, QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildPortControls();
    void buildContactControls();
    // force: also put back text the user is typing (after a handler ran).
    void mirror(bool force);
    void portChosen(const QString &text);
    void baudChosen(int index);
    void baudTyped(const QString &text);

    Connection &m_link;
    QComboBox *m_cbxNumPort;
    QCheckBox *m_cbPortOpen;
    QToolButton *m_sbtnCommON;
    QLabel *m_lbCommParam;
    QComboBox *m_cbBaudRate;
    QPushButton *m_btnVerifyConnect;
    QPushButton *m_btnConnect;
    QString m_shownPortText;
    QString m_shownBaudText;
};

} // namespace kalent
