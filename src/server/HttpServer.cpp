#include "HttpServer.h"

#include <httplib.h>

#include <chrono>
#include <deque>
#include <nlohmann/json.hpp>

#include "ServiceHost.h"
#include "WebFiles.h"
#include "service/ScheduleService.h"
#include "service/ServiceCommands.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

constexpr auto kKeepAliveEvery = std::chrono::seconds(15);
// A client that falls this far behind is dropped rather than let the queue grow.
constexpr size_t kMaxQueuedEvents = 1000;
constexpr int kHttpThreads = 32;

void Reply(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump() + "\n", "application/json");
}

void Error(httplib::Response& res, int status, const std::string& why) { Reply(res, status, json{{"error", why}}); }

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

bool IsJsonContent(const httplib::Request& req) {
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
        case 413: return "the body is larger than 1 MiB";
        case 415: return "the body must be application/json";
        case 503: return "the line is busy";
        default: return "error";
    }
}

}  // namespace

struct HttpServer::Streams {
    struct Client {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<std::string> queue;
        bool overflow = false;
        int subscription = 0;
    };
    std::mutex mutex;
    std::set<std::shared_ptr<Client>> clients;

    void WakeAll() {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& c : clients) {
            { std::lock_guard<std::mutex> l(c->mutex); }
            c->cv.notify_all();
        }
    }
};

HttpServer::HttpServer(ServiceHost& host, const HttpOptions& options)
    : host_(host), options_(options), http_(std::make_unique<httplib::Server>()),
      streams_(std::make_shared<Streams>()) {
    http_->new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    http_->set_payload_max_length(kMaxBodyBytes);
    Routes();
}

HttpServer::~HttpServer() { Stop(); }

void HttpServer::Log(const std::string& line) {
    if (!options_.log) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    *options_.log << line << '\n';
    options_.log->flush();
}

bool HttpServer::Bind(const std::string& host, int port) {
    if (port == 0) {
        port_ = http_->bind_to_any_port(host);
        return port_ > 0;
    }
    port_ = port;
    return http_->bind_to_port(host, port);
}

void HttpServer::ServeSchedules(Scheduler& scheduler, const std::string& path) {
    http_->Get("/api/v1/schedules", [&scheduler](const httplib::Request&, httplib::Response& res) {
        const ScheduleReply r = GetSchedules(scheduler);
        res.status = r.status;
        res.set_content(r.body + "\n", "application/json");
    });
    http_->Put("/api/v1/schedules", [&scheduler, path](const httplib::Request& req, httplib::Response& res) {
        if (!IsJsonContent(req)) return Error(res, 415, StatusText(415));
        const ScheduleReply r = PutSchedules(path, req.body, scheduler);
        res.status = r.status;
        res.set_content(r.body + "\n", "application/json");
    });
}

bool HttpServer::Serve() { return http_->listen_after_bind(); }

void HttpServer::Stop() {
    stopping_->store(true);
    streams_->WakeAll();
    if (http_->is_running()) http_->stop();
}

void HttpServer::Routes() {
    httplib::Server& s = *http_;
    const std::string token = options_.token;

    s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        Log("request " + req.remote_addr + " " + req.method + " " + req.path + " " + std::to_string(res.status));
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) Error(res, res.status, StatusText(res.status));
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Error(res, 500, "internal error");
    });
    s.set_pre_routing_handler([token](const httplib::Request& req, httplib::Response& res) {
        // A page on another site may make a browser send a request here; without the
        // right origin it does nothing. (No CORS headers are ever sent.)
        if (req.has_header("Origin")) {
            const std::string origin = req.get_header_value("Origin");
            if (origin != "http://" + req.get_header_value("Host")) {
                Error(res, 403, "requests from another origin are refused");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        if (!token.empty() && (StartsWith(req.path, "/api/") || req.path == "/api" || req.path == "/metrics")) {
            const std::string auth = req.get_header_value("Authorization");
            if (!StartsWith(auth, "Bearer ") || !SameSecret(auth.substr(7), token)) {
                res.set_header("WWW-Authenticate", "Bearer");
                Error(res, 401, "a valid bearer token is needed");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    for (const WebFile& f : WebFileList()) {
        const std::string path = std::string(f.path) == "index.html" ? "/" : "/" + std::string(f.path);
        s.Get(path, [f](const httplib::Request&, httplib::Response& res) {
            res.set_content(reinterpret_cast<const char*>(f.data), f.size, f.type);
            res.set_header("Cache-Control", "no-cache");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_header("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
        });
    }

    s.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        const char* line = host_.Searching() ? "searching" : host_.Hub().LineUp() ? "up" : "lost";
        Reply(res, 200, json{{"status", "ok"}, {"line", line}});
    });

    s.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(host_.GetMetrics().Render(host_.Hub()), "text/plain; version=0.0.4");
    });

    s.Get("/api/v1/projectors", [this](const httplib::Request&, httplib::Response& res) {
        const json snapshot = host_.Hub().Snapshot();
        Reply(res, 200, json{{"line", snapshot["line"]}, {"projectors", snapshot["projectors"]},
                             {"searching", host_.Searching()}});
    });

    // While the search runs or the line is lost nothing can reach a projector: 503 at
    // once, with when to try again.
    auto unavailable = [this](httplib::Response& res) {
        const std::string why = host_.Unavailable();
        if (why.empty()) return false;
        res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Error(res, 503, why);
        return true;
    };
    auto reply = [](httplib::Response& res, int status, const json& body) {
        if (status == 503) res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Reply(res, status, body);
    };

    s.Post("/api/v1/search", [this, unavailable](const httplib::Request&, httplib::Response& res) {
        if (unavailable(res)) return;
        if (!host_.Search()) {
            res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
            return Error(res, 503, host_.Unavailable().empty() ? "the service is stopping" : host_.Unavailable());
        }
        Reply(res, 202, json{{"searching", true}});
    });

    auto busy = [](httplib::Response& res, CommandRunner::Outcome outcome) {
        if (outcome == CommandRunner::Outcome::kLineBusy)
            res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
        Error(res, outcome == CommandRunner::Outcome::kTimedOut ? 504 : 503, CommandRunnerOutcomeText(outcome));
    };

    s.Get(R"(/api/v1/projectors/([^/]+))", [this, busy, unavailable, reply](const httplib::Request& req,
                                                                             httplib::Response& res) {
        uint8_t address = 0;
        if (!ParseAddress(req.matches[1], &address)) return Error(res, 400, "the address must be 1-255");
        if (!host_.Hub().ProjectorKnown(address))
            return Error(res, 404, "no connected projector at address " + std::to_string(address));
        if (unavailable(res)) return;
        // A job that outlives its run limit still finishes later: it writes into what it
        // shares, never into this handler's frame.
        struct Details {
            int status = 500;
            json body;
        };
        auto details = std::make_shared<Details>();
        ServiceHost* host = &host_;
        const auto outcome = host_.Run(
            [host, details, address](ProgramState& state) { details->body = host->ReadDetails(state, address, &details->status); });
        if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
        reply(res, details->status, details->body);
    });

    // Checks everything a command request can get wrong before anything goes on the line.
    auto command = [](const httplib::Request& req, httplib::Response& res, const std::string& action,
                      ActionRequest* request) {
        if (!KnownAction(action)) {
            Error(res, 404, "no command \"" + action + "\"");
            return false;
        }
        if (!IsJsonContent(req)) {
            Error(res, 415, StatusText(415));
            return false;
        }
        const json body = json::parse(req.body, nullptr, false);
        if (body.is_discarded()) {
            Error(res, 400, "the body is not valid JSON");
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
           [this, busy, command, unavailable, reply](const httplib::Request& req, httplib::Response& res) {
               uint8_t address = 0;
               if (!ParseAddress(req.matches[1], &address)) return Error(res, 400, "the address must be 1-255");
               ActionRequest request;
               if (!command(req, res, req.matches[2], &request)) return;
               if (!host_.Hub().ProjectorKnown(address))
                   return Error(res, 404, "no connected projector at address " + std::to_string(address));
               if (unavailable(res)) return;
               auto result = std::make_shared<ActionOutcome>();
               ServiceHost* host = &host_;
               const auto outcome = host_.Run([host, result, address, request](ProgramState& state) {
                   *result = host->Execute(state, {address}, request, true);
               });
               if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
               reply(res, result->status, result->body);
           });

    s.Get("/api/v1/groups", [this](const httplib::Request&, httplib::Response& res) {
        Reply(res, 200, host_.Groups());
    });

    s.Post(R"(/api/v1/groups/([^/]+)/([^/]+))",
           [this, busy, command, unavailable, reply](const httplib::Request& req, httplib::Response& res) {
               const std::string name = req.matches[1];
               if (!host_.GroupKnown(name)) return Error(res, 404, "no group \"" + name + "\"");
               ActionRequest request;
               if (!command(req, res, req.matches[2], &request)) return;
               if (unavailable(res)) return;
               auto result = std::make_shared<ActionOutcome>();
               ServiceHost* host = &host_;
               const auto outcome = host_.Run([host, result, name, request](ProgramState& state) {
                   *result = host->Execute(state, host->GroupTargets(state, name), request, false);
               });
               if (outcome != CommandRunner::Outcome::kDone) return busy(res, outcome);
               result->body["group"] = name;
               reply(res, result->status, result->body);
           });

    s.Get("/api/v1/events", [this](const httplib::Request&, httplib::Response& res) {
        using Client = Streams::Client;
        auto client = std::make_shared<Client>();
        auto push = [client](std::string text) {
            {
                std::lock_guard<std::mutex> lock(client->mutex);
                if (client->queue.size() >= kMaxQueuedEvents) {
                    client->overflow = true;
                } else {
                    client->queue.push_back(std::move(text));
                }
            }
            client->cv.notify_all();
        };
        client->subscription = host_.Hub().SubscribeWithSnapshot(
            [&](const json& snapshot) {
                json first = snapshot;
                first["event"] = "snapshot";
                push("data: " + first.dump() + "\n\n");
            },
            [push](const ServiceEvent& e) { push("data: " + EventJson(e).dump() + "\n\n"); });
        {
            std::lock_guard<std::mutex> lock(streams_->mutex);
            streams_->clients.insert(client);
        }
        res.set_header("Cache-Control", "no-cache");
        res.set_header("X-Accel-Buffering", "no");
        auto stopping = stopping_;
        auto streams = streams_;
        EventHub* hub = &host_.Hub();
        res.set_chunked_content_provider(
            "text/event-stream",
            [client, stopping](size_t, httplib::DataSink& sink) {
                std::deque<std::string> out;
                {
                    std::unique_lock<std::mutex> lock(client->mutex);
                    client->cv.wait_for(lock, kKeepAliveEvery, [&] {
                        return !client->queue.empty() || client->overflow || stopping->load();
                    });
                    if (stopping->load() || client->overflow) {
                        lock.unlock();
                        sink.done();
                        return true;
                    }
                    out.swap(client->queue);
                }
                if (out.empty()) out.push_back(": keep-alive\n\n");
                for (const std::string& text : out)
                    if (!sink.write(text.data(), text.size())) return false;
                return true;
            },
            [client, hub, streams](bool) {
                hub->Unsubscribe(client->subscription);
                std::lock_guard<std::mutex> lock(streams->mutex);
                streams->clients.erase(client);
            });
    });
}

}  // namespace ombrix::server
