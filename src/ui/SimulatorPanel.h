#pragma once

#include <QDockWidget>

class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace kalent {

class VirtualInstrument;

// The control panel of the built-in instrument (only with --port sim): its
// power switch, the stylus held on its screen, the two notices it sends by
// itself, and the speed it is set to. Other parts add their own views with
// addSection (the firmware upload's progress, for one).
class SimulatorPanel : public QDockWidget
{
    Q_OBJECT
public:
    explicit SimulatorPanel(VirtualInstrument &instrument, QWidget *parent = nullptr);

    // Appends a view under the controls; the panel takes ownership.
    void addSection(QWidget *section);

private:
    void showSpeed(int baud);

    VirtualInstrument &m_instrument;
    QVBoxLayout *m_layout;
    QCheckBox *m_power;
    QCheckBox *m_stylus;
    QLabel *m_speed;
};

} // namespace kalent
