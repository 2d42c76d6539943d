#include "gui/app/ExitSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace ombrix::gui {
namespace {

int g_fds[2] = {-1, -1};  // [0] written by the handler, [1] read by the GUI thread
std::atomic<bool> g_forward{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnExitSignal(int signo) {
    const int savedErrno = errno;
    if (!g_forward.load()) {
        // Die of the signal itself once the handler returns, so the parent sees why.
        std::signal(signo, SIG_DFL);
        std::raise(signo);
    } else {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // A full socket already holds a pending request; losing this one changes nothing.
        [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

bool InstallExitSignalHandlers() {
    if (g_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_fds) != 0) {
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

ExitSignalNotifier::ExitSignalNotifier(QObject* parent) : QObject(parent) {
    if (g_fds[1] < 0) return;
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignalNotifier::Drain);
    g_forward.store(true);
}

ExitSignalNotifier::~ExitSignalNotifier() { g_forward.store(false); }

void ExitSignalNotifier::Drain() {
    unsigned char buf[64];
    bool any = false;
    while (::read(g_fds[1], buf, sizeof buf) > 0) any = true;
    if (any) emit exitRequested();
}

}  // namespace ombrix::gui
