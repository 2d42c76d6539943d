#include "gui/comm/LineWork.h"

#include <QCoreApplication>

#include "gui/platform/InputHold.h"
#include "gui/platform/WorkerRun.h"

namespace ombrix::gui {

void LineWork::Run(const std::function<void()>& work) {
    if (depth_ > 0 || !QCoreApplication::instance()) {
        work();
        return;
    }
    ++depth_;
    {
        InputHold hold;
        RunOffGuiThread(work);
    }
    --depth_;
    while (depth_ == 0 && !deferred_.empty()) {
        std::function<void()> task = std::move(deferred_.front());
        deferred_.pop_front();
        task();
    }
}

void LineWork::WhenIdle(std::function<void()> task) {
    if (Running()) {
        deferred_.push_back(std::move(task));
    } else {
        task();
    }
}

void HeldDispatcher::Post(std::function<void()> task) {
    target_.Post([this, task = std::move(task)]() mutable { work_.WhenIdle(std::move(task)); });
}

}  // namespace ombrix::gui
