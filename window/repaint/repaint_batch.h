#pragma once

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace meridan {

// Holds widgets' repaints until the end of a stretch of work, then repaints them there and then.
// The window holds one around every handler the panel runs (a click, a lamps' timer tick, a
// board's event): a lamp box's or a simulated lamp's new look is painted once the handler's board
// writes are done, not asked for between a box's colour and its lamp's write, and the screen shows
// it no later than a posted update request would (docs/performance.md).
//
// Batches nest; the outermost one repaints when it ends. A widget deleted or hidden before then
// is skipped. Whatever opens an event loop of its own inside a batch (a modal message box: a
// run-time error in a tick) repaints first, with repaintNow(), so that the window shows what the
// handler did while the box waits. For the GUI thread only, as widgets are.
class RepaintBatch
{
public:
    RepaintBatch() { ++state().depth; }
    ~RepaintBatch()
    {
        if (--state().depth == 0)
            repaintNow();
    }
    RepaintBatch(const RepaintBatch &) = delete;
    RepaintBatch &operator=(const RepaintBatch &) = delete;

    // QWidget::update() for `widget` outside a batch; inside one, a repaint when it ends.
    static void update(QWidget &widget)
    {
        State &batch = state();
        if (batch.depth == 0)
            widget.update();
        else if (std::find(batch.pending.begin(), batch.pending.end(), &widget)
                == batch.pending.end())
            batch.pending.emplace_back(&widget); // once: each repaint paints and sends at once
    }

    // Repaints the widgets held so far, inside a batch or not.
    static void repaintNow()
    {
        State &batch = state();
        for (const QPointer<QWidget> &widget : batch.pending) {
            if (widget)
                widget->repaint(); // nothing for a hidden widget
        }
        batch.pending.clear(); // keeping its room from one handler to the next
    }

private:
    struct State
    {
        int depth = 0;
        std::vector<QPointer<QWidget>> pending;
    };
    static State &state()
    {
        static State batch;
        return batch;
    }
};

} // namespace meridan
