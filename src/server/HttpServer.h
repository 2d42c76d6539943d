#pragma once
// The HTTP side of ombrix-server over cpp-httplib: routes map requests onto the service
// host and its results onto status codes; nothing here knows the protocol. Every request
// is admitted (host, origin, token, method, body) before its body is read.
#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "HttpFront.h"
#include "app/Program.h"
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
    // (method, path pattern) of every route.
    std::vector<HttpFront::Route> RouteList() const { return http_->Routes(); }

private:
    void Routes();
    // The block routes and the history (HistoryRoutes.cpp); before the command routes,
    // whose paths would take theirs.
    void HistoryRoutes();
    void Log(const std::string& line);
    // Whether the request may go on to its route; otherwise res holds the refusal.
    bool Admit(const httplib::Request& req, httplib::Response& res);
    // host_.Run for a request, unless too many requests wait for the line already.
    CommandRunner::Outcome RunOnLine(const std::function<void(ProgramState&)>& work);

    ServiceHost& host_;
    HttpOptions options_;
    std::unique_ptr<HttpFront> http_;
    std::string listenHost_;
    std::mutex logMutex_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> waitingForLine_{0};
};

}  // namespace ombrix::server
