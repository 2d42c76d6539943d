#pragma once
// The connections behind ombrix-server's HTTP side. One thread waits on every socket: it
// accepts, collects each request's header block against a deadline and a size limit, and
// writes the event streams. A few workers take complete header blocks and let cpp-httplib
// parse and route them. So no worker waits for a slow client, none holds an event stream,
// and a client that never reads costs a socket and a bounded buffer.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace ombrix::server {

struct FrontLimits {
    size_t maxConnections = 512;
    // From one client address; a new connection pushes out that address's oldest one that
    // is still waiting for its request, so a flood cannot lock the address's next request out.
    size_t maxPerAddress = 128;
    size_t maxStreams = 64;
    // From a request's first byte to the blank line that ends its header.
    std::chrono::milliseconds headerTime{5000};
    // A new or kept-alive connection waiting for a request's first byte.
    std::chrono::milliseconds idleTime{5000};
    size_t maxHeaderBytes = 16 * 1024;
    size_t maxBodyBytes = 1024 * 1024;
    // Reading a request's body and writing its response, each.
    std::chrono::milliseconds transferTime{10000};
    std::chrono::milliseconds streamKeepAlive{15000};
    // Bytes queued for an event stream whose client does not read; past it the stream ends.
    size_t streamBacklogBytes = 256 * 1024;
    int workers = 12;
    int listenBacklog = 512;
    size_t requestsPerConnection = 1000;
};

class HttpFront;

// One event stream, fed from any thread.
class EventStream {
public:
    // Queues text (already in the event-stream format); false once the stream has ended.
    bool Send(const std::string& text);

private:
    friend class HttpFront;
    std::mutex mutex_;
    std::string pending_;  // chunk-encoded, not yet written
    bool ended_ = false;
    bool overflow_ = false;
    HttpFront* front_ = nullptr;
    int id_ = 0;
    size_t limit_ = 0;
    std::function<void()> onEnd_;
};

class HttpFront : public httplib::Server {
public:
    explicit HttpFront(const FrontLimits& limits = {});
    ~HttpFront() override;

    // As httplib's, and remembered, so a path's methods are known before its body is read.
    HttpFront& Get(const std::string& pattern, Handler handler);
    HttpFront& Post(const std::string& pattern, Handler handler);
    HttpFront& Put(const std::string& pattern, Handler handler);
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
    // Serves until Stop(), on the calling thread.
    void Serve();
    // No more connections are taken; idle ones close, event streams end, and every
    // response from now on closes its connection.
    void BeginStop();
    // Everything closes; waits until Serve has returned.
    void Stop();
    bool Stopping() const { return stopping_.load(); }

    // For the request a handler is serving on this thread:
    // its connection closes after the response;
    static void CloseAfterResponse();
    // its body outgrew the limit while it was read (the reply is then 413).
    static bool BodyTooLarge();
    // Turns the request into an event stream once its response head is written. Null when
    // the streams are at their limit (answer 503). onEnd runs once when the stream ends.
    std::shared_ptr<EventStream> OpenEventStream(httplib::Response& res, std::function<void()> onEnd);
    size_t StreamCount() const;
    const FrontLimits& Limits() const { return limits_; }

    // A line about refused or dropped connections, at most one per kind every ten seconds.
    std::function<void(const std::string&)> log;

private:
    friend class EventStream;
    struct Conn;
    struct RouteEntry {
        std::string method;
        std::string pattern;
        std::regex regex;
    };
    enum class Refusal { kTooMany, kHeaderTooLarge, kHeaderTooSlow, kPushedOut, kStreamStalled, kCount };

    void Remember(const std::string& method, const std::string& pattern);
    void Loop();
    void Worker();
    void Accept();
    void ReadHeader(Conn& c);
    void Dispatch(Conn& c);
    void Finished(Conn* c);
    void WriteStream(Conn& c);
    void EndStream(Conn& c);
    void Close(Conn& c);
    void Linger(Conn& c);
    void CheckDeadlines();
    bool MakeRoom(const std::string& address);
    void Watch(Conn& c, uint32_t events);
    void Unwatch(Conn& c);
    void Wake();
    void StreamReady(int id);
    void Note(Refusal why);
    void ServeOne(Conn& c);

    FrontLimits limits_;
    std::vector<RouteEntry> routes_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> stopAll_{false};
    bool serving_ = false;
    std::mutex serveMutex_;
    std::condition_variable served_;

    // Loop thread only.
    std::map<int, std::unique_ptr<Conn>> conns_;
    std::map<std::string, size_t> perAddress_;
    uint64_t nextSerial_ = 0;
    int nextStreamId_ = 0;
    std::chrono::steady_clock::time_point nextReport_;
    bool listening_ = false;
    std::chrono::steady_clock::time_point listenPausedUntil_;

    // Between the loop and the workers.
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<Conn*> work_;
    std::vector<Conn*> done_;
    std::vector<int> readyStreams_;
    std::vector<std::thread> workers_;
    std::atomic<size_t> streams_{0};
    std::atomic<uint64_t> refusals_[static_cast<int>(Refusal::kCount)] = {};
};

}  // namespace ombrix::server
