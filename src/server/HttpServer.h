#pragma once
// The HTTP side of ombrix-server: routes map requests onto the service host and its
// results onto status codes; nothing here knows the protocol. Every request is admitted
// (host, origin, token, method, framing) on its header block, before its body is read.
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "WebFront.h"
#include "app/Program.h"
#include "service/EventHub.h"
#include "service/ServiceCommands.h"

namespace ombrix {
class Scheduler;
}

namespace ombrix::server {

class ServiceHost;

struct HttpOptions {
    // Empty: no token asked for (the caller has made sure it listens on loopback only).
    std::string token;
    // One line per request; nullptr for none.
    std::ostream* log = nullptr;
    // Host names requests may carry besides the listen address and localhost.
    std::vector<std::string> allowHosts;
    FrontLimits limits;
};

class HttpServer {
public:
    HttpServer(ServiceHost& host, const HttpOptions& options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // GET/PUT /api/v1/schedules, the list kept in path; before Serve.
    void ServeSchedules(Scheduler& scheduler, const std::string& path);
    // Binds; port 0 takes a free one. False, with why, when the address cannot be had
    // (a port another server listens on included).
    bool Bind(const std::string& host, int port, std::string* why);
    int Port() const { return http_->Port(); }
    // Serves until Stop(); call on a thread of its own.
    void Serve();
    // Every request from now on is refused (503) and closes its connection; idle
    // connections close and event streams end.
    void BeginStop();
    // Closes every connection; Serve returns.
    void Stop();
    // Whether /healthz answers a new connection within limit: the front's loop turns.
    bool SelfCheck(std::chrono::milliseconds limit) const;
    // (method, path pattern) of every route.
    std::vector<WebFront::Route> RouteList() const { return http_->Routes(); }

private:
    void Routes();
    // The block routes and the history (HistoryRoutes.cpp); before the command routes,
    // whose paths would take theirs.
    void HistoryRoutes();
    void Log(const std::string& line);
    // Whether the request may go on to its route; otherwise res holds the refusal, and
    // closeAfter whether its connection closes after it (its body is never read).
    bool Admit(const HttpRequest& req, HttpResponse& res, bool* closeAfter);
    // host_.Run for a request, unless too many requests wait for the line already: every
    // route that uses the line goes through here.
    CommandRunner::Outcome RunOnLine(const std::function<void(ProgramState&)>& work);
    // The front's own lines for /metrics.
    std::string FrontMetrics() const;

    // Opens an event stream: the events after lastEventId when the ring still holds them
    // all, the present state otherwise.
    void AttachStream(const std::shared_ptr<EventStream>& stream, const std::string& lastEventId);
    void DetachStream(const EventStream* stream);
    void OnEvent(const ServiceEvent& e);

    ServiceHost& host_;
    HttpOptions options_;
    std::string apiDescription_;
    // Every event numbered once for all streams, the last few kept so a client that lost
    // its stream (a proxy's time-out, a restart) resumes where it was.
    std::mutex eventsMutex_;
    uint64_t nextEventId_ = 0;
    std::deque<std::pair<uint64_t, std::string>> recentEvents_;
    std::vector<std::shared_ptr<EventStream>> eventStreams_;
    int hubSubscription_ = -1;
    std::unique_ptr<WebFront> http_;
    std::string listenHost_;
    std::mutex logMutex_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> waitingForLine_{0};
};

}  // namespace ombrix::server
