#include "gui/directaccess/LineWork.h"

#include <QTimer>

#include "gui/platform/InputHold.h"
#include "gui/platform/WorkerRun.h"

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
        RunOffGuiThread(work);
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
