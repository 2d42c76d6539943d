#include "HttpServer.h"

#include <arpa/inet.h>
#include <algorithm>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ApiDescription.h"
#include "ResultStatus.h"
#include "ServerOptions.h"
#include "ServiceHost.h"
#include "WebFiles.h"
#include "data/JsonInput.h"
#include "service/ScheduleService.h"
#include "service/ServiceCommands.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

// Requests waiting for the line at once; a few workers stay free for everything else.
constexpr int kMaxWaitingForLine = 8;
constexpr int kStopRetryAfterSeconds = 5;
constexpr int kStreamRetryAfterSeconds = 10;
// Events kept for a stream that comes back with Last-Event-ID.
constexpr size_t kRecentEvents = 256;
// What an event source waits before it reconnects.
constexpr int kStreamRetryMs = 3000;
// A path in a log line is cut here.
constexpr size_t kLogPathChars = 160;

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void Reply(HttpResponse& res, int status, const json& body) {
    res.status = status;
    res.set_content(Dump(body) + "\n", "application/json");
}

void Error(HttpResponse& res, int status, const std::string& why) { Reply(res, status, json{{"error", why}}); }

// Compares all of both, so the time taken says nothing about where they differ.
bool SameSecret(const std::string& a, const std::string& b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i % (b.empty() ? 1 : b.size())]);
    return diff == 0 && !b.empty();
}

bool StartsWith(const std::string& s, const char* head) { return s.rfind(head, 0) == 0; }

// "1".."255" in decimal, nothing else.
bool ParseAddress(const std::string& text, uint8_t* out) {
    if (text.empty() || text.size() > 3 || text[0] == '0') return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 255) return false;
    *out = static_cast<uint8_t>(v);
    return true;
}

bool KnownAction(const std::string& a) {
    for (const char* k : {kActionPower, kActionPause, kActionText, kActionKey, kActionSource, kActionForceBlock})
        if (a == k) return true;
    return false;
}

bool IsJsonContent(const HttpRequest& req) {
    const std::string type = req.get_header_value("Content-Type");
    return StartsWith(type, "application/json");
}

const char* StatusText(int status) {
    switch (status) {
        case 400: return "bad request";
        case 401: return "a bearer token is needed";
        case 403: return "forbidden";
        case 404: return "not found";
        case 405: return "method not allowed";
        case 411: return "a body needs Content-Length or chunked transfer coding";
        case 413: return "the body is larger than 1 MiB";
        case 414: return "the path is too long";
        case 415: return "the body must be application/json";
        case 503: return "the line is busy";
        default: return "error";
    }
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The description as shipped, with what the front itself may answer on any route added
// to every operation, and the token's requirement as this server is started.
std::string ApiDescription(bool token) {
    json doc = json::parse(std::string(reinterpret_cast<const char*>(kApiDescription), kApiDescriptionSize));
    const json error = {{"$ref", "#/components/responses/Error"}};
    auto refusal = [](const char* why, const char* header) {
        json r = {{"description", why},
                  {"content", {{"application/json", {{"schema", {{"$ref", "#/components/schemas/Error"}}}}}}}};
        if (header) r["headers"][header] = {{"schema", {{"type", "string"}}}};
        return r;
    };
    for (auto& [path, item] : doc["paths"].items()) {
        for (auto& [method, op] : item.items()) {
            if (method != "get" && method != "post" && method != "put") continue;
            json& responses = op["responses"];
            auto add = [&](const char* status, const json& r) {
                if (!responses.contains(status)) responses[status] = r;
            };
            add("400", error);
            if (token) add("401", refusal("A valid bearer token is needed", "WWW-Authenticate"));
            add("403", refusal("Sent from a page of another origin", nullptr));
            add("405", refusal("Another method; Allow lists this path's", "Allow"));
            add("421", refusal("Reached by a host name this server does not answer to", nullptr));
            add("431", {{"description", "The request's header is larger than 16 KiB"}});
            add("503", {{"$ref", "#/components/responses/Busy"}});
            if (method == "post" || method == "put") {
                add("413", refusal("The body is larger than 1 MiB", nullptr));
                add("415", refusal("The body is not application/json, or is compressed", nullptr));
            }
            if (method == "put") add("411", refusal("A body without Content-Length or chunked coding", nullptr));
        }
    }
    // Without a token the server asks for none.
    doc["security"] = token ? json::array({{{"bearer", json::array()}}}) : json::array({json::object()});
    return doc.dump(1) + "\n";
}

bool Digits(const std::string& s) { return !s.empty() && s.size() <= 19 && s.find_first_not_of("0123456789") == std::string::npos; }


}  // namespace

HttpServer::HttpServer(ServiceHost& host, const HttpOptions& options)
    : host_(host),
      options_(options),
      apiDescription_(ApiDescription(!options.token.empty())),
      http_(std::make_unique<WebFront>(options.limits)) {
    http_->log = [this](const std::string& line) { Log(line); };
    // Ids from a later start are larger than any of this one, so an id from before a
    // restart never names one of its events.
    nextEventId_ = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count()) *
                   1000;
    hubSubscription_ = host_.Hub().Subscribe([this](const ServiceEvent& e) { OnEvent(e); });
    http_->SetAdmission([this](const HttpRequest& req, HttpResponse& res, bool* closeAfter) {
        return Admit(req, res, closeAfter);
    });
    Routes();
}

HttpServer::~HttpServer() {
    Stop();
    host_.Hub().Unsubscribe(hubSubscription_);
}

void HttpServer::OnEvent(const ServiceEvent& e) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    const uint64_t id = ++nextEventId_;
    std::string text = "id: " + std::to_string(id) + "\ndata: " + Dump(EventJson(e)) + "\n\n";
    for (const auto& s : eventStreams_) s->Send(text);
    recentEvents_.emplace_back(id, std::move(text));
    if (recentEvents_.size() > kRecentEvents) recentEvents_.pop_front();
}

void HttpServer::AttachStream(const std::shared_ptr<EventStream>& stream, const std::string& lastEventId) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    std::string text = "retry: " + std::to_string(kStreamRetryMs) + "\n\n";
    const uint64_t last = Digits(lastEventId) ? std::stoull(lastEventId) : 0;
    const bool resumable = last != 0 && last <= nextEventId_ &&
                           (recentEvents_.empty() ? last == nextEventId_ : recentEvents_.front().first <= last + 1);
    if (resumable) {
        for (const auto& [id, event] : recentEvents_)
            if (id > last) text += event;
    } else {
        json first = host_.Hub().Snapshot();
        first["event"] = "snapshot";
        text += "id: " + std::to_string(nextEventId_) + "\ndata: " + Dump(first) + "\n\n";
    }
    stream->Send(text);
    eventStreams_.push_back(stream);
}

void HttpServer::DetachStream(const EventStream* stream) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    eventStreams_.erase(std::remove_if(eventStreams_.begin(), eventStreams_.end(),
                                       [stream](const auto& s) { return s.get() == stream; }),
                        eventStreams_.end());
}

void HttpServer::Log(const std::string& line) {
    if (!options_.log) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    *options_.log << line << '\n';
    options_.log->flush();
}

bool HttpServer::Bind(const std::string& host, int port, std::string* why) {
    listenHost_ = host;
    return http_->Bind(host, port, why);
}

void HttpServer::ServeSchedules(Scheduler& scheduler, const std::string& path) {
    http_->Get("/api/v1/schedules", [&scheduler](const HttpRequest&, HttpResponse& res) {
        const ScheduleReply r = GetSchedules(scheduler);
        res.status = HttpStatus(r.result);
        res.set_content(r.body + "\n", "application/json");
    });
    http_->Put("/api/v1/schedules", [&scheduler, path](const HttpRequest& req, HttpResponse& res) {
        if (!IsJsonContent(req)) return Error(res, 415, StatusText(415));
        const ScheduleReply r = PutSchedules(path, req.body, scheduler);
        res.status = HttpStatus(r.result);
        res.set_content(r.body + "\n", "application/json");
    });
}

void HttpServer::Serve() { http_->Serve(); }

bool HttpServer::SelfCheck(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const bool v6 = listenHost_.find(':') != std::string::npos;
    const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_storage sa{};
    socklen_t len = 0;
    // The listen address itself, or the loopback when it listens on every address.
    const bool any = listenHost_.empty() || listenHost_ == "0.0.0.0" || listenHost_ == "::";
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&sa);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(Port()));
        if (any || inet_pton(AF_INET6, listenHost_.c_str(), &a->sin6_addr) != 1) a->sin6_addr = in6addr_loopback;
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&sa);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(Port()));
        if (any || inet_pton(AF_INET, listenHost_.c_str(), &a->sin_addr) != 1) a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *a;
    }
    auto wait = [&](short events) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, events, 0};
        return left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) == 1;
    };
    bool ok = false;
    const std::string request = "GET /healthz HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    if ((connect(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 || errno == EINPROGRESS) && wait(POLLOUT) &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        std::string reply;
        char buf[256];
        while (reply.size() < 12 && wait(POLLIN)) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            reply.append(buf, static_cast<size_t>(n));
        }
        ok = reply.rfind("HTTP/1.1 200", 0) == 0;
    }
    close(fd);
    return ok;
}

void HttpServer::BeginStop() {
    stopping_ = true;
    http_->BeginStop();
}

void HttpServer::Stop() {
    stopping_ = true;
    http_->Stop();
}

CommandRunner::Outcome HttpServer::RunOnLine(const std::function<void(ProgramState&)>& work) {
    if (stopping_.load()) return CommandRunner::Outcome::kStopped;
    if (waitingForLine_.fetch_add(1) >= kMaxWaitingForLine) {
        waitingForLine_.fetch_sub(1);
        return CommandRunner::Outcome::kLineBusy;
    }
    const CommandRunner::Outcome outcome = host_.Run(work);
    waitingForLine_.fetch_sub(1);
    return outcome;
}

bool HttpServer::Admit(const HttpRequest& req, HttpResponse& res, bool* closeAfter) {
    const bool hasBody = req.has_header("Transfer-Encoding") ||
                         (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0");
    // A refused request's body is never read: its connection closes after the reply.
    auto refuse = [&](int status, const std::string& why, const char* reason) {
        Error(res, status, why);
        http_->NoteRefusal(reason);
        *closeAfter = hasBody || status == 503 || status == 400;
        return false;
    };
    if (stopping_.load()) {
        res.set_header("Retry-After", std::to_string(kStopRetryAfterSeconds));
        return refuse(503, "the service is stopping", "stopping");
    }
    // Two of these would let a proxy and this server read different requests from the same bytes.
    for (const char* once : {"Host", "Content-Length", "Transfer-Encoding", "Authorization", "Origin"}) {
        if (req.get_header_value_count(once) > 1) return refuse(400, std::string("more than one ") + once + " header", "framing");
    }
    for (const auto& [name, value] : req.headers) {
        if (name.empty() || name.find_first_of(" \t") != std::string::npos)
            return refuse(400, "a header name with white space", "framing");
    }
    if (!ValidUtf8(req.path)) return refuse(400, "the path is not valid UTF-8", "bad_request");
    const std::string hostHeader = req.get_header_value("Host");
    if (hostHeader.empty()) return refuse(400, "a Host header is needed", "bad_request");
    if (!HostAllowed(hostHeader, listenHost_, options_.allowHosts)) {
        return refuse(421, "this server is not reached as " + JsonExcerpt(json(hostHeader)) +
                               " (ombrix-server --allow-host NAME allows a name)", "host");
    }
    // A page on another site may make a browser send a request here; without the right
    // origin it does nothing. (No CORS headers are ever sent.)
    if (req.has_header("Origin") && !OriginAllowed(req.get_header_value("Origin"), hostHeader))
        return refuse(403, "requests from another origin are refused", "origin");
    const std::string& token = options_.token;
    if (!token.empty() && (StartsWith(req.path, "/api/") || req.path == "/api" || req.path == "/metrics")) {
        const std::string auth = req.get_header_value("Authorization");
        if (!StartsWith(auth, "Bearer ") || !SameSecret(auth.substr(7), token)) {
            res.set_header("WWW-Authenticate", "Bearer");
            return refuse(401, "a valid bearer token is needed", "token");
        }
    }
    const std::string allowed = http_->AllowedMethods(req.path);
    if (allowed.empty()) return refuse(404, "not found", "not_found");
    const std::string method = req.method;
    if ((", " + allowed + ",").find(", " + method + ",") == std::string::npos) {
        res.set_header("Allow", allowed);
        return refuse(405, "this path takes " + allowed, "method");
    }
    if (method != "POST" && method != "PUT") {
        if (hasBody) return refuse(400, "this request takes no body", "bad_request");
        return true;
    }
    const bool chunked = req.has_header("Transfer-Encoding");
    const std::string length = req.get_header_value("Content-Length");
    if (chunked && req.has_header("Content-Length"))
        return refuse(400, "a body has Content-Length or chunked transfer coding, not both", "framing");
    if (chunked && Lower(req.get_header_value("Transfer-Encoding")) != "chunked")
        return refuse(400, "the only transfer coding taken is chunked", "framing");
    // A POST without either has an empty body; a PUT replaces what it names, so it needs one.
    if (!chunked && !req.has_header("Content-Length") && method == "PUT") return refuse(411, StatusText(411), "length");
    if (!chunked && req.has_header("Content-Length") && !Digits(length))
        return refuse(400, "Content-Length is not a number", "framing");
    if (!chunked && !length.empty() && std::stoull(length) > http_->Limits().maxBodyBytes)
        return refuse(413, StatusText(413), "too_large");
    if (req.has_header("Content-Encoding") && Lower(req.get_header_value("Content-Encoding")) != "identity")
        return refuse(415, "compressed bodies are not taken", "media_type");
    return true;
}

void HttpServer::Routes() {
    WebFront& s = *http_;

    s.SetRequestLog([this](const HttpRequest& req, const HttpResponse& res) {
        Log("request " + req.remote_addr + " " + Excerpt(req.method, 12) + " " + Excerpt(req.path, kLogPathChars) + " " +
            std::to_string(res.status));
    });
    using Run = WebFront::Run;

    s.Get("/api/v1/openapi.json", [this](const HttpRequest&, HttpResponse& res) {
        res.set_content(apiDescription_, "application/json");
    }, Run::kInLoop);

    for (const WebFile& f : WebFileList()) {
        const std::string path = std::string(f.path) == "index.html" ? "/" : "/" + std::string(f.path);
        s.Get(path, [f](const HttpRequest&, HttpResponse& res) {
            res.set_content(reinterpret_cast<const char*>(f.data), f.size, f.type);
            res.set_header("Cache-Control", "no-cache");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_header("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
        }, Run::kInLoop);
    }

    s.Get("/healthz", [this](const HttpRequest&, HttpResponse& res) {
        const char* line = host_.Searching() ? "searching" : host_.Hub().LineUp() ? "up" : "lost";
        Reply(res, 200, json{{"status", "ok"}, {"line", line}});
    }, Run::kInLoop);

    s.Get("/metrics", [this](const HttpRequest&, HttpResponse& res) {
        res.set_content(host_.GetMetrics().Render(host_.Hub()) + RenderSeatMetrics(host_.Seats()) + FrontMetrics(),
                        "text/plain; version=0.0.4");
    }, Run::kInLoop);

    s.Get("/api/v1/line", [this](const HttpRequest&, HttpResponse& res) { Reply(res, 200, host_.LineJson()); },
          Run::kInLoop);

    s.Get("/api/v1/projectors", [this](const HttpRequest&, HttpResponse& res) {
        const json snapshot = host_.Hub().Snapshot();
        Reply(res, 200, json{{"line", snapshot["line"]}, {"projectors", snapshot["projectors"]},
                             {"searching", host_.Searching()}});
    }, Run::kInLoop);

    // While the search runs or the line is lost nothing can reach a projector: 503 at
    // once, with when to try again.
    auto unavailable = [this](HttpResponse& res) {
        const std::string why = host_.Unavailable();
        if (why.empty()) return false;
        res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Error(res, 503, why);
        return true;
    };
    auto reply = [](HttpResponse& res, int status, const json& body) {
        if (status == 503) res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Reply(res, status, body);
    };

    s.Post("/api/v1/search", [this, unavailable](const HttpRequest&, HttpResponse& res) {
        if (unavailable(res)) return;
        if (!host_.Search()) {
            res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
            return Error(res, 503, host_.Unavailable().empty() ? "the service is stopping" : host_.Unavailable());
        }
        Reply(res, 202, json{{"searching", true}});
    }, Run::kInLoop);

    auto busy = [](HttpResponse& res, CommandRunner::Outcome outcome) {
        if (outcome == CommandRunner::Outcome::kLineBusy)
            res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Error(res, outcome == CommandRunner::Outcome::kTimedOut ? 504 : 503, CommandRunnerOutcomeText(outcome));
    };

    s.Get(R"(/api/v1/projectors/([^/]+))", [this, busy, unavailable, reply](const HttpRequest& req,
                                                                             HttpResponse& res) {
        uint8_t address = 0;
        if (!ParseAddress(req.matches[1], &address)) return Error(res, 400, "the address must be 1-255");
        // While searching, a projector not found yet may still be: 503, not 404.
        if (unavailable(res)) return;
        if (!host_.Hub().ProjectorKnown(address))
            return Error(res, 404, "no connected projector at address " + std::to_string(address));
        // A job that outlives its run limit still finishes later: it writes into what it
        // shares, never into this handler's frame.
        struct Details {
            int status = 500;
            json body;
        };
        auto details = std::make_shared<Details>();
        ServiceHost* host = &host_;
        const auto outcome = RunOnLine(
            [host, details, address](ProgramState& state) { details->body = host->ReadDetails(state, address, &details->status); });
        if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
        reply(res, details->status, details->body);
    });

    HistoryRoutes();

    // Checks everything a command request can get wrong before anything goes on the line.
    auto command = [](const HttpRequest& req, HttpResponse& res, const std::string& action,
                      ActionRequest* request) {
        if (!KnownAction(action)) {
            Error(res, 404, "no command " + JsonExcerpt(json(action)));
            return false;
        }
        if (!IsJsonContent(req)) {
            Error(res, 415, StatusText(415));
            return false;
        }
        json body;
        std::string unread;
        if (!ReadJsonText(req.body, &body, &unread)) {
            Error(res, 400, "the body is " + unread);
            return false;
        }
        std::string why;
        if (!ParseAction(action, body, request, &why)) {
            Error(res, 400, why);
            return false;
        }
        return true;
    };

    s.Post(R"(/api/v1/projectors/([^/]+)/([^/]+))",
           [this, busy, command, unavailable, reply](const HttpRequest& req, HttpResponse& res) {
               uint8_t address = 0;
               if (!ParseAddress(req.matches[1], &address)) return Error(res, 400, "the address must be 1-255");
               ActionRequest request;
               if (!command(req, res, req.matches[2], &request)) return;
               if (unavailable(res)) return;
               if (!host_.Hub().ProjectorKnown(address))
                   return Error(res, 404, "no connected projector at address " + std::to_string(address));
               auto result = std::make_shared<ActionOutcome>();
               ServiceHost* host = &host_;
               const auto outcome = RunOnLine([host, result, address, request](ProgramState& state) {
                   *result = host->Execute(state, {address}, request, true);
               });
               if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
               reply(res, HttpStatus(result->result), result->body);
           });

    s.Get("/api/v1/groups", [this](const HttpRequest&, HttpResponse& res) {
        Reply(res, 200, host_.Groups());
    }, Run::kInLoop);

    s.Post(R"(/api/v1/groups/([^/]+)/([^/]+))",
           [this, busy, command, unavailable, reply](const HttpRequest& req, HttpResponse& res) {
               const std::string name = req.matches[1];
               if (!host_.GroupKnown(name)) return Error(res, 404, "no group " + JsonExcerpt(json(name)));
               ActionRequest request;
               if (!command(req, res, req.matches[2], &request)) return;
               if (unavailable(res)) return;
               auto result = std::make_shared<ActionOutcome>();
               ServiceHost* host = &host_;
               const auto outcome = RunOnLine([host, result, name, request](ProgramState& state) {
                   *result = host->ExecuteGroup(state, name, request);
               });
               if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
               result->body["group"] = name;
               reply(res, HttpStatus(result->result), result->body);
           });

    s.Get("/api/v1/events", [this](const HttpRequest& req, HttpResponse& res) {
        res.set_header("Cache-Control", "no-cache");
        if (req.method == "HEAD") return res.set_header("Content-Type", "text/event-stream");
        auto self = std::make_shared<const EventStream*>(nullptr);
        const auto stream = http_->OpenEventStream(req, res, [this, self] { DetachStream(*self); });
        if (!stream) {
            res.set_header("Retry-After", std::to_string(kStreamRetryAfterSeconds));
            res.set_header("Connection", "close");
            return Error(res, 503, "too many event streams are open; try again later");
        }
        *self = stream.get();
        AttachStream(stream, req.get_header_value("Last-Event-ID"));
        res.set_header("X-Accel-Buffering", "no");
    }, Run::kInLoop);
}

std::string HttpServer::FrontMetrics() const {
    const WebFront::Counts c = http_->GetCounts();
    std::string out;
    out += "# HELP ombrix_http_connections HTTP connections open now.\n# TYPE ombrix_http_connections gauge\n";
    out += "ombrix_http_connections " + std::to_string(c.connections) + "\n";
    out += "# HELP ombrix_http_event_streams Event streams open now.\n# TYPE ombrix_http_event_streams gauge\n";
    out += "ombrix_http_event_streams " + std::to_string(c.streams) + "\n";
    out += "# HELP ombrix_http_line_queue Requests waiting for or using the line now.\n"
           "# TYPE ombrix_http_line_queue gauge\n";
    out += "ombrix_http_line_queue " + std::to_string(waitingForLine_.load()) + "\n";
    out += "# HELP ombrix_http_refused_total Requests refused by the front, by reason.\n"
           "# TYPE ombrix_http_refused_total counter\n";
    for (const auto& [why, count] : c.refused)
        out += "ombrix_http_refused_total{reason=\"" + why + "\"} " + std::to_string(count) + "\n";
    return out;
}

}  // namespace ombrix::server
