#include "service/SeatHost.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "data/JsonInput.h"
#include "link/Commands.h"
#include "service/EventHub.h"

namespace ombrix {
namespace {

using nlohmann::json;

uint64_t LeaseClockMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// A greeting is a few names; more is no greeting.
constexpr size_t kHelloMax = 1024;
constexpr size_t kNameMax = 64;
// A seat that does not take what it is sent for this long is gone.
constexpr int kSendTimeoutSeconds = 5;
// Without a descriptor to wait on, the line is looked at this often while lent.
constexpr int kLinePollMs = 1;

bool SendAll(int fd, const std::vector<uint8_t>& m) {
    size_t done = 0;
    while (done < m.size()) {
        const ssize_t w = ::send(fd, m.data() + done, m.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        return false;
    }
    return true;
}

bool SendText(int fd, uint8_t type, const std::string& text) { return SendAll(fd, EncodeSeatMessage(type, text)); }

// Reads what is waiting; false once the seat has hung up or spoiled its stream.
bool ReadWaiting(int fd, SeatReader& reader) {
    uint8_t buf[4096];
    for (;;) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r > 0) {
            reader.Feed(buf, static_cast<size_t>(r));
            if (reader.Spoiled()) return false;
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        return r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Compares in time that does not depend on where they differ.
bool SameToken(const std::string& given, const std::string& token) {
    unsigned diff = given.size() == token.size() ? 0u : 1u;
    for (size_t i = 0; i < token.size(); ++i) diff |= static_cast<unsigned>(i < given.size() ? given[i] ^ token[i] : 1);
    return diff == 0;
}

std::string SeatUserName(uid_t uid) {
    passwd pw{};
    passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

}  // namespace

struct SeatHost::Seat {
    int fd = -1;
    int id = 0;
    json who;  // the host's mutex
    std::string since;
    std::atomic<uint64_t> exchanges{0};
    std::atomic<uint64_t> leasedAt{0};  // 0 while it does not hold the line
    std::atomic<bool> finished{false};
    std::thread thread;
    SeatReader reader;
    std::atomic<bool> greeted{false};
    // Reached over TCP: the greeting names who it is, and carries the token.
    bool remote = false;
    std::string peer;
};

SeatHost::SeatHost(Link& link, SeatHostOptions options, Hooks hooks)
    : link_(link), options_(options), hooks_(std::move(hooks)) {}

SeatHost::~SeatHost() { Stop(); }

void SeatHost::Log(const std::string& line) {
    if (hooks_.log) hooks_.log(line);
}

bool SeatHost::Listen(const std::string& socketPath, std::string* why) {
    sockaddr_un addr{};
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) {
        *why = "this line has no place for a seat";
        return false;
    }
    struct stat st {};
    if (::lstat(socketPath.c_str(), &st) == 0) {
        // Holding the line proves that no other service serves it: a socket there is a
        // dead one's. Anything else is not ours to remove.
        if (!S_ISSOCK(st.st_mode)) {
            *why = socketPath + " is in the way (not a socket)";
            return false;
        }
        ::unlink(socketPath.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(socketPath.c_str(), 0660) != 0 || ::listen(fd, 8) != 0 || ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *why = socketPath + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    path_ = socketPath;
    acceptor_ = std::thread([this] { AcceptLoop(); });
    Log("seats open at " + path_);
    return true;
}

bool SeatHost::ListenTcp(const std::string& host, int port, const std::string& token, std::string* why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) {
        *why = "no such address " + Excerpt(host);
        return false;
    }
    int fd = ::socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, res->ai_addr, res->ai_addrlen) != 0 || ::listen(fd, 8) != 0) {
        *why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        ::freeaddrinfo(res);
        return false;
    }
    ::freeaddrinfo(res);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    tcpPort_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    token_ = token;
    tcpFd_ = fd;
    // The acceptor looks at it from its next wake-up on.
    const char byte = 0;
    (void)!::write(wake_[1], &byte, 1);
    Log("seats open at ombrix://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
        std::to_string(tcpPort_) + (token.empty() ? "" : " (token required)"));
    return true;
}

void SeatHost::Stop() {
    if (listenFd_ < 0 || stop_.exchange(true)) return;
    const char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
    if (acceptor_.joinable()) acceptor_.join();
    std::list<std::shared_ptr<Seat>> seats;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seats.swap(seats_);
    }
    // Its thread may be writing to it: the seat sees the connection end, not a word
    // spliced into another. Wakes its thread, wherever it waits on the seat.
    for (const auto& s : seats) ::shutdown(s->fd, SHUT_RDWR);
    for (const auto& s : seats) {
        if (s->thread.joinable()) s->thread.join();
        ::close(s->fd);
    }
    ::close(listenFd_);
    if (tcpFd_.load() >= 0) ::close(tcpFd_.load());
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::unlink(path_.c_str());
}

void SeatHost::ReapFinished() {
    std::list<std::shared_ptr<Seat>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = seats_.begin(); it != seats_.end();) {
            if ((*it)->finished) {
                done.push_back(*it);
                it = seats_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& s : done) {
        if (s->thread.joinable()) s->thread.join();
        ::close(s->fd);
    }
}

void SeatHost::AcceptLoop() {
    pthread_setname_np(pthread_self(), "ombrix-seats");
    while (!stop_) {
        const int tcpFd = tcpFd_.load();
        pollfd p[3] = {{wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}, {tcpFd, POLLIN, 0}};
        if (::poll(p, tcpFd >= 0 ? 3 : 2, 1000) < 0 && errno != EINTR) break;
        if (p[0].revents & POLLIN) {
            char drain[64];
            (void)!::read(wake_[0], drain, sizeof drain);
        }
        ReapFinished();
        if (stop_) break;
        const bool remote = tcpFd >= 0 && (p[2].revents & POLLIN);
        if (!(p[1].revents & POLLIN) && !remote) continue;
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        const int fd = ::accept4(remote ? tcpFd : listenFd_, reinterpret_cast<sockaddr*>(&from), &fromLen,
                                 SOCK_CLOEXEC);
        if (fd < 0) continue;
        timeval tv{kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        auto seat = std::make_shared<Seat>();
        seat->fd = fd;
        seat->remote = remote;
        if (remote) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            char host[NI_MAXHOST] = {};
            if (::getnameinfo(reinterpret_cast<sockaddr*>(&from), fromLen, host, sizeof host, nullptr, 0,
                              NI_NUMERICHOST) == 0)
                seat->peer = host;
        }
        seat->since = IsoUtcTime(std::chrono::system_clock::now());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (seats_.size() >= options_.maxSeats) {
                seat.reset();
            } else {
                seat->id = nextId_++;
                seats_.push_back(seat);
            }
        }
        if (!seat) {
            SendText(fd, seat::kClosing, "every seat of the service is taken");
            ::close(fd);
            continue;
        }
        seat->thread = std::thread([this, seat] { Serve(seat); });
    }
}

bool SeatHost::Greet(Seat& s, const SeatMessage& hello) {
    json doc;
    if (hello.type != seat::kHello || hello.payload.size() > kHelloMax ||
        !ReadJsonText(hello.Text(), &doc, nullptr) || !doc.is_object()) {
        SendText(s.fd, seat::kClosing, "a seat begins with its greeting");
        return false;
    }
    auto name = [&](const char* key) {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_string() ? Excerpt(it->get<std::string>(), kNameMax) : std::string();
    };
    json who = {{"id", s.id}, {"program", name("program")}, {"user", name("user")}, {"host", name("host")}, {"pid", 0}};
    if (s.remote) {
        const auto given = doc.find("token");
        if (!token_.empty() &&
            !(given != doc.end() && given->is_string() && SameToken(given->get<std::string>(), token_))) {
            SendText(s.fd, seat::kClosing, "this seat needs the server's token (OMBRIX_TOKEN)");
            Log("seat " + std::to_string(s.id) + " from " + s.peer + " refused: no or a wrong token");
            return false;
        }
        const auto pid = doc.find("pid");
        if (pid != doc.end() && pid->is_number_integer()) who["pid"] = pid->get<long>();
        who["address"] = s.peer;
    }
    // The system says who is at the other end of a local socket; a greeting only names
    // the program.
    ucred cred{};
    socklen_t len = sizeof cred;
    if (!s.remote && ::getsockopt(s.fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) {
        who["pid"] = static_cast<long>(cred.pid);
        who["user"] = SeatUserName(cred.uid);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s.who = who;
    }
    const json welcome = {{"line", LineName(link_)},
                          {"lease_cap_ms", options_.leaseCapMs},
                          {"quiet_ms", options_.quietMs},
                          {"seat", s.id}};
    s.greeted = SendText(s.fd, seat::kWelcome, welcome.dump());
    Log("seat " + std::to_string(s.id) + " taken by " + who["program"].get<std::string>() + " (user " +
        who["user"].get<std::string>() + ", process " + std::to_string(who["pid"].get<long>()) + ")");
    return s.greeted;
}

void SeatHost::Serve(const std::shared_ptr<Seat>& seatPtr) {
    Seat& s = *seatPtr;
    pthread_setname_np(pthread_self(), "ombrix-seat");
    std::string why = "it left";
    bool open = true;
    const uint64_t greetBy = LeaseClockMs() + options_.quietMs;
    while (open && !stop_) {
        pollfd p{s.fd, POLLIN, 0};
        const int r = ::poll(&p, 1, s.greeted ? 1000 : static_cast<int>(options_.quietMs));
        if (r < 0 && errno != EINTR) break;
        if (!s.greeted && LeaseClockMs() >= greetBy) {
            why = "it never said who it is";
            break;
        }
        if (r <= 0) continue;
        if (!ReadWaiting(s.fd, s.reader)) break;
        while (open) {
            const std::optional<SeatMessage> m = s.reader.Next();
            if (!m) break;
            if (!s.greeted) {
                if (!Greet(s, *m)) {
                    why = "its greeting was not one";
                    open = false;
                }
                continue;
            }
            switch (m->type) {
                case seat::kLease: open = Lend(s); break;
                case seat::kRelease:
                case seat::kPing: break;
                case seat::kWrite:
                    ++refused_;
                    open = SendText(s.fd, seat::kRefused, "the line is not lent to this seat");
                    break;
                default:
                    why = "it sent a message no seat sends";
                    SendText(s.fd, seat::kClosing, why);
                    open = false;
                    break;
            }
        }
        if (s.reader.Spoiled()) {
            why = "it sent a message longer than any";
            open = false;
        }
    }
    Log("seat " + std::to_string(s.id) + " closed: " + why);
    s.finished = true;
    const char byte = 0;
    (void)!::write(wake_[1], &byte, 1);
}

bool SeatHost::Lend(Seat& s) {
    link_.lock.AcquireForeground();
    std::vector<SeatChange> changes;
    const bool open = Relay(s, &changes);
    link_.lock.ReleaseForeground(false);
    // Told once the line is free again: publishing reads the projector afresh.
    json who;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        who = s.who;
    }
    for (SeatChange& c : changes) {
        c.seat = who;
        if (hooks_.changed) hooks_.changed(c);
    }
    return open;
}

bool SeatHost::Relay(Seat& s, std::vector<SeatChange>* told) {
    SerialDevice* device = link_.device.get();
    if (stop_ || !device) {
        return SendText(s.fd, seat::kLeaseEnded, stop_ ? "the service is stopping" : "the line is closed") && !stop_;
    }
    ++leases_;
    const uint64_t start = LeaseClockMs();
    s.leasedAt = start;
    if (!SendText(s.fd, seat::kLeased, std::string())) {
        s.leasedAt = 0;
        return false;
    }
    const uint64_t capAt = start + options_.leaseCapMs;
    uint64_t heardAt = start;
    std::vector<SeatChange> changes;
    bool awaitingAck = false;
    bool dataRunAllowed = false;
    RequestFrame announced;  // the block write whose data run may follow
    auto changeOf = [](const RequestFrame& f) {
        SeatChange c;
        c.address = f.b[1];
        c.command = f.b[2];
        for (size_t i = 0; i < 4; ++i) c.parameters[i] = f.b[3 + i];
        return c;
    };
    bool open = true;
    std::string ended;  // why the service ended the lease; empty when the seat did
    const int lineFd = device->WaitHandle();
    std::vector<uint8_t> heard;
    while (open && !stop_) {
        heard.clear();
        while (heard.size() < kSeatMaxPayload && device->InputCount() > 0) {
            const int b = device->GetByte();
            if (b < 0) break;
            heard.push_back(static_cast<uint8_t>(b));
        }
        if (!heard.empty()) {
            // The first byte after a change is its acknowledgement, or not.
            if (awaitingAck && heard[0] != kAck) changes.pop_back();
            awaitingAck = false;
            if (!SendAll(s.fd, EncodeSeatMessage(seat::kData, heard.data(), heard.size()))) {
                open = false;
                break;
            }
        }
        if (device->LineDropped()) {
            ended = "the line was lost";
            break;
        }
        const uint64_t now = LeaseClockMs();
        if (now >= capAt) {
            ended = "the lease reached the service's cap of " + std::to_string(options_.leaseCapMs / 1000) + " s";
            break;
        }
        if (now >= heardAt + options_.quietMs) {
            ended = "the seat fell quiet";
            break;
        }
        pollfd p[2] = {{s.fd, POLLIN, 0}, {lineFd, POLLIN, 0}};
        const uint64_t limit = std::min(capAt, heardAt + options_.quietMs) - now;
        const int wait = lineFd >= 0 ? static_cast<int>(std::min<uint64_t>(limit, 1000)) : kLinePollMs;
        if (::poll(p, lineFd >= 0 ? 2 : 1, wait) < 0 && errno != EINTR) break;
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!ReadWaiting(s.fd, s.reader)) {
            open = false;
            break;
        }
        heardAt = LeaseClockMs();
        bool released = false;
        while (open && !released) {
            const std::optional<SeatMessage> m = s.reader.Next();
            if (!m) break;
            switch (m->type) {
                case seat::kWrite: {
                    RequestFrame frame;
                    const bool isFrame = ParseWireRequest(m->payload.data(), m->payload.size(), &frame);
                    if (!isFrame && !(dataRunAllowed && !m->payload.empty())) {
                        ++refused_;
                        open = SendText(s.fd, seat::kRefused, "not a whole request frame");
                        break;
                    }
                    dataRunAllowed = isFrame && frame.b[2] == kCmdWriteBlockData;
                    if (dataRunAllowed) announced = frame;
                    const bool written = device->PutBytes(m->payload.data(), m->payload.size());
                    if (isFrame) {
                        ++exchanges_;
                        ++s.exchanges;
                        if (RequestChangesProjector(frame.b[2])) {
                            if (hooks_.touched) hooks_.touched(frame.b[1]);
                            if (written && frame.b[2] != kCmdWriteBlockData) {
                                changes.push_back(changeOf(frame));
                                awaitingAck = true;
                            }
                        }
                    } else if (written) {
                        // A block write is done when its data run is acknowledged.
                        changes.push_back(changeOf(announced));
                        awaitingAck = true;
                    }
                    open = SendText(s.fd, written ? seat::kWritten : seat::kRefused,
                                    written ? std::string() : "the line took nothing");
                    break;
                }
                case seat::kRelease: released = true; break;
                case seat::kLease: open = SendText(s.fd, seat::kLeased, std::string()); break;
                case seat::kPing: break;
                default:
                    SendText(s.fd, seat::kClosing, "it sent a message no seat sends");
                    open = false;
                    break;
            }
        }
        if (released) break;
        // A message longer than any: nothing after it can be read as what was meant.
        if (s.reader.Spoiled()) open = false;
    }
    if (awaitingAck) changes.pop_back();
    s.leasedAt = 0;
    if (!ended.empty()) {
        Log("seat " + std::to_string(s.id) + ": " + ended);
        open = SendText(s.fd, seat::kLeaseEnded, ended) && open;
    }
    *told = std::move(changes);
    return open && !stop_;
}

json SeatHost::Json() const {
    json seats = json::array();
    const uint64_t now = LeaseClockMs();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& s : seats_) {
        if (s->finished || !s->greeted) continue;
        json j = s->who;
        j["since"] = s->since;
        j["exchanges"] = s->exchanges.load();
        const uint64_t at = s->leasedAt.load();
        if (at) j["lease_seconds"] = static_cast<double>(now - at) / 1000.0;
        seats.push_back(j);
    }
    return json{{"socket", path_}, {"lease_cap_seconds", options_.leaseCapMs / 1000.0}, {"seats", seats}};
}

SeatCounts SeatHost::Counts() const {
    SeatCounts c;
    c.exchanges = exchanges_;
    c.leases = leases_;
    c.refused = refused_;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& s : seats_)
        if (!s->finished && s->greeted) ++c.seats;
    return c;
}

}  // namespace ombrix
