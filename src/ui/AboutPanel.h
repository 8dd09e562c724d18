#pragma once

#include "navigation/PageNavigator.h"

#include <QWidget>

#include <array>

namespace kalent {

class LinkLabel;

// RzPanel2, the About page: the program's title, version and purpose on three
// grey panels with drop shadows, and the four link labels that run the actions.
class AboutPanel : public QWidget
{
    Q_OBJECT
public:
    explicit AboutPanel(QWidget *parent = nullptr);

    // The link that runs the page's action; null for the About page itself.
    LinkLabel *link(Page page) const { return m_links[static_cast<size_t>(page)]; }

protected:
    // RzPanel2Paint: the shadows around RzPanel3, RzPanel4 and RzPanel5.
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QWidget *> buildGlyphs();
    void buildNotes();
    QWidget *greyTextPanel(const QString &name, const QString &text, const QRect &geometry);
    void buildLinks();

    QWidget *m_title = nullptr;      // RzLabel1
    QWidget *m_bottomName = nullptr; // RzLabel2
    QWidget *m_panel3 = nullptr;
    QWidget *m_panel4 = nullptr;
    QWidget *m_panel5 = nullptr;
    std::array<LinkLabel *, PageCount> m_links{};
};

} // namespace kalent
