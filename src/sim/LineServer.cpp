#include "LineServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace ombrix::sim {

LineServer::LineServer(SimBus& bus, Clock& clock, double ticksPerRealMs)
    : bus_(bus), clock_(clock), ticksPerRealMs_(ticksPerRealMs > 0 ? ticksPerRealMs : 1.0) {}

LineServer::~LineServer() {
    ClosePty();
    if (client_ >= 0) ::close(client_);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (!link_.empty()) ::unlink(link_.c_str());
}

bool LineServer::OpenPty(const std::string& link) {
    pty_ = true;
    link_ = link;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return false;
    const char* name = ::ptsname(master_);
    if (!name) return false;
    slavePath_ = name;
    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep_ < 0) return false;
    // Raw from the start, so nothing is echoed before the client configures the line.
    termios t{};
    if (::tcgetattr(slaveKeep_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!link_.empty()) {
        ::unlink(link_.c_str());
        if (::symlink(name, link_.c_str()) != 0) return false;
    }
    return true;
}

void LineServer::ClosePty() {
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    master_ = slaveKeep_ = -1;
}

bool LineServer::OpenTcp(int port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 1) != 0) return false;
    socklen_t len = sizeof a;
    if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
    tcpPort_ = ntohs(a.sin_port);
    return true;
}

void LineServer::Drop() {
    if (master_ >= 0) ClosePty();
    if (client_ >= 0) {
        ::close(client_);
        client_ = -1;
    }
}

void LineServer::Restore() {
    if (pty_ && master_ < 0) OpenPty(link_);
}

void LineServer::Serve(std::vector<pollfd>& extra, int maxMs) {
    std::vector<pollfd> fds;
    const int lineFd = LineFd();
    if (lineFd >= 0) fds.push_back({lineFd, POLLIN, 0});
    const bool accepting = listenFd_ >= 0 && client_ < 0;
    if (accepting) fds.push_back({listenFd_, POLLIN, 0});
    const size_t own = fds.size();
    fds.insert(fds.end(), extra.begin(), extra.end());
    int timeout = maxMs;
    if (auto due = bus_.NextDue()) {
        const uint64_t now = clock_.TickMs();
        const double ticks = *due <= now ? 0.0 : static_cast<double>(*due - now);
        timeout = std::min(timeout, static_cast<int>(std::ceil(ticks / ticksPerRealMs_)));
    }
    ::poll(fds.data(), fds.size(), timeout);
    for (size_t i = 0; i < extra.size(); ++i) extra[i].revents = fds[own + i].revents;
    for (size_t i = 0; i < own; ++i) {
        const pollfd& p = fds[i];
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (p.fd == lineFd) {
            char buf[512];
            const ssize_t n = ::read(lineFd, buf, sizeof buf);
            if (n > 0) {
                const uint64_t now = clock_.TickMs();
                for (ssize_t k = 0; k < n; ++k) bus_.Receive(static_cast<uint8_t>(buf[k]), now);
            } else if ((n == 0 || (errno != EAGAIN && errno != EINTR)) && client_ >= 0) {
                // The client went away; the port waits for the next one.
                ::close(client_);
                client_ = -1;
            }
        } else if (p.fd == listenFd_) {
            client_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            // While the line is down, a device server hangs up on whoever connects.
            if (client_ >= 0 && bus_.LineDropped()) {
                ::close(client_);
                client_ = -1;
                continue;
            }
            // Replies go out as they fall due, as on a serial line, not gathered up.
            int one = 1;
            if (client_ >= 0) ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
    }
    WriteDue();
}

void LineServer::WriteDue() {
    const std::vector<uint8_t> due = bus_.TakeDue(clock_.TickMs());
    const int fd = LineFd();
    if (due.empty() || fd < 0) return;
    // A client that has hung up must not end the simulator with SIGPIPE.
    const bool socket = fd == client_;
    size_t done = 0;
    while (done < due.size()) {
        const ssize_t n = socket ? ::send(fd, due.data() + done, due.size() - done, MSG_NOSIGNAL)
                                 : ::write(fd, due.data() + done, due.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, 100) > 0) continue;
        break;  // gone, or nobody reads: the rest is lost as on a real line
    }
}

}  // namespace ombrix::sim
