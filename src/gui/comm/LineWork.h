#pragma once
// Work on the line started by the user (a drop, reading a projector's blocks, filling an
// information page): it runs on a worker while the window keeps painting and takes no
// input. Meanwhile what the background check hands over waits, so the tables change
// under one command at a time.
#include <deque>
#include <functional>

#include "core/platform/Dispatcher.h"

namespace ombrix::gui {

class LineWork {
public:
    // Runs work to its end; a call from inside work runs at once.
    void Run(const std::function<void()>& work);
    bool Running() const { return depth_ > 0; }
    // Runs now, or once the work in progress has ended.
    void WhenIdle(std::function<void()> task);

private:
    int depth_ = 0;
    std::deque<std::function<void()>> deferred_;
};

// Hands the background check's findings to the GUI thread, held back while line work runs.
class HeldDispatcher final : public Dispatcher {
public:
    HeldDispatcher(Dispatcher& target, LineWork& work) : target_(target), work_(work) {}
    void Post(std::function<void()> task) override;

private:
    Dispatcher& target_;
    LineWork& work_;
};

}  // namespace ombrix::gui
