// ombrix-sim: a bus of simulated projectors on a pseudo-terminal or a TCP port.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SimBus.h"
#include "platform/Clock.h"

using ombrix::sim::SimBus;

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

const char kUsage[] =
    "usage: ombrix-sim [--bus FILE] (--pty [--link PATH] | --tcp PORT) [--control FIFO] [--transcript]\n"
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
    "                                      garbage-after late late-answer none\n"
    "  power ADDR on|off                   switch a projector on or off\n"
    "  standby ADDR on|off                 put a projector into standby or wake it\n"
    "  iris ADDR STATE                     set a projector's IRIS state byte\n"
    "  clear                               remove every fault\n"
    "  drop | restore                      drop the line / bring it back\n"
    "  list                                print the projectors\n";

struct Server {
    int master = -1;
    int slaveKeep = -1;  // keeps the pty alive when no client has it open
    std::string slavePath;
    std::string link;
    int listenFd = -1;
    int client = -1;
};

bool OpenPty(Server& s) {
    s.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.master < 0 || grantpt(s.master) != 0 || unlockpt(s.master) != 0) return false;
    const char* name = ptsname(s.master);
    if (!name) return false;
    s.slavePath = name;
    s.slaveKeep = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.slaveKeep < 0) return false;
    // Raw from the start, so nothing is echoed before the client configures the line.
    termios t{};
    if (tcgetattr(s.slaveKeep, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(s.slaveKeep, TCSANOW, &t);
    }
    fcntl(s.master, F_SETFL, fcntl(s.master, F_GETFL) | O_NONBLOCK);
    if (!s.link.empty()) {
        unlink(s.link.c_str());
        if (symlink(name, s.link.c_str()) != 0) {
            std::fprintf(stderr, "ombrix-sim: cannot link %s: %s\n", s.link.c_str(), std::strerror(errno));
            return false;
        }
    }
    std::printf("pty: %s\n", name);
    std::fflush(stdout);
    return true;
}

void ClosePty(Server& s) {
    if (s.master >= 0) close(s.master);
    if (s.slaveKeep >= 0) close(s.slaveKeep);
    s.master = s.slaveKeep = -1;
}

bool OpenTcp(Server& s, int port) {
    s.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(s.listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s.listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.listenFd, 1) != 0) return false;
    std::printf("tcp: 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    return true;
}

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

void HandleControl(SimBus& bus, std::string& pending, const char* data, ssize_t n, ombrix::Clock& clock, Server& s) {
    pending.append(data, static_cast<size_t>(n));
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::string reply;
        bus.Control(line, clock.TickMs(), &reply);
        if (line.find("drop") == 0 && s.master >= 0) {
            // A dropped line is a vanished device: the client sees a hang-up.
            ClosePty(s);
        } else if (line.find("restore") == 0 && !s.slavePath.empty() && s.master < 0 && s.listenFd < 0) {
            OpenPty(s);
        } else if (line.find("drop") == 0 && s.client >= 0) {
            close(s.client);
            s.client = -1;
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

    Server s;
    s.link = link;
    if (pty && !OpenPty(s)) {
        std::fprintf(stderr, "ombrix-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    if (tcpPort && !OpenTcp(s, tcpPort)) {
        std::fprintf(stderr, "ombrix-sim: cannot listen on port %d: %s\n", tcpPort, std::strerror(errno));
        return 1;
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

    ombrix::SteadyClock clock;
    std::string stdinPending, fifoPending;
    bool stdinOpen = true;
    size_t transcriptSeen = 0;
    while (!gStop) {
        std::vector<pollfd> fds;
        const int lineFd = s.master >= 0 ? s.master : s.client;
        if (lineFd >= 0) fds.push_back({lineFd, POLLIN, 0});
        if (s.listenFd >= 0 && s.client < 0) fds.push_back({s.listenFd, POLLIN, 0});
        if (stdinOpen) fds.push_back({0, POLLIN, 0});
        if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
        int timeout = 200;
        if (auto due = bus.NextDue()) {
            const uint64_t now = clock.TickMs();
            timeout = *due <= now ? 0 : static_cast<int>(std::min<uint64_t>(*due - now, 200));
        }
        poll(fds.data(), fds.size(), timeout);
        char buf[512];
        for (const pollfd& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (p.fd == lineFd) {
                const ssize_t n = read(lineFd, buf, sizeof buf);
                if (n > 0) {
                    const uint64_t now = clock.TickMs();
                    for (ssize_t i = 0; i < n; ++i) bus.Receive(static_cast<uint8_t>(buf[i]), now);
                } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    if (s.client >= 0) {
                        close(s.client);
                        s.client = -1;
                    }
                }
            } else if (p.fd == s.listenFd) {
                s.client = accept4(s.listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            } else if (p.fd == 0) {
                const ssize_t n = read(0, buf, sizeof buf);
                if (n <= 0) {
                    stdinOpen = false;
                } else {
                    HandleControl(bus, stdinPending, buf, n, clock, s);
                }
            } else if (p.fd == controlFd) {
                const ssize_t n = read(controlFd, buf, sizeof buf);
                if (n > 0) HandleControl(bus, fifoPending, buf, n, clock, s);
            }
        }
        const std::vector<uint8_t> due = bus.TakeDue(clock.TickMs());
        const int outFd = s.master >= 0 ? s.master : s.client;
        if (!due.empty() && outFd >= 0) {
            size_t done = 0;
            while (done < due.size()) {
                const ssize_t n = write(outFd, due.data() + done, due.size() - done);
                if (n > 0) {
                    done += static_cast<size_t>(n);
                } else if (n < 0 && errno == EAGAIN) {
                    pollfd w{outFd, POLLOUT, 0};
                    poll(&w, 1, 100);
                } else {
                    break;
                }
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
    ClosePty(s);
    if (!s.link.empty()) unlink(s.link.c_str());
    if (controlFd >= 0) close(controlFd);
    if (!control.empty()) unlink(control.c_str());
    return 0;
}
