#pragma once

#include <QWidget>

namespace kalent {

class LinkLabel;

// RzPanel2, the About page: the program's title, version and purpose on three
// grey panels with drop shadows, and the four link labels that run the actions.
class AboutPanel : public QWidget
{
    Q_OBJECT
public:
    explicit AboutPanel(QWidget *parent = nullptr);

    LinkLabel *lbLoadPOInVir() const { return m_lbLoadPOInVir; }
    LinkLabel *lbLoadBDTS() const { return m_lbLoadBDTS; }
    LinkLabel *lbReader() const { return m_lbReader; }
    LinkLabel *lbProtokol() const { return m_lbProtokol; }

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
    LinkLabel *m_lbLoadPOInVir = nullptr;
    LinkLabel *m_lbLoadBDTS = nullptr;
    LinkLabel *m_lbReader = nullptr;
    LinkLabel *m_lbProtokol = nullptr;
};

} // namespace kalent
