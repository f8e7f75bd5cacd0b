#include "window/lamp_box.h"

#include "window/accessible/accessible_factory.h"
#include "window/repaint/repaint_batch.h"

#include <QPainter>

#include <algorithm>

namespace meridan {

LampBox::LampBox(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent); // the look covers the whole box
    // Before the box can raise its first accessibility event, which would resolve the stock one.
    installAccessibleFactory<LampBox, StateAccessible<LampBox, QAccessible::Border>>();
}

void LampBox::setState(const QString &state)
{
    if (state == stateText)
        return;
    stateText = state;
    announceDescriptionChange(this);
}

void LampBox::setColour(const QColor &colour)
{
    if (colour == fillColour)
        return;
    fillColour = colour;
    RepaintBatch::update(*this);
}

void LampBox::paintEvent(QPaintEvent * /*event*/)
{
    // Each look (the fill and the style's sunken border over it) is drawn once for the box's
    // size, scale and palette, then only copied: the style's border drawing had cost more than
    // all the rest of a lamp edge.
    const qreal ratio = devicePixelRatioF();
    if (ratio != looksRatio || size() != looksSize || palette().cacheKey() != looksPalette) {
        looks.clear();
        looksRatio = ratio;
        looksSize = size();
        looksPalette = palette().cacheKey();
    }
    auto look = std::find_if(looks.begin(), looks.end(),
            [this](const Look &drawn) { return drawn.colour == fillColour; });
    if (look == looks.end()) {
        QPixmap pixmap(size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        QPainter painter(&pixmap);
        painter.fillRect(rect(), fillColour);
        drawFrame(&painter);
        look = looks.insert(looks.end(), { fillColour, pixmap });
    }
    QPainter(this).drawPixmap(0, 0, look->pixmap);
}

} // namespace meridan
