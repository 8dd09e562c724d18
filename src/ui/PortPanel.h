#pragma once

#include "PortPanelPresenter.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kalent {

class Connection;

// The port panel "Порт связи:": the port box, its on/off box, the link lamp,
// the parameters line, the speed box, "?" and "Контакт". The controls show
// the presenter's view whenever the link changes; only the user's own changes
// of the boxes reach the presenter (the program's updates never do).
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
    // force: also put back text the user is typing (after an edit was handled).
    void mirror(bool force);
    void portChosen(const QString &text);
    void speedChosen(const QString &text);

    PortPanelPresenter m_presenter;
    QComboBox *m_portBox;
    QCheckBox *m_portOpenBox;
    QToolButton *m_linkLamp;
    QLabel *m_parameters;
    QComboBox *m_speedBox;
    QPushButton *m_checkButton;
    QPushButton *m_contactButton;
    QString m_shownPortText;
    QString m_shownSpeedText;
};

} // namespace kalent
