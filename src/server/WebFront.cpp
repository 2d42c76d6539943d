#include "WebFront.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace ombrix::server {

namespace {

using Clock = std::chrono::steady_clock;

// What a body past the limit may still send, read and dropped, before its connection is
// simply closed: enough for the 413 to reach an honest client that sent a little too much.
constexpr size_t kDiscardBytes = 4 * 1024 * 1024;
constexpr std::chrono::seconds kReportEvery{10};
constexpr std::chrono::seconds kHangUpCheck{1};
// Room beside the header block in a connection's memory (its parsed header list).
constexpr size_t kHeaderListBytes = 4 * 1024;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string AddressText(const sockaddr* sa, int* port) {
    char buf[INET6_ADDRSTRLEN] = {};
    int p = 0;
    if (sa && sa->sa_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(sa);
        inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
        p = ntohs(a->sin_port);
    } else if (sa && sa->sa_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(sa);
        p = ntohs(a->sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr)) {
            inet_ntop(AF_INET, reinterpret_cast<const uint8_t*>(&a->sin6_addr) + 12, buf, sizeof buf);
        } else {
            inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
        }
    }
    if (port) *port = p;
    return buf;
}

// A streamed body: pieces asked for as the client takes them.
struct Provided {
    std::function<bool(std::string&)> next;
    std::string buffer;
    size_t pos = 0;
    bool last = false;
};

thread_local void* tExchange = nullptr;

}  // namespace

struct WebFront::Exchange {
    MHD_Connection* connection = nullptr;
    HttpRequest req;
    HttpResponse res;
    bool closeAfter = false;
    bool tooLarge = false;
    // Refused, the refusal written; its body is read and dropped, then the connection closes.
    bool refused = false;
    size_t discarded = 0;
    bool dispatched = false;
    bool done = false;
    bool queued = false;
    std::shared_ptr<EventStream> stream;
};

struct FrontCallbacks {
    static MHD_Result Request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char* upload, size_t* uploadSize, void** context) {
        return static_cast<WebFront*>(cls)->Request(connection, url, method, upload, uploadSize, context) == 1
                   ? MHD_YES
                   : MHD_NO;
    }
    static void Completed(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
        static_cast<WebFront*>(cls)->Completed(static_cast<WebFront::Exchange*>(*context));
        *context = nullptr;
    }
    static void Connection(void* cls, MHD_Connection*, void**, MHD_ConnectionNotificationCode what) {
        auto* front = static_cast<WebFront*>(cls);
        if (what == MHD_CONNECTION_NOTIFY_STARTED) {
            ++front->connections_;
        } else {
            --front->connections_;
        }
    }
    static MHD_Result Header(void* cls, MHD_ValueKind, const char* key, const char* value) {
        static_cast<HttpRequest*>(cls)->headers.emplace(Lower(key ? key : ""), value ? value : "");
        return MHD_YES;
    }
    static MHD_Result Param(void* cls, MHD_ValueKind, const char* key, const char* value) {
        static_cast<HttpRequest*>(cls)->params.emplace(key ? key : "", value ? value : "");
        return MHD_YES;
    }
    // An event stream's next bytes; with none queued the connection sleeps until Send.
    static ssize_t ReadStream(void* cls, uint64_t, char* buf, size_t max) {
        auto* s = static_cast<EventStream*>(cls);
        std::lock_guard<std::mutex> lock(s->mutex_);
        if (!s->pending_.empty()) {
            const size_t n = std::min(max, s->pending_.size());
            std::memcpy(buf, s->pending_.data(), n);
            s->pending_.erase(0, n);
            return static_cast<ssize_t>(n);
        }
        if (s->ended_ || s->overflow_) return MHD_CONTENT_READER_END_OF_STREAM;
        s->suspended_ = true;
        MHD_suspend_connection(s->connection_);
        return 0;
    }
    static ssize_t ReadProvided(void* cls, uint64_t, char* buf, size_t max) {
        auto* p = static_cast<Provided*>(cls);
        while (p->pos == p->buffer.size()) {
            if (p->last) return MHD_CONTENT_READER_END_OF_STREAM;
            p->buffer.clear();
            p->pos = 0;
            p->last = !p->next(p->buffer);
        }
        const size_t n = std::min(max, p->buffer.size() - p->pos);
        std::memcpy(buf, p->buffer.data() + p->pos, n);
        p->pos += n;
        return static_cast<ssize_t>(n);
    }
    static void FreeProvided(void* cls) { delete static_cast<Provided*>(cls); }
};

bool HttpRequest::has_header(const std::string& name) const { return headers.count(Lower(name)) != 0; }

std::string HttpRequest::get_header_value(const std::string& name) const {
    const auto it = headers.find(Lower(name));
    return it == headers.end() ? std::string() : it->second;
}

size_t HttpRequest::get_header_value_count(const std::string& name) const { return headers.count(Lower(name)); }

std::string HttpRequest::get_param_value(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

void HttpResponse::set_header(const std::string& name, const std::string& value) {
    for (auto& [k, v] : headers) {
        if (Lower(k) == Lower(name)) {
            v = value;
            return;
        }
    }
    headers.emplace_back(name, value);
}

bool HttpResponse::has_header(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return Lower(h.first) == Lower(name); });
}

bool EventStream::Send(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || overflow_ || closed_) return false;
    if (pending_.size() + text.size() > limit_) {
        // The client stopped reading: the stream ends, what is queued is dropped.
        overflow_ = true;
        pending_.clear();
    } else {
        pending_ += text;
    }
    if (suspended_) {
        suspended_ = false;
        MHD_resume_connection(connection_);
    }
    return !overflow_;
}

void EventStream::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    if (suspended_ && !closed_) {
        suspended_ = false;
        MHD_resume_connection(connection_);
    }
}

WebFront::WebFront(const FrontLimits& limits) : limits_(limits) {}

WebFront::~WebFront() {
    Stop();
    if (listenFd_ >= 0) close(listenFd_);
}

WebFront& WebFront::Add(const std::string& method, const std::string& pattern, Handler handler, Run run) {
    routes_.push_back(std::make_unique<RouteEntry>(RouteEntry{method, pattern, std::regex(pattern), std::move(handler), run}));
    return *this;
}

WebFront& WebFront::Get(const std::string& pattern, Handler handler, Run run) {
    return Add("GET", pattern, std::move(handler), run);
}
WebFront& WebFront::Post(const std::string& pattern, Handler handler, Run run) {
    return Add("POST", pattern, std::move(handler), run);
}
WebFront& WebFront::Put(const std::string& pattern, Handler handler, Run run) {
    return Add("PUT", pattern, std::move(handler), run);
}

std::string WebFront::AllowedMethods(const std::string& path) const {
    std::set<std::string> methods;
    for (const auto& r : routes_) {
        if (!std::regex_match(path, r->regex)) continue;
        methods.insert(r->method);
        if (r->method == "GET") methods.insert("HEAD");
    }
    std::string out;
    for (const char* m : {"GET", "HEAD", "POST", "PUT"}) {
        if (methods.count(m)) out += (out.empty() ? "" : ", ") + std::string(m);
    }
    return out;
}

std::vector<WebFront::Route> WebFront::Routes() const {
    std::vector<Route> out;
    for (const auto& r : routes_) out.push_back(Route{r->method, r->pattern});
    return out;
}

const WebFront::RouteEntry* WebFront::Match(const std::string& method, const std::string& path,
                                            std::vector<std::string>* groups) const {
    const std::string m = method == "HEAD" ? "GET" : method;
    // The first route registered that matches wins, as routes are listed most specific first.
    for (const auto& r : routes_) {
        std::smatch found;
        if (r->method != m || !std::regex_match(path, found, r->regex)) continue;
        groups->clear();
        for (const auto& g : found) groups->push_back(g.str());
        return r.get();
    }
    return nullptr;
}

bool WebFront::Bind(const std::string& host, int port, std::string* why) {
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
    AddressText(reinterpret_cast<const sockaddr*>(&sa), &port_);
    return true;
}

void WebFront::Serve() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopAll_ || listenFd_ < 0 || serving_) return;
        serving_ = true;
    }
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                           (sa.ss_family == AF_INET6 ? MHD_USE_IPv6 : 0);
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &FrontCallbacks::Request, this,
        MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(listenFd_),
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits_.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(limits_.maxPerAddress),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(limits_.idleTime.count()),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(limits_.maxHeaderBytes + kHeaderListBytes),
        MHD_OPTION_NOTIFY_COMPLETED, &FrontCallbacks::Completed, this,
        MHD_OPTION_NOTIFY_CONNECTION, &FrontCallbacks::Connection, this,
        MHD_OPTION_STRICT_FOR_CLIENT, 0,
        MHD_OPTION_END);
    if (!daemon_) {
        if (log) log("http: the HTTP service could not start");
    } else {
        for (int i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Worker(); });
        ticker_ = std::thread([this] { Ticker(); });
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return stopAll_; });
    }
    Teardown();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        serving_ = false;
    }
    cv_.notify_all();
}

void WebFront::BeginStop() {
    stopping_ = true;
    std::vector<std::shared_ptr<EventStream>> streams;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        streams = streams_;
    }
    for (const auto& s : streams) s->End();
    // Connecting clients are refused from now on rather than left waiting.
    if (daemon_) {
        const MHD_socket fd = MHD_quiesce_daemon(daemon_);
        if (fd == listenFd_ && listenFd_ >= 0) {
            close(listenFd_);
            listenFd_ = -1;
        }
    }
}

void WebFront::Stop() {
    stopping_ = true;
    std::unique_lock<std::mutex> lock(mutex_);
    stopAll_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !serving_; });
}

void WebFront::Teardown() {
    stopping_ = true;
    // Requests not started yet are answered now; the running ones end with the host.
    std::deque<Job> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        left.swap(jobs_);
    }
    for (const Job& j : left) {
        j.exchange->res = HttpResponse{};
        j.exchange->res.status = 503;
        j.exchange->res.set_header("Retry-After", "5");
        j.exchange->res.set_content("{\"error\": \"the service is stopping\"}\n", "application/json");
        j.exchange->done = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --suspendedJobs_;
        }
        MHD_resume_connection(j.exchange->connection);
    }
    cv_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    if (ticker_.joinable()) ticker_.join();
    std::vector<std::shared_ptr<EventStream>> streams;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        streams = streams_;
    }
    for (const auto& s : streams) s->End();
    if (daemon_) {
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
        // The daemon closed the listening socket it was given.
        listenFd_ = -1;
    }
}

void WebFront::Worker() {
    while (true) {
        Job job{};
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [this] { return !jobs_.empty() || stopAll_; });
            if (jobs_.empty()) return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        ++workersBusy_;
        Exchange& x = *job.exchange;
        tExchange = &x;
        try {
            job.route->handler(x.req, x.res);
        } catch (const std::exception&) {
            x.res = HttpResponse{};
            x.res.status = 500;
            x.res.set_content("{\"error\": \"internal error\"}\n", "application/json");
        }
        tExchange = nullptr;
        --workersBusy_;
        x.done = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --suspendedJobs_;
        }
        MHD_resume_connection(x.connection);
    }
}

void WebFront::Ticker() {
    auto nextKeepAlive = Clock::now() + limits_.streamKeepAlive;
    auto nextReport = Clock::now() + kReportEvery;
    std::map<std::string, uint64_t> reported;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopAll_) {
        cv_.wait_until(lock, Clock::now() + kHangUpCheck, [this] { return stopAll_; });
        if (stopAll_) break;
        const auto now = Clock::now();
        {
            // A sleeping stream's connection is not watched by the loop: a client that hung
            // up is noticed here, not at the next keep-alive.
            const auto streams = streams_;
            lock.unlock();
            for (const auto& s : streams) {
                bool gone = false;
                {
                    std::lock_guard<std::mutex> streamLock(s->mutex_);
                    pollfd p{s->fd_, POLLRDHUP, 0};
                    gone = s->suspended_ && s->fd_ >= 0 && poll(&p, 1, 0) == 1 &&
                           (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
                }
                if (gone) s->End();
            }
            lock.lock();
        }
        if (now >= nextKeepAlive) {
            nextKeepAlive = now + limits_.streamKeepAlive;
            const auto streams = streams_;
            lock.unlock();
            for (const auto& s : streams) s->Send(": keep-alive\n\n");
            lock.lock();
        }
        if (now >= nextReport) {
            nextReport = now + kReportEvery;
            std::vector<std::string> lines;
            for (const auto& [why, count] : refused_) {
                if (count == reported[why]) continue;
                lines.push_back("http: " + std::to_string(count - reported[why]) + " request(s) refused: " + why);
                reported[why] = count;
            }
            lock.unlock();
            for (const std::string& line : lines)
                if (log) log(line);
            lock.lock();
        }
    }
}

void WebFront::NoteRefusal(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++refused_[reason];
}

WebFront::Counts WebFront::GetCounts() const {
    Counts c;
    c.connections = connections_.load();
    c.workersBusy = workersBusy_.load();
    std::lock_guard<std::mutex> lock(mutex_);
    c.streams = streams_.size();
    c.refused = refused_;
    return c;
}

std::shared_ptr<EventStream> WebFront::OpenEventStream(const HttpRequest& req, HttpResponse& res,
                                                       std::function<void()> onEnd) {
    auto* x = static_cast<Exchange*>(tExchange);
    if (!x || &x->req != &req || stopping_.load()) return nullptr;
    auto s = std::make_shared<EventStream>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // One address never holds more than half of them.
        const size_t perAddress = std::min(limits_.maxStreamsPerAddress, std::max<size_t>(1, limits_.maxStreams / 2));
        if (streams_.size() >= limits_.maxStreams || streamsPerAddress_[req.remote_addr] >= perAddress) {
            ++refused_[streams_.size() >= limits_.maxStreams ? "streams" : "streams_per_address"];
            return nullptr;
        }
        ++streamsPerAddress_[req.remote_addr];
        streams_.push_back(s);
    }
    s->limit_ = limits_.streamBacklogBytes;
    s->connection_ = x->connection;
    const MHD_ConnectionInfo* fd = MHD_get_connection_info(x->connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    s->fd_ = fd ? fd->connect_fd : -1;
    s->address_ = req.remote_addr;
    s->onEnd_ = std::move(onEnd);
    x->stream = s;
    res.content_type = "text/event-stream";
    return s;
}

void WebFront::StreamEnded(const std::shared_ptr<EventStream>& s) {
    std::function<void()> onEnd;
    {
        std::lock_guard<std::mutex> lock(s->mutex_);
        s->closed_ = true;
        s->ended_ = true;
        onEnd.swap(s->onEnd_);
    }
    if (onEnd) onEnd();
    std::lock_guard<std::mutex> lock(mutex_);
    streams_.erase(std::remove(streams_.begin(), streams_.end(), s), streams_.end());
    const auto a = streamsPerAddress_.find(s->address_);
    if (a != streamsPerAddress_.end() && --a->second == 0) streamsPerAddress_.erase(a);
}

void WebFront::Completed(Exchange* x) {
    if (!x) return;
    if (x->stream) StreamEnded(x->stream);
    delete x;
}

int WebFront::Request(MHD_Connection* connection, const char* url, const char* method, const char* upload,
                      size_t* uploadSize, void** context) {
    auto* x = static_cast<Exchange*>(*context);
    if (!x) {
        // The header block is in: admission, before any body is read.
        x = new Exchange;
        *context = x;
        x->connection = connection;
        x->req.method = method ? method : "";
        x->req.path = url ? url : "";
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &FrontCallbacks::Header, &x->req);
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &FrontCallbacks::Param, &x->req);
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        x->req.remote_addr = AddressText(info ? info->client_addr : nullptr, nullptr);
        if (admit_ && !admit_(x->req, x->res, &x->closeAfter)) {
            // A client that sends its body without waiting for the answer would have its
            // connection reset under the reply; so the reply goes out now and the body is
            // read and dropped before the connection closes. One that waits
            // (Expect: 100-continue) or whose body's length is in doubt gets the reply and
            // the close at once.
            if (!x->req.has_header("Expect") && PlainBody(x->req) && WriteNow(*x)) {
                x->refused = true;
                return MHD_YES;
            }
            return Queue(*x);
        }
        return MHD_YES;
    }
    if (*uploadSize > 0) {
        if (x->req.body.size() + *uploadSize > limits_.maxBodyBytes) x->tooLarge = true;
        if (x->tooLarge || x->refused) {
            x->discarded += *uploadSize;
            if (x->discarded > kDiscardBytes) return MHD_NO;
        } else {
            x->req.body.append(upload, *uploadSize);
        }
        *uploadSize = 0;
        return MHD_YES;
    }
    if (x->refused) return MHD_NO;
    if (x->queued) return MHD_YES;
    if (x->dispatched) return x->done ? Queue(*x) : MHD_YES;
    if (x->tooLarge) {
        NoteRefusal("too_large");
        x->res.status = 413;
        x->res.set_content("{\"error\": \"the body is larger than 1 MiB\"}\n", "application/json");
        x->closeAfter = true;
        return Queue(*x);
    }
    const RouteEntry* route = Match(x->req.method, x->req.path, &x->req.matches);
    if (!route) {
        x->res.status = 404;
        x->res.set_content("{\"error\": \"not found\"}\n", "application/json");
        return Queue(*x);
    }
    if (route->run == Run::kInLoop) {
        tExchange = x;
        try {
            route->handler(x->req, x->res);
        } catch (const std::exception&) {
            x->res = HttpResponse{};
            x->res.status = 500;
            x->res.set_content("{\"error\": \"internal error\"}\n", "application/json");
        }
        tExchange = nullptr;
        return Queue(*x);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopAll_) {
            x->res.status = 503;
            x->res.set_header("Retry-After", "5");
            x->res.set_content("{\"error\": \"the service is stopping\"}\n", "application/json");
            x->closeAfter = true;
        } else {
            x->dispatched = true;
            ++suspendedJobs_;
            MHD_suspend_connection(connection);
            jobs_.push_back(Job{x, route});
        }
    }
    if (!x->dispatched) return Queue(*x);
    cv_.notify_all();
    return MHD_YES;
}

bool WebFront::PlainBody(const HttpRequest& req) {
    const size_t lengths = req.get_header_value_count("Content-Length");
    const size_t codings = req.get_header_value_count("Transfer-Encoding");
    if (lengths + codings != 1) return false;
    if (codings) return Lower(req.get_header_value("Transfer-Encoding")) == "chunked";
    const std::string length = req.get_header_value("Content-Length");
    return !length.empty() && length.size() < 19 && length.find_first_not_of("0123456789") == std::string::npos &&
           std::stoull(length) > 0;
}

bool WebFront::WriteNow(Exchange& x) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(x.connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info || x.res.provider) return false;
    const HttpResponse& res = x.res;
    const char* reason = MHD_get_reason_phrase_for(static_cast<unsigned>(res.status));
    std::string text = "HTTP/1.1 " + std::to_string(res.status) + " " + (reason ? reason : "") + "\r\n";
    if (!res.content_type.empty()) text += "Content-Type: " + res.content_type + "\r\n";
    for (const auto& [name, value] : res.headers) text += name + ": " + value + "\r\n";
    text += "Content-Length: " + std::to_string(res.body.size()) + "\r\nConnection: close\r\n\r\n" + res.body;
    // Nothing else is being written on the connection: its previous reply is out before
    // the next request's header is read.
    // Part of it written, the rest is lost with the connection: no second reply follows it.
    if (send(info->connect_fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <= 0) return false;
    x.queued = true;
    if (requestLog_) requestLog_(x.req, res);
    return true;
}

int WebFront::Queue(Exchange& x) {
    x.queued = true;
    HttpResponse& res = x.res;
    if (requestLog_) requestLog_(x.req, res);
    MHD_Response* r = nullptr;
    if (x.stream) {
        r = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, &FrontCallbacks::ReadStream,
                                              x.stream.get(), nullptr);
        // A stream's client takes what is sent, keep-alives included; one that has taken
        // nothing for this long is gone or stuck.
        MHD_set_connection_option(x.connection, MHD_CONNECTION_OPTION_TIMEOUT,
                                  static_cast<unsigned>(limits_.streamStall.count()));
    } else if (res.provider) {
        auto* p = new Provided{std::move(res.provider), {}, 0, false};
        r = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 32 * 1024, &FrontCallbacks::ReadProvided, p,
                                              &FrontCallbacks::FreeProvided);
        if (!r) delete p;
    } else {
        r = MHD_create_response_from_buffer(res.body.size(), const_cast<char*>(res.body.data()),
                                            MHD_RESPMEM_MUST_COPY);
    }
    if (!r) return MHD_NO;
    if (!res.content_type.empty()) MHD_add_response_header(r, "Content-Type", res.content_type.c_str());
    for (const auto& [name, value] : res.headers) MHD_add_response_header(r, name.c_str(), value.c_str());
    if (x.closeAfter || stopping_.load()) MHD_add_response_header(r, "Connection", "close");
    const MHD_Result ok = MHD_queue_response(x.connection, static_cast<unsigned>(res.status), r);
    MHD_destroy_response(r);
    return ok == MHD_YES ? MHD_YES : MHD_NO;
}

}  // namespace ombrix::server
