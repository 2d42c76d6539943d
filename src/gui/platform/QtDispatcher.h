#pragma once
// Runs work posted by worker threads on the GUI thread, in the order posted.
#include <QObject>

#include "core/platform/Dispatcher.h"

namespace ombrix::gui {

class QtDispatcher final : public Dispatcher {
public:
    // Created on the GUI thread. Tasks still pending when it is destroyed are dropped.
    QtDispatcher() = default;
    void Post(std::function<void()> task) override;

private:
    QObject context_;
};

}  // namespace ombrix::gui
