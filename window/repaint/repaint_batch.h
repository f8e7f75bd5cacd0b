#pragma once

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace meridan {

// Holds widgets' repaints until the end of a stretch of work, then repaints them there and then.
// The lamps' timer holds a batch while a tick runs, and the board library while it delivers a
// board's event: a lamp box's or a simulated lamp's new look is painted once the tick's board
// writes are done, not asked for between a box's colour and its lamp's write. Asking
// (QWidget::update: the window marked dirty, an update request posted and the event loop woken)
// had been most of the time from the deadline to the board write; and the posted request then
// cost the loop a further round to deliver it. Painting at the batch's end (QWidget::repaint)
// costs neither, and the screen shows the new look no later than a posted request would.
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
        // By index: the list keeps its room from one tick to the next.
        for (std::size_t k = 0; k < batch.pending.size(); ++k) {
            if (QWidget *widget = batch.pending[k].data())
                widget->repaint(); // nothing for a hidden widget
        }
        batch.pending.clear();
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
