// ombrix-sim: a bus of simulated projectors on a pseudo-terminal or a TCP port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "LineServer.h"
#include "SimBus.h"
#include "platform/Clock.h"

using ombrix::sim::LineServer;
using ombrix::sim::SimBus;

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

const char kUsage[] =
    "usage: ombrix-sim [--bus FILE] (--pty [--link PATH] | --tcp PORT) [--control FIFO] [--transcript]\n"
    "       ombrix-sim --version\n"
    "\n"
    "Simulates projectors sharing one serial line.\n"
    "  --bus FILE       projectors to simulate (default: one projector at address 1)\n"
    "  --pty            serve on a new pseudo-terminal; its path is printed as \"pty: PATH\"\n"
    "  --link PATH      also make PATH a symbolic link to the pseudo-terminal\n"
    "  --tcp PORT       serve on 127.0.0.1:PORT, one client at a time\n"
    "  --control FIFO   read control lines from this named pipe (created if missing)\n"
    "  --transcript     print every frame and reply in hex on standard error\n"
    "\n"
    "Control lines (standard input or the FIFO):\n"
    "  fault ADDR|all KIND [ARG] [COUNT]   KIND: silence nack short garbage-before\n"
    "                                      garbage-after late late-answer byte\n"
    "                                      double-ack late-ack none\n"
    "                                      byte X: every request (and a block's data run)\n"
    "                                      is answered with the one byte X and nothing\n"
    "                                      else, e.g. \"fault all byte 0x00\"; the\n"
    "                                      projector changes nothing\n"
    "                                      double-ack: every request is acknowledged\n"
    "                                      twice (06 06); a block's data run is refused\n"
    "                                      late-ack [MS]: the next request is heard and\n"
    "                                      acknowledged MS ms late (default 4000), those\n"
    "                                      after it not at all until the fault ends\n"
    "  power ADDR on|off                   switch a projector on or off\n"
    "  standby ADDR on|off                 put a projector into standby or wake it\n"
    "  iris ADDR STATE                     set a projector's IRIS state byte\n"
    "  clear                               remove every fault\n"
    "  drop | restore                      drop the line / bring it back\n"
    "  list                                print the projectors\n";

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x ", b);
        s += buf;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

void HandleControl(SimBus& bus, std::string& pending, const char* data, ssize_t n, ombrix::Clock& clock,
                   LineServer& server) {
    pending.append(data, static_cast<size_t>(n));
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::string reply;
        bus.Control(line, clock.TickMs(), &reply);
        // A dropped line is a vanished device: the client sees a hang-up.
        if (line.find("drop") == 0) {
            server.Drop();
        } else if (line.find("restore") == 0 && !server.PtyPath().empty()) {
            server.Restore();
            std::printf("pty: %s\n", server.PtyPath().c_str());
        }
        std::printf("%s\n", reply.c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string busFile, link, control;
    bool pty = false, transcript = false;
    int tcpPort = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--bus") busFile = next();
        else if (a == "--pty") pty = true;
        else if (a == "--link") link = next();
        else if (a == "--tcp") tcpPort = std::atoi(next().c_str());
        else if (a == "--control") control = next();
        else if (a == "--transcript") transcript = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("ombrix-sim " OMBRIX_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "ombrix-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (pty == (tcpPort > 0) || (tcpPort < 0 || tcpPort > 65535)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    SimBus bus;
    std::string error;
    if (!busFile.empty()) {
        if (!ombrix::sim::LoadBusFile(busFile, &bus, &error)) {
            std::fprintf(stderr, "ombrix-sim: %s: %s\n", busFile.c_str(), error.c_str());
            return 1;
        }
    } else {
        ombrix::sim::ParseBusText("[projector]\naddress = 1\ntype = 5 V\nversion = 3.05\nfree-blocks = 4\n", &bus,
                                  &error);
    }

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);

    ombrix::SteadyClock clock;
    LineServer server(bus, clock);
    if (pty) {
        if (!server.OpenPty(link)) {
            std::fprintf(stderr, "ombrix-sim: cannot create a pseudo-terminal%s%s: %s\n", link.empty() ? "" : " or link ",
                         link.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("pty: %s\n", server.PtyPath().c_str());
        std::fflush(stdout);
    }
    if (tcpPort) {
        if (!server.OpenTcp(tcpPort)) {
            std::fprintf(stderr, "ombrix-sim: cannot listen on port %d: %s\n", tcpPort, std::strerror(errno));
            return 1;
        }
        std::printf("tcp: 127.0.0.1:%d\n", tcpPort);
        std::fflush(stdout);
    }
    int controlFd = -1;
    if (!control.empty()) {
        mkfifo(control.c_str(), 0600);
        // Read-write so the pipe never reports end of file between writers.
        controlFd = open(control.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (controlFd < 0) {
            std::fprintf(stderr, "ombrix-sim: cannot open %s: %s\n", control.c_str(), std::strerror(errno));
            return 1;
        }
    }

    std::string stdinPending, fifoPending;
    bool stdinOpen = true;
    size_t transcriptSeen = 0;
    while (!gStop) {
        std::vector<pollfd> fds;
        if (stdinOpen) fds.push_back({0, POLLIN, 0});
        if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
        server.Serve(fds, 200);
        char buf[512];
        for (const pollfd& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (p.fd == 0) {
                const ssize_t n = read(0, buf, sizeof buf);
                if (n <= 0) {
                    stdinOpen = false;
                } else {
                    HandleControl(bus, stdinPending, buf, n, clock, server);
                }
            } else if (p.fd == controlFd) {
                const ssize_t n = read(controlFd, buf, sizeof buf);
                if (n > 0) HandleControl(bus, fifoPending, buf, n, clock, server);
            }
        }
        if (transcript) {
            const auto t = bus.Transcript();
            for (; transcriptSeen < t.size(); ++transcriptSeen) {
                std::fprintf(stderr, "%s %s\n", t[transcriptSeen].fromHost ? ">" : "<",
                             Hex(t[transcriptSeen].bytes).c_str());
            }
        }
        // The transcript is for this print-out only; a long-running bus must not grow.
        bus.ClearTranscript();
        transcriptSeen = 0;
    }
    if (controlFd >= 0) close(controlFd);
    if (!control.empty()) unlink(control.c_str());
    return 0;
}
