#include "gui/platform/WorkerRun.h"

#include <QEventLoop>
#include <QMetaObject>
#include <system_error>
#include <thread>

namespace ombrix::gui {

void RunOffGuiThread(const std::function<void()>& work) {
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
