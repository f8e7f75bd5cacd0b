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

QString LampBox::state() const
{
    static const QString lit = QStringLiteral("lit");
    static const QString dark = QStringLiteral("dark");
    return fill == LampOn ? lit : dark;
}

void LampBox::setBackColor(Colour colour)
{
    if (colour == fill)
        return;
    const bool wasLit = fill == LampOn;
    fill = colour;
    if ((fill == LampOn) != wasLit)
        announceDescriptionChange(this);
    RepaintBatch::update(*this);
}

void LampBox::paintEvent(QPaintEvent * /*event*/)
{
    // Each look (the fill and the style's sunken border over it) is drawn once for the box's
    // size, scale and palette, then only copied: the style's border is the dearest part of an
    // edge to draw (docs/performance.md).
    const qreal ratio = devicePixelRatioF();
    if (ratio != looksRatio || size() != looksSize || palette().cacheKey() != looksPalette) {
        looks.clear();
        looksRatio = ratio;
        looksSize = size();
        looksPalette = palette().cacheKey();
    }
    auto look = std::find_if(
            looks.begin(), looks.end(), [this](const Look &drawn) { return drawn.colour == fill; });
    if (look == looks.end()) {
        QPixmap pixmap(size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        QPainter painter(&pixmap);
        painter.fillRect(rect(), colour());
        drawFrame(&painter);
        look = looks.insert(looks.end(), { fill, pixmap });
    }
    QPainter(this).drawPixmap(0, 0, look->pixmap);
}

} // namespace meridan
