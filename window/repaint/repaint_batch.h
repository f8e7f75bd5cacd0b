#pragma once

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <vector>

namespace meridan {

// Asks for widgets' repaints at the end of a stretch of work rather than in the middle of it.
// The lamps' timer holds a batch while a tick runs, and the board library while it delivers a
// board's event: a lamp box's or a simulated lamp's new look is asked for once the tick's board
// writes are done, not between a box's colour and its lamp's write. Asking (QWidget::update: the
// window marked dirty, an update request posted and the event loop woken) had been most of the
// time from the deadline to the board write. The repaint itself runs after the handler either
// way, so what the screen shows, and when, is as it was.
//
// Batches nest; the outermost one asks when it ends. A widget deleted before then is skipped.
// Whatever opens an event loop of its own inside a batch (a modal message box: a run-time error
// in a tick) asks first, with askNow(), so that the window shows what the handler did while the
// box waits. For the GUI thread only, as widgets are.
class RepaintBatch
{
public:
    RepaintBatch() { ++state().depth; }
    ~RepaintBatch()
    {
        if (--state().depth == 0)
            askNow();
    }
    RepaintBatch(const RepaintBatch &) = delete;
    RepaintBatch &operator=(const RepaintBatch &) = delete;

    // QWidget::update() for `widget`: now, or when the open batch ends.
    static void update(QWidget &widget)
    {
        State &batch = state();
        if (batch.depth == 0)
            widget.update();
        else
            batch.pending.emplace_back(&widget);
    }

    // Asks for the repaints held so far, inside a batch or not.
    static void askNow()
    {
        State &batch = state();
        // By index: the list keeps its room from one tick to the next.
        for (std::size_t k = 0; k < batch.pending.size(); ++k) {
            if (QWidget *widget = batch.pending[k].data())
                widget->update();
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
