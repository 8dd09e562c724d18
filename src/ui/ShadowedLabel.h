#pragma once

#include <QLabel>

namespace kalent {

// A label whose text is drawn with a 3-D effect: raised (a light edge above
// left, a dark one below right) or with a 1-pixel shadow below right. The text
// colour is the palette's WindowText; the background is the palette's Window
// when autoFillBackground is set.
class ShadowedLabel : public QLabel
{
    Q_OBJECT
public:
    enum class TextStyle { Raised, Shadowed };

    ShadowedLabel(const QString &text, TextStyle style, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TextStyle m_style;
};

} // namespace kalent
