#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace kalent {

class BootLoader;

// The built-in instrument's boot loader as the simulator's control panel shows
// it: whether it is in programming mode, how much of an upload it has taken,
// and what it made of the last one.
class BootLoaderView : public QWidget
{
    Q_OBJECT
public:
    BootLoaderView(BootLoader &bootLoader, QWidget *parent = nullptr);

private:
    void showMode(bool programming);
    void showProgress(qint64 received, qint64 expected);
    void showResult();

    BootLoader &m_bootLoader;
    QLabel *m_mode = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_received = nullptr;
    QLabel *m_result = nullptr;
};

} // namespace kalent
