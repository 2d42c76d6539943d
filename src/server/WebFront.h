#pragma once
// The connections behind ombrix-server's HTTP side, on libmicrohttpd: its one event loop
// accepts, reads every header block and body and writes every reply, within its own limits
// on connections (in all and per address), memory per connection and idle time. A route
// sees a whole request; admission runs on the header block, before any body is read.
// Routes that may wait (for the line, for the disk) run on a few workers while their
// connection is suspended; event streams are suspended between events. So no slow client
// holds a thread, and nothing a client sends is kept beyond its request's limits.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace ombrix::server {

struct FrontLimits {
    size_t maxConnections = 512;
    size_t maxPerAddress = 128;
    size_t maxStreams = 64;
    // Event streams from one address (at most half of maxStreams), so one client cannot
    // take them all.
    size_t maxStreamsPerAddress = 8;
    // A connection on which nothing moves (no request, no byte of header or body) closes.
    std::chrono::seconds idleTime{10};
    // A header block larger than this is refused with 431.
    size_t maxHeaderBytes = 16 * 1024;
    size_t maxBodyBytes = 1024 * 1024;
    std::chrono::milliseconds streamKeepAlive{15000};
    // An event stream whose client has taken nothing for this long ends.
    std::chrono::seconds streamStall{60};
    // Bytes queued for an event stream whose client does not read; past it the stream ends.
    size_t streamBacklogBytes = 256 * 1024;
    // Run the routes that may wait; the line's own cap keeps some of them free.
    int workers = 12;
    int listenBacklog = 512;
};

// What a route sees of a request: the header block and the whole body.
struct HttpRequest {
    std::string method;
    // Percent-decoded, without the query.
    std::string path;
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::map<std::string, std::string> params;
    std::string body;
    std::string remote_addr;
    // The route pattern's groups; [0] is the whole path.
    std::vector<std::string> matches;

    bool has_header(const std::string& name) const;
    // The first value of the header; empty when absent.
    std::string get_header_value(const std::string& name) const;
    size_t get_header_value_count(const std::string& name) const;
    bool has_param(const std::string& name) const { return params.count(name) != 0; }
    std::string get_param_value(const std::string& name) const;
};

// What a route answers.
struct HttpResponse {
    int status = 200;
    std::string body;
    std::string content_type;
    std::vector<std::pair<std::string, std::string>> headers;
    // Produces the body piece by piece as the client takes it, on the front's loop: each
    // call appends the next piece (keep it small, a page of rows) and returns false after
    // the last. The body is then sent chunked; `body` is unused.
    std::function<bool(std::string& out)> provider;

    void set_content(const std::string& text, const std::string& type) {
        body = text;
        content_type = type;
    }
    void set_content(const char* data, size_t size, const std::string& type) {
        body.assign(data, size);
        content_type = type;
    }
    void set_content_provider(const std::string& type, std::function<bool(std::string& out)> next) {
        content_type = type;
        provider = std::move(next);
    }
    void set_header(const std::string& name, const std::string& value);
    bool has_header(const std::string& name) const;
};

class WebFront;
struct FrontCallbacks;

// One event stream, fed from any thread.
class EventStream {
public:
    // Queues text (already in the event-stream format); false once the stream has ended.
    bool Send(const std::string& text);
    // Ends the stream; the connection closes once what is queued is out.
    void End();

private:
    friend class WebFront;
    friend struct FrontCallbacks;
    std::mutex mutex_;
    std::string pending_;
    bool ended_ = false;
    bool overflow_ = false;
    bool suspended_ = false;
    bool closed_ = false;
    size_t limit_ = 0;
    MHD_Connection* connection_ = nullptr;
    int fd_ = -1;
    std::string address_;
    std::function<void()> onEnd_;
};

class WebFront {
public:
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    // Answers at once on the loop (reads of in-memory state only) or on a worker.
    enum class Run { kWorker, kInLoop };
    // Decides on the header block whether the request may go on; otherwise res holds the
    // refusal. closeAfter: its connection closes after the reply (a body is never read).
    using Admission = std::function<bool(const HttpRequest&, HttpResponse& res, bool* closeAfter)>;
    // One line per request answered.
    using RequestLog = std::function<void(const HttpRequest&, const HttpResponse&)>;

    explicit WebFront(const FrontLimits& limits = {});
    ~WebFront();
    WebFront(const WebFront&) = delete;
    WebFront& operator=(const WebFront&) = delete;

    WebFront& Get(const std::string& pattern, Handler handler, Run run = Run::kWorker);
    WebFront& Post(const std::string& pattern, Handler handler, Run run = Run::kWorker);
    WebFront& Put(const std::string& pattern, Handler handler, Run run = Run::kWorker);
    void SetAdmission(Admission admit) { admit_ = std::move(admit); }
    void SetRequestLog(RequestLog log) { requestLog_ = std::move(log); }

    // "GET, HEAD" style: the methods the routes matching path take; empty for none.
    std::string AllowedMethods(const std::string& path) const;
    struct Route {
        std::string method;
        std::string pattern;
    };
    std::vector<Route> Routes() const;

    // Listens on host:port (port 0: a free one). A port another program listens on is
    // refused, never shared. False with why.
    bool Bind(const std::string& host, int port, std::string* why);
    int Port() const { return port_; }
    // Serves until Stop().
    void Serve();
    // No more connections are taken; event streams end, and every response from now on
    // closes its connection.
    void BeginStop();
    // Everything closes; waits until Serve has returned.
    void Stop();
    bool Stopping() const { return stopping_.load(); }

    // Turns the response into an event stream. Null when the streams are at their limit,
    // in all or from the request's address (answer 503). onEnd runs once when it ends.
    std::shared_ptr<EventStream> OpenEventStream(const HttpRequest& req, HttpResponse& res,
                                                 std::function<void()> onEnd);
    const FrontLimits& Limits() const { return limits_; }

    // What the front has seen, for /metrics.
    struct Counts {
        uint64_t connections = 0;  // open now
        uint64_t streams = 0;      // open now
        uint64_t workersBusy = 0;
        std::map<std::string, uint64_t> refused;  // since start, by reason
    };
    Counts GetCounts() const;
    // Counts a refusal by reason ("host", "token", "too_large", ...).
    void NoteRefusal(const std::string& reason);

    // A line about the front (refused streams, stalls), at most one per kind every ten seconds.
    std::function<void(const std::string&)> log;

private:
    struct RouteEntry {
        std::string method;
        std::string pattern;
        std::regex regex;
        Handler handler;
        Run run;
    };
    struct Exchange;
    struct Job {
        Exchange* exchange;
        const RouteEntry* route;
    };

    friend struct FrontCallbacks;
    WebFront& Add(const std::string& method, const std::string& pattern, Handler handler, Run run);
    // MHD_YES / MHD_NO.
    int Request(MHD_Connection* connection, const char* url, const char* method, const char* upload,
                size_t* uploadSize, void** context);
    int Queue(Exchange& x);
    static bool PlainBody(const HttpRequest& req);
    // Writes the refusal in x straight to its socket; false when it did not all go.
    bool WriteNow(Exchange& x);
    void Completed(Exchange* x);
    const RouteEntry* Match(const std::string& method, const std::string& path, std::vector<std::string>* groups) const;
    void Worker();
    void Ticker();
    void StreamEnded(const std::shared_ptr<EventStream>& s);
    void Teardown();

    FrontLimits limits_;
    std::vector<std::unique_ptr<RouteEntry>> routes_;
    Admission admit_;
    RequestLog requestLog_;
    int listenFd_ = -1;
    int port_ = 0;
    MHD_Daemon* daemon_ = nullptr;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool serving_ = false;
    bool stopAll_ = false;
    std::deque<Job> jobs_;
    std::vector<std::thread> workers_;
    std::thread ticker_;
    // Exchanges handed to a worker whose connection is suspended; resumed before the daemon stops.
    size_t suspendedJobs_ = 0;
    std::vector<std::shared_ptr<EventStream>> streams_;
    std::map<std::string, size_t> streamsPerAddress_;
    std::map<std::string, uint64_t> refused_;
    std::atomic<uint64_t> connections_{0};
    std::atomic<uint64_t> workersBusy_{0};
};

}  // namespace ombrix::server
