#pragma once

#include <QLabel>

namespace kalent {

// A label for texts longer than its field (a file path, a long message): each line
// that does not fit is drawn elided ("…" in the middle or at the end) instead of
// being cut off, and the whole text is offered as the tooltip while anything is
// elided. text() stays the whole text. The label never asks for more width than
// a few characters, so a long text cannot push a splitter or widen a window.
class ElidingLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidingLabel(Qt::TextElideMode mode, QWidget *parent = nullptr);

    // Sets the text (plain, never markup) and works the tooltip out again.
    void setWholeText(const QString &text);
    // The tooltip shown while the text is elided; empty: the text itself. A
    // label that names a file gives its full path here.
    void setWholeTip(const QString &tip);
    QString wholeTip() const { return m_tip; }

    // Whether some line is wider than the field and drawn elided.
    bool isElided() const;
    // The lines as drawn.
    QStringList shownLines() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateTip();

    Qt::TextElideMode m_mode;
    QString m_tip;
};

} // namespace kalent
