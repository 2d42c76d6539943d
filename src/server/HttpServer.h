#pragma once
// The HTTP side of ombrix-server over cpp-httplib: routes map requests onto the service
// host and its results onto status codes; nothing here knows the protocol.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>

namespace httplib {
class Server;
}

namespace ombrix {
class Scheduler;
}

namespace ombrix::server {

class ServiceHost;

// Bodies above this are refused with 413 before they are read whole.
constexpr size_t kMaxBodyBytes = 1024 * 1024;

struct HttpOptions {
    // Empty: no token asked for (the caller has made sure it listens on loopback only).
    std::string token;
    // One line per request; nullptr for none.
    std::ostream* log = nullptr;
};

class HttpServer {
public:
    HttpServer(ServiceHost& host, const HttpOptions& options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // GET/PUT /api/v1/schedules, the list kept in path; before Serve.
    void ServeSchedules(Scheduler& scheduler, const std::string& path);
    // Binds; port 0 takes a free one. False when the address cannot be had.
    bool Bind(const std::string& host, int port);
    int Port() const { return port_; }
    // Serves until Stop(); call on a thread of its own.
    bool Serve();
    // Ends the event streams and stops listening; Serve returns.
    void Stop();

private:
    void Routes();
    // The block routes and the history (HistoryRoutes.cpp); before the command routes,
    // whose paths would take theirs.
    void HistoryRoutes();
    void Log(const std::string& line);

    ServiceHost& host_;
    HttpOptions options_;
    std::unique_ptr<httplib::Server> http_;
    int port_ = 0;
    std::mutex logMutex_;
    // Event streams wait on this; Stop wakes them to end.
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
    struct Streams;
    std::shared_ptr<Streams> streams_;
};

}  // namespace ombrix::server
