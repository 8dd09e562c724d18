#pragma once

#include <QCheckBox>

namespace kalent {

// A check box that only shows a state the program sets (cbPortOpen: whether
// the port is open). It looks as inert as it is: its box is filled like a
// read-only field, it never lights up under the mouse or looks pressed, takes
// no focus, and neither clicks nor keys change it. Its hint still shows.
class IndicatorCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit IndicatorCheckBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

} // namespace kalent
