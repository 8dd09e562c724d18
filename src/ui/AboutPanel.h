#pragma once

#include "navigation/PageNavigator.h"

#include <QWidget>

#include <array>

namespace kalent {

class LinkLabel;

// The About page: the program's title, version and purpose on three
// grey panels with drop shadows, and the four link labels that run the actions.
class AboutPanel : public QWidget
{
    Q_OBJECT
public:
    explicit AboutPanel(QWidget *parent = nullptr);

    // The link that runs the page's action; null for the About page itself.
    LinkLabel *link(Page page) const { return m_links[static_cast<size_t>(page)]; }

protected:
    // The shadows around the purpose, links and requirements panels.
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QWidget *> buildGlyphs();
    void buildNotes();
    QWidget *greyTextPanel(const QString &name, const QString &text, const QRect &geometry);
    void buildLinks();

    QWidget *m_title = nullptr;      // the program's name along the top
    QWidget *m_bottomName = nullptr; // the instrument's name along the bottom
    QWidget *m_purposePanel = nullptr;
    QWidget *m_linksPanel = nullptr;
    QWidget *m_requirementsPanel = nullptr;
    std::array<LinkLabel *, PageCount> m_links{};
};

} // namespace kalent
