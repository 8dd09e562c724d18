#pragma once

#include <QLabel>

namespace kalent {

// A label that acts like a link: hand cursor, its text takes the tooltip
// background colour while the mouse is over it and goes back to the 3-D light
// colour when the mouse leaves; a click emits clicked(). One implementation
// serves all four links of the About page.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

    bool hovered() const { return m_hovered; }

Q_SIGNALS:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setHovered(bool hovered);

    bool m_hovered = false;
    bool m_pressed = false;
};

} // namespace kalent
