#pragma once

#include "signal/indicator_box.h"

#include <QColor>
#include <QFrame>
#include <QPixmap>
#include <QString>

#include <vector>

namespace meridan {

// A lamp's indicator box: a sunken frame filled with its back colour. A change is repainted at the
// end of the handler that made it (see RepaintBatch), by copying a look drawn before.
class LampBox : public QFrame, public IndicatorBox
{
    Q_OBJECT

public:
    explicit LampBox(QWidget *parent = nullptr);

    void setBackColor(Colour colour) override;
    QColor colour() const { return { redOf(fill), greenOf(fill), blueOf(fill) }; }
    // What the box shows, in words, for assistive technology: "lit" in the lit lamp's colour,
    // "dark" in any other.
    QString state() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Look
    {
        Colour colour;
        QPixmap pixmap;
    };

    Colour fill = LampOff;
    // The looks drawn so far (one a colour: two while blinking), for this size, scale and palette.
    std::vector<Look> looks;
    qreal looksRatio = 0;
    QSize looksSize;
    qint64 looksPalette = 0;
};

} // namespace meridan
