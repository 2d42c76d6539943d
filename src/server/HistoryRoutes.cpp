// The block routes and the block history of the API: each maps a request onto the core's
// block work (on the service host's thread when it uses the line) and its reply onto
// the response.
#include <nlohmann/json.hpp>

#include "HttpServer.h"
#include "ResultStatus.h"
#include "ServiceHost.h"
#include "data/JsonInput.h"
#include "service/HistoryService.h"

namespace ombrix::server {

using nlohmann::json;

namespace {

void Send(HttpResponse& res, const HistoryReply& r) {
    res.status = HttpStatus(r.result);
    // A text from outside that is not UTF-8 is shown with replacement characters, never a 500.
    res.set_content(r.body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", "application/json");
}

void SendError(HttpResponse& res, int status, const std::string& why) {
    res.status = status;
    res.set_content(json{{"error", why}}.dump() + "\n", "application/json");
}

// "1".."255": the path's own digits.
bool Address(const std::string& text, uint8_t* out) {
    if (text.empty() || text.size() > 3 || text[0] == '0' || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int v = std::stoi(text);
    if (v > 255) return false;
    *out = static_cast<uint8_t>(v);
    return true;
}

bool SnapshotId(const std::string& text, int64_t* out) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *out = std::stoll(text);
    return *out > 0;
}

// A JSON body goes through the one rule for untrusted JSON before anything parses it.
bool JsonBodyRefused(HttpResponse& res, const std::string& body) {
    if (body.empty() || JsonNestingWithin(body)) return false;
    SendError(res, 400, "the body is nested more than " + std::to_string(kMaxJsonNesting) + " levels deep");
    return true;
}

}  // namespace

void HttpServer::HistoryRoutes() {
    WebFront& s = *http_;
    ServiceHost* host = &host_;

    // On the host's thread; false (answered) when the line could not be had in time.
    auto run = [this](HttpResponse& res, const std::function<HistoryReply(ProgramState&)>& work,
                      HistoryReply* reply) {
        // Shared with the job: one that outlives its run limit writes here, not into this frame.
        auto out = std::make_shared<HistoryReply>();
        const auto outcome = RunOnLine([out, work](ProgramState& state) { *out = work(state); });
        if (outcome != CommandRunner::Outcome::kDone) {
            if (outcome == CommandRunner::Outcome::kLineBusy)
                res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
            SendError(res, outcome == CommandRunner::Outcome::kTimedOut ? 504 : 503,
                      CommandRunnerOutcomeText(outcome));
            return false;
        }
        *reply = *out;
        return true;
    };
    // The projector in the path, connected; false (answered) otherwise.
    auto projector = [host](const HttpRequest& req, HttpResponse& res, uint8_t* address) {
        if (!Address(req.matches[1], address)) {
            SendError(res, 400, "the address must be 1-255");
            return false;
        }
        // While searching or without a line nothing can be read: 503, with when to try again.
        if (const std::string why = host->Unavailable(); !why.empty()) {
            res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
            SendError(res, 503, why);
            return false;
        }
        if (!host->Hub().ProjectorKnown(*address)) {
            SendError(res, 404, "no connected projector at address " + std::to_string(*address));
            return false;
        }
        return true;
    };

    s.Get(R"(/api/v1/projectors/([^/]+)/blocks)", [run, projector](const HttpRequest& req, HttpResponse& res) {
        uint8_t address = 0;
        HistoryReply reply;
        if (!projector(req, res, &address)) return;
        if (run(res, [address](ProgramState& st) { return ProjectorBlocksReply(st, address); }, &reply)) Send(res, reply);
    });

    s.Post(R"(/api/v1/projectors/([^/]+)/backup)", [run, projector](const HttpRequest& req, HttpResponse& res) {
        uint8_t address = 0;
        if (!projector(req, res, &address)) return;
        auto file = std::make_shared<std::vector<uint8_t>>();
        HistoryReply reply;
        if (!run(res, [address, file](ProgramState& st) { return BackupReply(st, address, file.get()); }, &reply)) return;
        if (reply.result != HistoryResult::Done) return Send(res, reply);
        res.set_content(reinterpret_cast<const char*>(file->data()), file->size(), "application/octet-stream");
        res.set_header("Content-Disposition",
                       "attachment; filename=\"projector-" + std::to_string(address) + ".set\"");
    });

    s.Post(R"(/api/v1/projectors/([^/]+)/verify)", [run, projector](const HttpRequest& req, HttpResponse& res) {
        uint8_t address = 0;
        if (!projector(req, res, &address)) return;
        HistoryReply reply;
        const std::string body = req.body;
        if (run(res, [address, body](ProgramState& st) { return VerifyReply(st, address, body); }, &reply)) {
            Send(res, reply);
        }
    });

    s.Post(R"(/api/v1/projectors/([^/]+)/snapshot)",
           [run, projector, host](const HttpRequest& req, HttpResponse& res) {
               uint8_t address = 0;
               if (!projector(req, res, &address)) return;
               std::string note, why;
               if (JsonBodyRefused(res, req.body)) return;
               if (!ParseSnapshotBody(req.body, &note, &why)) return SendError(res, 400, why);
               HistoryReply reply;
               if (!run(res,
                        [host, address, note](ProgramState& st) {
                            return SnapshotReply(st, host->Hub(), {address}, SnapshotReason::ByHand, note);
                        },
                        &reply)) {
                   return;
               }
               // One projector: its result is the reply.
               if (reply.body.contains("results") && reply.body["results"].size() == 1) {
                   reply.body = reply.body["results"][0];
               }
               Send(res, reply);
           });

    s.Post(R"(/api/v1/groups/([^/]+)/snapshot)", [run, host](const HttpRequest& req, HttpResponse& res) {
        const std::string name = req.matches[1];
        if (!host->GroupKnown(name)) return SendError(res, 404, "no group " + JsonExcerpt(json(name)));
        std::string note, why;
        if (JsonBodyRefused(res, req.body)) return;
        if (!ParseSnapshotBody(req.body, &note, &why)) return SendError(res, 400, why);
        HistoryReply reply;
        if (!run(res,
                 [host, name, note](ProgramState& st) {
                     const std::vector<uint8_t> targets = host->GroupTargets(st, name);
                     if (targets.empty()) {
                         return HistoryReply{HistoryResult::NotFound,
                                             json{{"error", "no member of the group is connected"}}};
                     }
                     return SnapshotReply(st, host->Hub(), targets, SnapshotReason::ByHand, note);
                 },
                 &reply)) {
            return;
        }
        reply.body["group"] = name;
        Send(res, reply);
    });

    // The history needs no line: read on the request's own thread.
    s.Get("/api/v1/history", [](const HttpRequest& req, HttpResponse& res) {
        std::optional<int> address;
        if (req.has_param("address")) {
            uint8_t a = 0;
            if (!Address(req.get_param_value("address"), &a)) return SendError(res, 400, "address must be 1-255");
            address = a;
        }
        // A page at a time: ?limit=N (1-1000) of those older than ?before=ID.
        long limit = kHistoryPageDefault;
        int64_t before = 0;
        if (req.has_param("limit")) {
            const std::string v = req.get_param_value("limit");
            if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos ||
                (limit = std::stol(v)) < 1 || limit > kHistoryPageMax) {
                return SendError(res, 400, "limit must be 1-" + std::to_string(kHistoryPageMax));
            }
        }
        if (req.has_param("before") && !SnapshotId(req.get_param_value("before"), &before)) {
            return SendError(res, 400, "before must be a snapshot id");
        }
        Send(res, HistoryListReply(address, static_cast<int>(limit), before));
    });

    s.Get(R"(/api/v1/history/([^/]+))", [](const HttpRequest& req, HttpResponse& res) {
        int64_t id = 0;
        if (!SnapshotId(req.matches[1], &id)) return SendError(res, 400, "a snapshot id is a number");
        Send(res, HistoryEntryReply(id));
    });

    s.Get("/api/v1/diff", [run](const HttpRequest& req, HttpResponse& res) {
        if (!req.has_param("from") || !req.has_param("to")) {
            return SendError(res, 400, "diff takes from= and to= (a snapshot id or live:ADDR)");
        }
        const std::string from = req.get_param_value("from"), to = req.get_param_value("to");
        HistoryReply reply;
        if (run(res, [from, to](ProgramState& st) { return DiffReply(st, from, to); }, &reply)) Send(res, reply);
    });

    s.Post(R"(/api/v1/history/([^/]+)/restore)", [run, host](const HttpRequest& req, HttpResponse& res) {
        int64_t id = 0;
        if (!SnapshotId(req.matches[1], &id)) return SendError(res, 400, "a snapshot id is a number");
        if (!req.body.empty() && req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
            return SendError(res, 415, "the body must be application/json");
        }
        if (JsonBodyRefused(res, req.body)) return;
        HistoryReply reply;
        const std::string body = req.body;
        if (run(res, [host, id, body](ProgramState& st) { return RestoreReply(st, host->Hub(), id, body); }, &reply)) {
            Send(res, reply);
        }
    });
}

}  // namespace ombrix::server
