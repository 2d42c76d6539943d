// ombrix-pace: a serial line's pace between two pseudo-terminals. Bytes written to the
// pseudo-terminal it creates reach DEVICE (typically ombrix-sim's pseudo-terminal), and
// DEVICE's bytes come back, each direction one character after another at the wire time
// of the given baud rate, so a simulator answers as fast as a real line would let it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

const char kUsage[] =
    "usage: ombrix-pace --device DEVICE [--link PATH] [--baud N] [--bits N]\n"
    "\n"
    "Creates a pseudo-terminal (its path printed as \"pty: PATH\") and relays it to DEVICE,\n"
    "delaying every byte by its wire time: BITS bits (default 10, start + 8 data + stop)\n"
    "at N baud (default 9600, 1.04 ms a byte), in both directions.\n";

uint64_t NowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
}

// One direction of the line: bytes wait until the wire has carried the ones before them.
struct Lane {
    int from = -1;
    int to = -1;
    std::deque<std::pair<uint64_t, uint8_t>> queue;  // (due time, byte)
    uint64_t lineFreeAt = 0;

    void Take(const uint8_t* data, ssize_t n, uint64_t now, uint64_t charUs) {
        for (ssize_t i = 0; i < n; ++i) {
            lineFreeAt = std::max(lineFreeAt, now) + charUs;
            queue.emplace_back(lineFreeAt, data[i]);
        }
    }
    void Deliver(uint64_t now) {
        while (!queue.empty() && queue.front().first <= now) {
            const uint8_t b = queue.front().second;
            const ssize_t w = write(to, &b, 1);
            if (w < 0 && errno == EAGAIN) return;  // try again on the next turn
            queue.pop_front();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string device, link;
    long baud = 9600, bits = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--device" && hasValue) {
            device = argv[++i];
        } else if (a == "--link" && hasValue) {
            link = argv[++i];
        } else if (a == "--baud" && hasValue) {
            baud = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--bits" && hasValue) {
            bits = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (device.empty() || baud < 50 || baud > 4000000 || bits < 5 || bits > 16) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const uint64_t charUs = static_cast<uint64_t>((bits * 1000000 + baud - 1) / baud);

    const int far = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (far < 0) {
        std::fprintf(stderr, "ombrix-pace: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
        return 1;
    }
    MakeRaw(far);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master)) {
        std::fprintf(stderr, "ombrix-pace: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string slave = ptsname(master);
    // Held open so the master keeps working while no client has the line open.
    const int slaveKeep = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep < 0) return 1;
    MakeRaw(slaveKeep);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(slave.c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "ombrix-pace: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::printf("pty: %s\n", slave.c_str());
    std::fflush(stdout);

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    Lane lanes[2];
    lanes[0].from = master, lanes[0].to = far;  // host -> device
    lanes[1].from = far, lanes[1].to = master;  // device -> host
    uint8_t buf[4096];
    while (!gStop) {
        uint64_t now = NowUs();
        uint64_t next = now + 200000;
        for (Lane& l : lanes) {
            l.Deliver(now);
            if (!l.queue.empty()) next = std::min(next, std::max(l.queue.front().first, now + 50));
        }
        pollfd fds[2] = {{master, POLLIN, 0}, {far, POLLIN, 0}};
        const uint64_t waitUs = next - now;
        const timespec timeout{static_cast<time_t>(waitUs / 1000000u), static_cast<long>(waitUs % 1000000u) * 1000};
        if (ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) break;
        now = NowUs();
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & POLLIN) {
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) lanes[i].Take(buf, n, now, charUs);
            } else if (fds[i].revents & (POLLHUP | POLLERR)) {
                // The device went away (or a client hung up): wait instead of spinning.
                usleep(10000);
            }
        }
    }
    if (!link.empty()) unlink(link.c_str());
    close(slaveKeep);
    close(master);
    close(far);
    return 0;
}
