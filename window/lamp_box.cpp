#include "lamp_box.h"

#include <QPainter>

namespace meridan {

LampBox::LampBox(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent); // the fill covers the whole box
}

void LampBox::setColour(const QColor &colour)
{
    if (colour == fillColour)
        return;
    fillColour = colour;
    update();
}

void LampBox::paintEvent(QPaintEvent *event)
{
    QPainter(this).fillRect(rect(), fillColour);
    QFrame::paintEvent(event); // the sunken border
}

} // namespace meridan
