#include "gui/directaccess/LineWork.h"

#include <QEventLoop>
#include <QTimer>
#include <system_error>
#include <thread>

#include "gui/platform/InputHold.h"

namespace ombrix::gui {
namespace {

// Only the GUI thread starts line work, so a plain flag is enough.
bool g_lineBusy = false;
constexpr int kRetryMs = 20;

}  // namespace

bool LineBusy() { return g_lineBusy; }

void RunOnLine(const std::function<void()>& work) {
    g_lineBusy = true;
    {
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
        }
        if (worker.joinable()) {
            loop.exec();
            worker.join();
        }
    }
    g_lineBusy = false;
}

void WhenLineFree(QObject* context, const std::function<void()>& work) {
    if (!g_lineBusy) {
        work();
        return;
    }
    QTimer::singleShot(kRetryMs, context, [context, work] { WhenLineFree(context, work); });
}

}  // namespace ombrix::gui
