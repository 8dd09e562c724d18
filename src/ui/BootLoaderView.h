#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace kalent {

class BootLoader;

// The built-in instrument's boot loader as the simulator's control panel shows
// it: whether it is in programming mode, how much of an upload it has taken,
// and what it made of the last one. The count changes at every millisecond of
// line time; it is shown a few times a second, which is all an eye can follow.
class BootLoaderView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 250;

    BootLoaderView(BootLoader &bootLoader, QWidget *parent = nullptr);

private:
    void showMode(bool programming);
    void progressChanged();
    void showProgress();
    void showResult();

    BootLoader &m_bootLoader;
    QLabel *m_mode = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_received = nullptr;
    QLabel *m_result = nullptr;
    QTimer m_refresh; // one refresh per RefreshMs while an upload comes in
};

} // namespace kalent
