#include "HttpFront.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace ombrix::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kLingerTime{2000};
constexpr size_t kLingerBytes = 8 * 1024 * 1024;
constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kWriteBuffer = 64 * 1024;
// A stream whose client has taken nothing for this long is given up.
constexpr std::chrono::seconds kStreamStall{60};
constexpr std::chrono::seconds kReportEvery{10};
constexpr std::chrono::milliseconds kListenPause{100};

int MsUntil(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1000));
}

// Waits for events on fd until the deadline; false on time-out.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// Where the header block in text ends (just past its blank line), searching from `from`;
// npos when it has not ended yet.
size_t HeaderEnd(const std::string& text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        if (i + 1 < text.size() && text[i + 1] == '\n') return i + 2;
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') return i + 3;
    }
    return std::string::npos;
}

std::string AddressText(const sockaddr_storage& sa, int* port) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (sa.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&sa);
        inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
        *port = ntohs(a->sin_port);
    } else if (sa.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&sa);
        *port = ntohs(a->sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr)) {
            inet_ntop(AF_INET, reinterpret_cast<const uint8_t*>(&a->sin6_addr) + 12, buf, sizeof buf);
        } else {
            inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
        }
    }
    return buf;
}

std::string Chunk(const std::string& text) {
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", text.size());
    return size + text + "\r\n";
}

const char* kHeaderTooLarge =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: application/json\r\nContent-Length: 51\r\n"
    "Connection: close\r\n\r\n{\"error\": \"the request header is larger than 16 KiB\"}";

}  // namespace

struct HttpFront::Conn {
    enum class State { kWaiting, kWorking, kStreaming, kLingering };
    int fd = -1;
    State state = State::kWaiting;
    std::string address;
    int port = 0;
    std::string localAddress;
    int localPort = 0;
    // Received and not yet taken by a request; [0, scanned) holds no end of a header block.
    std::string in;
    size_t scanned = 0;
    size_t headerEnd = 0;
    bool started = false;
    Clock::time_point since;
    Clock::time_point deadline;
    size_t requests = 0;
    size_t lingered = 0;
    // Set by the worker that served the request.
    bool closeAfter = false;
    bool linger = false;
    std::shared_ptr<EventStream> stream;
    std::string out;
    size_t outPos = 0;
    Clock::time_point lastWrite;
};

namespace {

struct RequestContext {
    bool closeAfter = false;
    bool bodyTooLarge = false;
    std::shared_ptr<EventStream> stream;
};
thread_local RequestContext* tRequest = nullptr;

// One request's view of its connection for cpp-httplib: the header block from what the
// front collected, the body read against a deadline and a byte budget, the response
// buffered and written in as few packets as it takes.
class ConnStream final : public httplib::Stream {
public:
    ConnStream(int fd, std::string& in, size_t headerEnd, size_t bodyBudget, const std::string& address, int port,
               const std::string& localAddress, int localPort, Clock::duration transfer)
        : fd_(fd), in_(in), headerEnd_(headerEnd), budget_(bodyBudget), address_(address), port_(port),
          localAddress_(localAddress), localPort_(localPort), transfer_(transfer),
          readDeadline_(Clock::now() + transfer) {}

    bool is_readable() const override { return pos_ < in_.size() || WaitFor(fd_, POLLIN, readDeadline_); }
    bool is_writable() const override { return !failed_; }

    ssize_t read(char* ptr, size_t size) override {
        const size_t limit = headerEnd_ + budget_;
        if (delivered_ >= limit) {
            tooLarge_ = true;
            if (tRequest) tRequest->bodyTooLarge = true;
            return -1;
        }
        if (pos_ == in_.size()) {
            if (pos_ > 0) {
                in_.clear();
                pos_ = 0;
            }
            const size_t want = std::min(kReadChunk, limit - delivered_);
            if (!WaitFor(fd_, POLLIN, readDeadline_)) return -1;
            char buf[kReadChunk];
            const ssize_t n = recv(fd_, buf, want, 0);
            if (n <= 0) return -1;
            in_.append(buf, static_cast<size_t>(n));
        }
        const size_t n = std::min({size, in_.size() - pos_, limit - delivered_});
        std::memcpy(ptr, in_.data() + pos_, n);
        pos_ += n;
        delivered_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (failed_) return -1;
        if (out_.empty()) writeDeadline_ = Clock::now() + transfer_;
        out_.append(ptr, size);
        if (out_.size() >= kWriteBuffer && !Flush()) return -1;
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = address_;
        port = port_;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = localAddress_;
        port = localPort_;
    }
    socket_t socket() const override { return fd_; }

    bool Flush() {
        size_t done = 0;
        while (!failed_ && done < out_.size()) {
            const ssize_t n = send(fd_, out_.data() + done, out_.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd_, POLLOUT, writeDeadline_)) {
                continue;
            } else {
                failed_ = true;
            }
        }
        out_.clear();
        return !failed_;
    }
    // What the request took leaves the buffer; what follows it (a pipelined request) stays.
    void Consume() { in_.erase(0, pos_); }
    bool Failed() const { return failed_; }
    bool TooLarge() const { return tooLarge_; }

private:
    int fd_;
    std::string& in_;
    size_t pos_ = 0;
    size_t delivered_ = 0;
    size_t headerEnd_;
    size_t budget_;
    const std::string& address_;
    int port_;
    const std::string& localAddress_;
    int localPort_;
    Clock::duration transfer_;
    Clock::time_point readDeadline_;
    Clock::time_point writeDeadline_;
    std::string out_;
    bool failed_ = false;
    bool tooLarge_ = false;
};

}  // namespace

bool EventStream::Send(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || overflow_) return false;
    const std::string chunk = Chunk(text);
    if (pending_.size() + chunk.size() > limit_) {
        overflow_ = true;
    } else {
        pending_ += chunk;
    }
    // Under the lock: an ended stream has let go of its front.
    if (front_) front_->StreamReady(id_);
    return !overflow_;
}

HttpFront::HttpFront(const FrontLimits& limits) : limits_(limits) {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.idleTime).count());
    set_keep_alive_max_count(limits_.requestsPerConnection);
    set_payload_max_length(limits_.maxBodyBytes);
}

HttpFront::~HttpFront() {
    Stop();
    if (listenFd_ >= 0) close(listenFd_);
    if (epollFd_ >= 0) close(epollFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void HttpFront::Remember(const std::string& method, const std::string& pattern) {
    routes_.push_back(RouteEntry{method, pattern, std::regex(pattern)});
}

HttpFront& HttpFront::Get(const std::string& pattern, Handler handler) {
    Remember("GET", pattern);
    httplib::Server::Get(pattern, std::move(handler));
    return *this;
}

// A body that outgrew the limit while it was read (chunked) is refused whole.
HttpFront& HttpFront::Post(const std::string& pattern, Handler handler) {
    Remember("POST", pattern);
    const size_t max = limits_.maxBodyBytes;
    httplib::Server::Post(pattern, [max, handler = std::move(handler)](const httplib::Request& req,
                                                                       httplib::Response& res) {
        if (req.body.size() > max) return static_cast<void>(res.status = 413);
        handler(req, res);
    });
    return *this;
}

HttpFront& HttpFront::Put(const std::string& pattern, Handler handler) {
    Remember("PUT", pattern);
    const size_t max = limits_.maxBodyBytes;
    httplib::Server::Put(pattern, [max, handler = std::move(handler)](const httplib::Request& req,
                                                                      httplib::Response& res) {
        if (req.body.size() > max) return static_cast<void>(res.status = 413);
        handler(req, res);
    });
    return *this;
}

std::string HttpFront::AllowedMethods(const std::string& path) const {
    std::set<std::string> methods;
    for (const RouteEntry& r : routes_) {
        if (!std::regex_match(path, r.regex)) continue;
        methods.insert(r.method);
        if (r.method == "GET") methods.insert("HEAD");
    }
    std::string out;
    for (const char* m : {"GET", "HEAD", "POST", "PUT"}) {
        if (methods.count(m)) out += (out.empty() ? "" : ", ") + std::string(m);
    }
    return out;
}

std::vector<HttpFront::Route> HttpFront::Routes() const {
    std::vector<Route> out;
    for (const RouteEntry& r : routes_) out.push_back(Route{r.method, r.pattern});
    return out;
}

bool HttpFront::Bind(const std::string& host, int port, std::string* why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int gai = getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (gai != 0) {
        *why = std::string("cannot resolve the address: ") + gai_strerror(gai);
        return false;
    }
    int error = 0;
    for (addrinfo* ai = found; ai && listenFd_ < 0; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        // Only so a restart finds the port free while old connections wind down; unlike
        // SO_REUSEPORT it never lets a second server listen beside a running one.
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, limits_.listenBacklog) != 0) {
            error = errno;
            close(fd);
            continue;
        }
        listenFd_ = fd;
    }
    freeaddrinfo(found);
    if (listenFd_ < 0) {
        *why = error == EADDRINUSE ? "the port is in use (another ombrix-server or another program listens on it)"
                                   : std::strerror(error);
        return false;
    }
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    AddressText(sa, &port_);
    return true;
}

void HttpFront::Watch(Conn& c, uint32_t events) {
    epoll_event e{};
    e.events = events;
    e.data.fd = c.fd;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &e) != 0) epoll_ctl(epollFd_, EPOLL_CTL_ADD, c.fd, &e);
}

void HttpFront::Unwatch(Conn& c) { epoll_ctl(epollFd_, EPOLL_CTL_DEL, c.fd, nullptr); }

void HttpFront::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void HttpFront::StreamReady(int id) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        readyStreams_.push_back(id);
    }
    Wake();
}

void HttpFront::Note(Refusal why) { refusals_[static_cast<int>(why)].fetch_add(1); }

void HttpFront::Serve() {
    {
        std::lock_guard<std::mutex> lock(serveMutex_);
        if (stopAll_.load() || listenFd_ < 0) return;
        serving_ = true;
    }
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = wakeFd_;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &e);
    e.data.fd = listenFd_;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &e);
    listening_ = true;
    nextReport_ = Clock::now() + kReportEvery;
    for (int i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Worker(); });
    Loop();
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        stopAll_ = true;
    }
    queueCv_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    {
        std::lock_guard<std::mutex> lock(serveMutex_);
        serving_ = false;
    }
    served_.notify_all();
}

void HttpFront::BeginStop() {
    stopping_ = true;
    Wake();
}

void HttpFront::Stop() {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        stopping_ = true;
        stopAll_ = true;
    }
    queueCv_.notify_all();
    Wake();
    std::unique_lock<std::mutex> lock(serveMutex_);
    served_.wait(lock, [this] { return !serving_; });
}

size_t HttpFront::StreamCount() const { return streams_.load(); }

void HttpFront::CloseAfterResponse() {
    if (tRequest) tRequest->closeAfter = true;
}

bool HttpFront::BodyTooLarge() { return tRequest && tRequest->bodyTooLarge; }

std::shared_ptr<EventStream> HttpFront::OpenEventStream(httplib::Response& res, std::function<void()> onEnd) {
    if (!tRequest || stopping_.load()) return nullptr;
    size_t open = streams_.load();
    do {
        if (open >= limits_.maxStreams) return nullptr;
    } while (!streams_.compare_exchange_weak(open, open + 1));
    auto s = std::make_shared<EventStream>();
    s->front_ = this;
    s->limit_ = limits_.streamBacklogBytes;
    s->onEnd_ = std::move(onEnd);
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        s->id_ = ++nextStreamId_;
    }
    tRequest->stream = s;
    // The head goes out as for any chunked reply; the front writes the chunks from then on.
    res.set_chunked_content_provider("text/event-stream", [](size_t, httplib::DataSink&) { return false; });
    return s;
}

void HttpFront::Loop() {
    std::vector<epoll_event> events(128);
    std::map<int, int> streamFds;  // stream id -> fd
    while (true) {
        if (stopping_.load() && listening_) {
            epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
            close(listenFd_);
            listenFd_ = -1;
            listening_ = false;
        }
        if (stopping_.load()) {
            std::vector<Conn*> idle;
            for (auto& [fd, c] : conns_)
                if (c->state != Conn::State::kWorking) idle.push_back(c.get());
            for (Conn* c : idle) Close(*c);
        }
        if (stopAll_.load()) {
            bool working = false;
            for (auto& [fd, c] : conns_) {
                if (c->state != Conn::State::kWorking) continue;
                // A worker blocked on this socket returns at once.
                shutdown(fd, SHUT_RDWR);
                working = true;
            }
            if (!working) break;
        }
        int timeout = 1000;
        for (auto& [fd, c] : conns_)
            if (c->state != Conn::State::kWorking) timeout = std::min(timeout, MsUntil(c->deadline));
        const int n = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeout);
        for (int i = 0; i < n; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            const uint32_t ev = events[static_cast<size_t>(i)].events;
            if (fd == wakeFd_) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
                continue;
            }
            if (fd == listenFd_) {
                Accept();
                continue;
            }
            const auto it = conns_.find(fd);
            if (it == conns_.end()) continue;
            Conn& c = *it->second;
            switch (c.state) {
                case Conn::State::kWaiting: ReadHeader(c); break;
                case Conn::State::kStreaming:
                    if (ev & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
                        // A stream client sends nothing; anything but silence is its goodbye.
                        char buf[512];
                        const ssize_t r = recv(fd, buf, sizeof buf, 0);
                        if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR) || (ev & (EPOLLHUP | EPOLLERR))) {
                            streamFds.erase(c.stream ? c.stream->id_ : 0);
                            Close(c);
                            break;
                        }
                    }
                    if (ev & EPOLLOUT) WriteStream(c);
                    break;
                case Conn::State::kLingering: {
                    char buf[16 * 1024];
                    ssize_t r = 0;
                    while ((r = recv(fd, buf, sizeof buf, 0)) > 0 && c.lingered < kLingerBytes)
                        c.lingered += static_cast<size_t>(r);
                    if (r == 0 || c.lingered >= kLingerBytes || (r < 0 && errno != EAGAIN && errno != EINTR)) Close(c);
                    break;
                }
                case Conn::State::kWorking: break;
            }
        }
        std::vector<Conn*> done;
        std::vector<int> ready;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            done.swap(done_);
            ready.swap(readyStreams_);
        }
        for (Conn* c : done) {
            const int fd = c->fd;
            Finished(c);
            const auto it = conns_.find(fd);
            if (it != conns_.end() && it->second->state == Conn::State::kStreaming) streamFds[it->second->stream->id_] = fd;
        }
        std::sort(ready.begin(), ready.end());
        ready.erase(std::unique(ready.begin(), ready.end()), ready.end());
        for (int id : ready) {
            const auto s = streamFds.find(id);
            if (s == streamFds.end()) continue;
            const auto it = conns_.find(s->second);
            if (it == conns_.end() || !it->second->stream || it->second->stream->id_ != id) {
                streamFds.erase(s);
                continue;
            }
            WriteStream(*it->second);
        }
        CheckDeadlines();
        for (auto s = streamFds.begin(); s != streamFds.end();) {
            const auto it = conns_.find(s->second);
            const bool alive = it != conns_.end() && it->second->stream && it->second->stream->id_ == s->first;
            s = alive ? std::next(s) : streamFds.erase(s);
        }
    }
}

bool HttpFront::MakeRoom(const std::string& address) {
    while (true) {
        const bool addressFull = perAddress_[address] >= limits_.maxPerAddress;
        if (!addressFull && conns_.size() < limits_.maxConnections) return true;
        Conn* oldest = nullptr;
        for (auto& [fd, c] : conns_) {
            if (c->state != Conn::State::kWaiting && c->state != Conn::State::kLingering) continue;
            if (addressFull && c->address != address) continue;
            if (!oldest || c->since < oldest->since) oldest = c.get();
        }
        if (!oldest) return false;
        Note(Refusal::kPushedOut);
        Close(*oldest);
    }
}

void HttpFront::Accept() {
    while (true) {
        sockaddr_storage sa{};
        socklen_t len = sizeof sa;
        const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory: stop taking connections for a moment
                // rather than spin on a listening socket that stays readable.
                Note(Refusal::kTooMany);
                epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
                listening_ = false;
                listenPausedUntil_ = Clock::now() + kListenPause;
            }
            return;
        }
        int port = 0;
        const std::string address = AddressText(sa, &port);
        if (stopping_.load() || !MakeRoom(address)) {
            Note(Refusal::kTooMany);
            close(fd);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Conn>();
        c->fd = fd;
        c->address = address;
        c->port = port;
        sockaddr_storage local{};
        socklen_t localLen = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) == 0)
            c->localAddress = AddressText(local, &c->localPort);
        c->since = Clock::now();
        c->deadline = c->since + limits_.idleTime;
        Conn& ref = *c;
        conns_[fd] = std::move(c);
        ++perAddress_[address];
        Watch(ref, EPOLLIN | EPOLLRDHUP);
    }
}

void HttpFront::ReadHeader(Conn& c) {
    char buf[4096];
    bool ended = false;
    while (c.in.size() <= limits_.maxHeaderBytes) {
        const size_t room = limits_.maxHeaderBytes + 1 - c.in.size();
        const ssize_t n = recv(c.fd, buf, std::min(sizeof buf, room), 0);
        if (n > 0) {
            if (!c.started) {
                c.started = true;
                c.deadline = Clock::now() + limits_.headerTime;
            }
            c.in.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        ended = true;
        break;
    }
    const size_t end = HeaderEnd(c.in, c.scanned);
    // A client that sent its request and then closed its side still gets the reply.
    if (ended && end == std::string::npos) return Close(c);
    if (end != std::string::npos && end <= limits_.maxHeaderBytes) {
        c.headerEnd = end;
        Dispatch(c);
        return;
    }
    if (c.in.size() > limits_.maxHeaderBytes) {
        Note(Refusal::kHeaderTooLarge);
        [[maybe_unused]] const ssize_t w = send(c.fd, kHeaderTooLarge, std::strlen(kHeaderTooLarge), MSG_NOSIGNAL);
        Linger(c);
        return;
    }
    c.scanned = c.in.size() > 2 ? c.in.size() - 2 : 0;
}

void HttpFront::Dispatch(Conn& c) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        // The workers may be gone already.
        if (!stopAll_.load()) {
            Unwatch(c);
            c.state = Conn::State::kWorking;
            work_.push_back(&c);
        }
    }
    if (c.state != Conn::State::kWorking) return Close(c);
    queueCv_.notify_one();
}

void HttpFront::Worker() {
    while (true) {
        Conn* c = nullptr;
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            queueCv_.wait(lock, [this] { return !work_.empty() || stopAll_.load(); });
            if (work_.empty()) return;
            c = work_.front();
            work_.pop_front();
        }
        ServeOne(*c);
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            done_.push_back(c);
        }
        Wake();
    }
}

void HttpFront::ServeOne(Conn& c) {
    RequestContext context;
    tRequest = &context;
    ConnStream stream(c.fd, c.in, c.headerEnd, limits_.maxBodyBytes + limits_.maxBodyBytes / 16, c.address, c.port,
                      c.localAddress, c.localPort, limits_.transferTime);
    const bool last = stopping_.load() || c.requests + 1 >= limits_.requestsPerConnection;
    bool clientCloses = false;
    const bool ok = process_request(stream, last, clientCloses, nullptr);
    tRequest = nullptr;
    ++c.requests;
    stream.Consume();
    c.scanned = 0;
    const bool flushed = stream.Flush();
    if (context.stream && flushed && !stopping_.load()) {
        c.stream = context.stream;
        c.closeAfter = false;
        return;
    }
    if (context.stream) {
        std::function<void()> onEnd;
        {
            std::lock_guard<std::mutex> lock(context.stream->mutex_);
            context.stream->ended_ = true;
            context.stream->front_ = nullptr;
            onEnd.swap(context.stream->onEnd_);
        }
        if (onEnd) onEnd();
        --streams_;
    }
    c.linger = context.closeAfter || stream.TooLarge();
    c.closeAfter = !ok || !flushed || clientCloses || last || c.linger;
}

void HttpFront::Finished(Conn* c) {
    if (c->stream) {
        c->state = Conn::State::kStreaming;
        c->lastWrite = Clock::now();
        c->deadline = c->lastWrite + limits_.streamKeepAlive;
        Watch(*c, EPOLLIN | EPOLLRDHUP);
        WriteStream(*c);
        return;
    }
    if (c->closeAfter || stopping_.load()) {
        if (c->linger) {
            Linger(*c);
        } else {
            Close(*c);
        }
        return;
    }
    c->state = Conn::State::kWaiting;
    c->since = Clock::now();
    c->started = !c->in.empty();
    c->deadline = c->since + (c->started ? limits_.headerTime : limits_.idleTime);
    const size_t end = HeaderEnd(c->in, 0);
    if (end != std::string::npos && end <= limits_.maxHeaderBytes) {
        c->headerEnd = end;
        Dispatch(*c);
        return;
    }
    c->scanned = c->in.size() > 2 ? c->in.size() - 2 : 0;
    Watch(*c, EPOLLIN | EPOLLRDHUP);
}

void HttpFront::WriteStream(Conn& c) {
    EventStream& s = *c.stream;
    bool overflow = false;
    if (c.outPos == c.out.size()) {
        std::lock_guard<std::mutex> lock(s.mutex_);
        c.out.swap(s.pending_);
        s.pending_.clear();
        c.outPos = 0;
        overflow = s.overflow_;
    }
    while (c.outPos < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL);
        if (n > 0) {
            c.outPos += static_cast<size_t>(n);
            c.lastWrite = Clock::now();
            c.deadline = c.lastWrite + limits_.streamKeepAlive;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        Close(c);
        return;
    }
    if (c.outPos == c.out.size()) {
        c.out.clear();
        c.outPos = 0;
        if (overflow) {
            Note(Refusal::kStreamStalled);
            Close(c);
            return;
        }
        Watch(c, EPOLLIN | EPOLLRDHUP);
    } else {
        Watch(c, EPOLLIN | EPOLLRDHUP | EPOLLOUT);
    }
}

void HttpFront::EndStream(Conn& c) {
    if (!c.stream) return;
    std::function<void()> onEnd;
    {
        std::lock_guard<std::mutex> lock(c.stream->mutex_);
        c.stream->ended_ = true;
        c.stream->front_ = nullptr;
        onEnd.swap(c.stream->onEnd_);
    }
    if (onEnd) onEnd();
    --streams_;
    // The last chunk, if the client takes it now; it is not waited for.
    if (c.outPos == c.out.size()) {
        [[maybe_unused]] const ssize_t n = send(c.fd, "0\r\n\r\n", 5, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    c.stream.reset();
}

void HttpFront::Close(Conn& c) {
    EndStream(c);
    Unwatch(c);
    close(c.fd);
    const auto a = perAddress_.find(c.address);
    if (a != perAddress_.end() && --a->second == 0) perAddress_.erase(a);
    conns_.erase(c.fd);
}

void HttpFront::Linger(Conn& c) {
    // The reply is out; what the client still sends is read and dropped for a moment, so
    // its side sees the reply rather than a reset.
    shutdown(c.fd, SHUT_WR);
    c.state = Conn::State::kLingering;
    c.since = Clock::now();
    c.deadline = c.since + kLingerTime;
    c.lingered = 0;
    Watch(c, EPOLLIN | EPOLLRDHUP);
}

void HttpFront::CheckDeadlines() {
    const auto now = Clock::now();
    if (!listening_ && listenFd_ >= 0 && !stopping_.load() && now >= listenPausedUntil_) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = listenFd_;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &e);
        listening_ = true;
    }
    std::vector<Conn*> late;
    for (auto& [fd, c] : conns_)
        if (c->state != Conn::State::kWorking && now >= c->deadline) late.push_back(c.get());
    for (Conn* c : late) {
        switch (c->state) {
            case Conn::State::kWaiting:
                if (c->started) Note(Refusal::kHeaderTooSlow);
                Close(*c);
                break;
            case Conn::State::kStreaming:
                if (c->outPos < c->out.size() && now - c->lastWrite >= kStreamStall) {
                    Note(Refusal::kStreamStalled);
                    Close(*c);
                } else {
                    c->deadline = now + limits_.streamKeepAlive;
                    c->stream->Send(": keep-alive\n\n");
                }
                break;
            default: Close(*c);
        }
    }
    if (now < nextReport_) return;
    nextReport_ = now + kReportEvery;
    static const char* const kWhy[] = {
        "too many connections (from one address or in all)", "a request header over the size limit",
        "a request header not complete in time", "pushed out by newer connections from the same address",
        "event streams whose client stopped reading"};
    for (int i = 0; i < static_cast<int>(Refusal::kCount); ++i) {
        const uint64_t count = refusals_[i].exchange(0);
        if (count && log) log("http: " + std::to_string(count) + " connection(s) closed: " + kWhy[i]);
    }
}

}  // namespace ombrix::server
