#include "gui/directaccess/LineWork.h"

#include <QEventLoop>
#include <QMetaObject>
#include <system_error>
#include <thread>

#include "gui/platform/InputHold.h"

namespace ombrix::gui {

void RunOnLine(const std::function<void()>& work) {
    InputHold hold;
    QEventLoop loop;
    std::thread worker;
    try {
        worker = std::thread([&] {
            work();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        work();
        return;
    }
    loop.exec();
    worker.join();
}

}  // namespace ombrix::gui
