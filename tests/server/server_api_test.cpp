// The HTTP API against the in-process simulator: every route, every refusal, the line
// shared between parallel requests, the event stream, the token.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>

#include "ServerBench.h"
#include "Cli.h"
#include "JsonOutput.h"
#include "ServerOptions.h"
#include "directaccess/Force.h"
#include "service/ProjectorJson.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::BenchSettings;
using testing::Requests;
using testing::ServerBench;
using namespace std::chrono_literals;

json Body(const httplib::Result& r) { return r ? json::parse(r->body, nullptr, false) : json(); }

// Reads an event stream on a thread of its own, collecting its events.
class EventReader {
public:
    EventReader(int port, const std::string& token = "") : client_("127.0.0.1", port) {
        httplib::Headers headers;
        if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
        thread_ = std::thread([this, headers] {
            client_.set_read_timeout(30s);
            client_.Get("/api/v1/events", headers, [this](const char* data, size_t n) {
                std::lock_guard<std::mutex> lock(mutex_);
                buffer_.append(data, n);
                size_t cut;
                while ((cut = buffer_.find("\n\n")) != std::string::npos) {
                    const std::string block = buffer_.substr(0, cut);
                    buffer_.erase(0, cut + 2);
                    if (block.rfind("data: ", 0) == 0) events_.push_back(json::parse(block.substr(6)));
                }
                cv_.notify_all();
                return !stop_;
            });
        });
    }
    ~EventReader() {
        stop_ = true;
        client_.stop();
        thread_.join();
    }
    // Waits until an event satisfies pred; its index, or -1 at the deadline.
    template <class F>
    int WaitFor(F pred, std::chrono::milliseconds limit = 10s) {
        std::unique_lock<std::mutex> lock(mutex_);
        int found = -1;
        cv_.wait_for(lock, limit, [&] {
            for (size_t i = 0; i < events_.size(); ++i)
                if (pred(events_[i])) return (found = static_cast<int>(i)) >= 0;
            return false;
        });
        return found;
    }
    std::vector<json> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    httplib::Client client_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::string buffer_;
    std::vector<json> events_;
    std::atomic<bool> stop_{false};
};

std::vector<int> Addresses(const json& list) {
    std::vector<int> out;
    for (const json& p : list) out.push_back(p["address"]);
    return out;
}

TEST(ServerApi, RefusedRequestsChangeNothing) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    struct Case {
        const char* label;
        const char* method;
        std::string path;
        std::string body;
        std::string type;
        int status;
    };
    const std::string big(2 * 1024 * 1024, ' ');
    const Case cases[] = {
        {"address too high", "GET", "/api/v1/projectors/999", "", "", 400},
        {"address zero", "GET", "/api/v1/projectors/0", "", "", 400},
        {"address not a number", "GET", "/api/v1/projectors/abc", "", "", 400},
        {"address with a leading zero", "POST", "/api/v1/projectors/01/key", R"({"code":1})", "application/json", 400},
        {"nobody at the address", "GET", "/api/v1/projectors/9", "", "", 404},
        {"command to nobody", "POST", "/api/v1/projectors/9/key", R"({"code":1})", "application/json", 404},
        {"address 999 in a command", "POST", "/api/v1/projectors/999/power", R"({"on":false})", "application/json", 400},
        {"malformed JSON", "POST", "/api/v1/projectors/1/power", R"({"on": fal)", "application/json", 400},
        {"empty body", "POST", "/api/v1/projectors/1/power", "", "application/json", 400},
        {"body not an object", "POST", "/api/v1/projectors/1/power", "[true]", "application/json", 400},
        {"on as a string", "POST", "/api/v1/projectors/1/power", R"({"on":"false"})", "application/json", 400},
        {"on missing", "POST", "/api/v1/projectors/1/pause", R"({})", "application/json", 400},
        {"unknown field", "POST", "/api/v1/projectors/1/text", R"({"on":true,"force":1})", "application/json", 400},
        {"key code too big", "POST", "/api/v1/projectors/1/key", R"({"code":256})", "application/json", 400},
        {"key code fractional", "POST", "/api/v1/projectors/1/key", R"({"code":1.5})", "application/json", 400},
        {"key code negative", "POST", "/api/v1/projectors/1/key", R"({"code":-1})", "application/json", 400},
        {"source slot and name", "POST", "/api/v1/projectors/1/source", R"({"slot":4,"name":"Dome [42]"})",
         "application/json", 400},
        {"source slot 100", "POST", "/api/v1/projectors/1/source", R"({"slot":100})", "application/json", 400},
        {"source name unknown", "POST", "/api/v1/projectors/1/source", R"({"name":"Nowhere [7]"})",
         "application/json", 400},
        {"force-block type unknown", "POST", "/api/v1/projectors/1/force-block", R"({"type":"HDMI","number":1})",
         "application/json", 400},
        {"force-block number 0", "POST", "/api/v1/projectors/1/force-block", R"({"type":"RGsB","number":0})",
         "application/json", 400},
        {"unknown command", "POST", "/api/v1/projectors/1/explode", R"({})", "application/json", 404},
        {"not JSON content", "POST", "/api/v1/projectors/1/power", R"({"on":false})", "text/plain", 415},
        {"body over 1 MiB", "POST", "/api/v1/projectors/1/power", big, "application/json", 413},
        {"unknown group", "POST", "/api/v1/groups/lobby/power", R"({"on":false})", "application/json", 404},
        {"group command with a bad body", "POST", "/api/v1/groups/all/key", R"({"code":"x"})", "application/json",
         400},
        {"unknown path", "GET", "/api/v1/lamps", "", "", 404},
    };
    b.bus.ClearTranscript();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const httplib::Result r = std::string(c.method) == "GET" ? b.client->Get(c.path.c_str())
                                                                 : b.Post(c.path, c.body, c.type);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
        const json j = Body(r);
        ASSERT_TRUE(j.is_object()) << r->body;
        EXPECT_TRUE(j["error"].is_string()) << r->body;
        EXPECT_FALSE(r->has_header("Access-Control-Allow-Origin"));
    }
    EXPECT_TRUE(Requests(b.bus).empty()) << "a refused request went on the line";
}

TEST(ServerApi, ListsDetailsAndMetrics) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    auto r = b.client->Get("/api/v1/projectors");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    json j = Body(r);
    EXPECT_EQ(Addresses(j["projectors"]), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(j["line"], "up");
    const json& first = j["projectors"][0];
    for (const char* field : {"address", "letter", "type", "model", "version", "id", "state", "options", "groups"})
        EXPECT_TRUE(first.contains(field)) << field;
    EXPECT_EQ(first["state"], "Operating");
    EXPECT_EQ(first["runtime"], 300);
    EXPECT_EQ(j["projectors"][1]["state"], "StandBy");

    r = b.client->Get("/api/v1/projectors/1");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    j = Body(r);
    EXPECT_EQ(j["serial"], "1234567") << r->body;
    EXPECT_EQ(j["id"], 100234);
    EXPECT_EQ(j["fresh"], true);

    r = b.client->Get("/metrics");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    for (const char* line : {"ombrix_projector_up{address=\"1\",", "ombrix_projector_up{address=\"2\",",
                             "ombrix_projector_up{address=\"3\",", "ombrix_line_up 1",
                             "ombrix_projector_state{address=\"2\",state=\"StandBy\"} 1",
                             "ombrix_projector_running_hours{address=\"1\"} 300",
                             "ombrix_exchanges_total{result=\"done\"}", "ombrix_exchange_seconds_count",
                             "ombrix_background_check_seconds"})
        EXPECT_NE(r->body.find(line), std::string::npos) << line;

    r = b.client->Get("/healthz");
    ASSERT_TRUE(r);
    EXPECT_EQ(Body(r)["status"], "ok");
    r = b.client->Get("/");
    ASSERT_TRUE(r);
    EXPECT_NE(r->body.find("<title>Ombrix projectors</title>"), std::string::npos);
    for (const char* path : {"/app.js", "/app.css"}) {
        r = b.client->Get(path);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << path;
    }
}

TEST(ServerApi, ForceTogglesSendTheKeyOnlyWhenTheStateDiffers) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    auto keysTo = [&](int key) {
        std::vector<int> to;
        for (const auto& [address, command] : Requests(b.bus))
            if (command == key) to.push_back(address);
        return to;
    };
    struct Step {
        const char* label;
        std::string path;
        std::string body;
        bool changed;
        std::vector<int> keyTo;
        int key;
        std::string state;
    };
    const Step steps[] = {
        {"power off an operating projector", "/api/v1/projectors/1/power", R"({"on":false})", true, {1}, kKeyPower,
         "StandBy"},
        {"power off again: nothing sent", "/api/v1/projectors/1/power", R"({"on":false})", false, {}, kKeyPower,
         "StandBy"},
        {"pause on", "/api/v1/projectors/3/pause", R"({"on":true})", true, {3}, kKeyPause, "Pause"},
        {"pause on again", "/api/v1/projectors/3/pause", R"({"on":true})", false, {}, kKeyPause, "Pause"},
        {"text on", "/api/v1/projectors/3/text", R"({"on":true})", true, {3}, kKeyText, "Pause"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        b.bus.ClearTranscript();
        const auto r = b.Post(s.path, s.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        const json j = Body(r);
        EXPECT_EQ(j["changed"], s.changed);
        EXPECT_EQ(keysTo(s.key), s.keyTo);
        EXPECT_EQ(j["projector"]["state"], s.state);
    }
    EXPECT_EQ(Body(b.client->Get("/api/v1/projectors"))["projectors"][2]["textOn"], 1);
}

TEST(ServerApi, KeySourceAndForcedBlockReachTheirProjector) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    struct Case {
        const char* label;
        std::string path;
        std::string body;
        std::vector<std::pair<int, int>> sent;  // (address, command) among the requests
    };
    const Case cases[] = {
        {"a key", "/api/v1/projectors/3/key", R"({"code":27})", {{3, 27}}},
        {"a source by slot", "/api/v1/projectors/1/source", R"({"slot":7})", {{1, 0x17}}},
        {"a source by name: its digits", "/api/v1/projectors/1/source", R"({"name":"Dome [42]"})",
         {{1, 0x14}, {1, 0x12}}},
        {"a forced block", "/api/v1/projectors/1/force-block", R"({"type":"RGsB","number":42})", {{1, 't'}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        b.bus.ClearTranscript();
        const auto r = b.Post(c.path, c.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        const auto sent = Requests(b.bus);
        size_t at = 0;
        for (const auto& want : c.sent) {
            while (at < sent.size() && sent[at] != want) ++at;
            EXPECT_LT(at, sent.size()) << "missing " << want.first << "/" << want.second;
        }
        for (const auto& [address, command] : sent) EXPECT_EQ(address, c.sent[0].first);
    }
}

// Projector 2 is in standby; 9, a member of Dome, is not on the bus.
TEST(ServerApi, GroupCommandsReachTheirMembersInOrderAndNameThoseSkipped) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    const json groups = Body(b.client->Get("/api/v1/groups"))["groups"];
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]["name"], "all");
    EXPECT_EQ(groups[0]["members"], json::array({1, 2, 3}));
    EXPECT_EQ(groups[1]["name"], "Dome");
    EXPECT_EQ(groups[1]["members"], json::array({3, 9, 1}));
    EXPECT_EQ(groups[1]["connected"], json::array({3, 1}));
    EXPECT_EQ(Body(b.client->Get("/api/v1/projectors"))["projectors"][2]["groups"], json::array({"all", "Dome"}));
    struct Case {
        const char* label;
        std::string group;
        int code;
        std::vector<int> keyTo;
        int status;
        json skipped;  // each member's "skipped", null where it was sent the key
        const char* summary;
    };
    const Case cases[] = {
        {"the main group passes over the member in standby", "all", 27, {1, 3}, 502,
         json::array({nullptr, "standby", nullptr}), "2 of 3 done; projector 2 skipped: in standby"},
        {"a user group in member order, the one not connected said", "Dome", 27, {3, 1}, 502,
         json::array({nullptr, "not connected", nullptr}), "2 of 3 done; projector 9 skipped: not connected"},
        {"the power key reaches a member in standby", "all", kKeyPower, {1, 2, 3}, 200,
         json::array({nullptr, nullptr, nullptr}), "3 of 3 done"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        b.bus.ClearTranscript();
        const auto r = b.Post("/api/v1/groups/" + c.group + "/key", json{{"code", c.code}}.dump());
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
        std::vector<int> to;
        for (const auto& [address, command] : Requests(b.bus))
            if (command == c.code) to.push_back(address);
        EXPECT_EQ(to, c.keyTo);
        const json body = Body(r);
        ASSERT_EQ(body["results"].size(), c.skipped.size()) << r->body;
        for (size_t i = 0; i < c.skipped.size(); ++i)
            EXPECT_EQ(body["results"][i].value("skipped", json()), c.skipped[i]) << i;
        EXPECT_EQ(body["ok"], c.status == 200);
        EXPECT_EQ(body["summary"], c.summary);
    }
}

// Every request's exchanges run whole: with clients racing each other and the check, each
// command still gets its answer.
TEST(ServerApi, ParallelRequestsShareTheLine) {
    BenchSettings s;
    s.checkIntervalMs = 1000;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    std::vector<std::thread> clients;
    std::atomic<int> ok{0};
    for (int i = 0; i < 6; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client c("127.0.0.1", b.http->Port());
            c.set_read_timeout(30s);
            const int address = 1 + i % 3;
            for (int k = 0; k < 3; ++k) {
                const auto r = c.Get(("/api/v1/projectors/" + std::to_string(address)).c_str());
                if (r && r->status == 200 && Body(r)["fresh"] == true) ++ok;
            }
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(ok.load(), 18);
    EXPECT_EQ(Addresses(Body(b.client->Get("/api/v1/projectors"))["projectors"]), (std::vector<int>{1, 2, 3}));
}

TEST(ServerApi, ARequestThatCannotGetTheLineInTimeIsRefused) {
    BenchSettings s;
    s.lineWait = 100ms;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    std::atomic<bool> release{false};
    std::thread holder([&] {
        b.host->Run([&](ProgramState&) {
            while (!release) std::this_thread::sleep_for(5ms);
        });
    });
    std::this_thread::sleep_for(50ms);
    b.bus.ClearTranscript();
    const auto r = b.Post("/api/v1/projectors/1/key", R"({"code":27})");
    release = true;
    holder.join();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503);
    EXPECT_EQ(r->get_header_value("Retry-After"), "5");
    EXPECT_TRUE(Body(r)["error"].is_string());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(Requests(b.bus).empty()) << "the refused command still ran";
}

TEST(ServerApi, EventsStartWithTheStateThenFollowInOrder) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    const json first = reader.Events()[0];
    EXPECT_EQ(Addresses(first["projectors"]), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(first["line"], "up");
    ASSERT_EQ(b.Post("/api/v1/projectors/1/power", R"({"on":false})")->status, 200);
    const int command = reader.WaitFor([](const json& e) { return e["event"] == "command"; });
    const int change = reader.WaitFor([](const json& e) { return e["event"] == "state change"; });
    ASSERT_GT(command, 0);
    ASSERT_GT(change, command);
    const json e = reader.Events()[static_cast<size_t>(change)];
    EXPECT_EQ(e["address"], 1);
    EXPECT_EQ(e["projector"]["state"], "StandBy");
    EXPECT_TRUE(e["time"].is_string());
    // A client connecting now starts from the new state.
    EventReader late(b.http->Port());
    ASSERT_EQ(late.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    EXPECT_EQ(late.Events()[0]["projectors"][0]["state"], "StandBy");
}

TEST(ServerApi, AProjectorThatStopsAnsweringIsReportedLost) {
    BenchSettings s;
    s.checkIntervalMs = 2000;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    std::string reply;
    ASSERT_TRUE(b.bus.Control("power 3 off", b.clock.TickMs(), &reply)) << reply;
    const int lost = reader.WaitFor([](const json& e) { return e["event"] == "lost"; }, 20s);
    ASSERT_GT(lost, 0);
    const json e = reader.Events()[static_cast<size_t>(lost)];
    EXPECT_EQ(e["address"], 3);
    EXPECT_EQ(e["projector"]["state"], kLostStateText);
    EXPECT_EQ(Addresses(Body(b.client->Get("/api/v1/projectors"))["projectors"]), (std::vector<int>{1, 2}));
    const std::string metrics = b.client->Get("/metrics")->body;
    EXPECT_NE(metrics.find("ombrix_projector_up{address=\"3\",model=\"ZV-251\"} 0"), std::string::npos) << metrics;
    EXPECT_EQ(b.Post("/api/v1/projectors/3/key", R"({"code":27})")->status, 404);
}

TEST(ServerApi, TokenGuardsTheApiAndMetrics) {
    BenchSettings s;
    s.token = "s3cret-token";
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    struct Case {
        const char* label;
        std::string path;
        std::string authorization;  // empty: none sent
        int status;
    };
    const Case cases[] = {
        {"api without a token", "/api/v1/projectors", "", 401},
        {"api with a wrong token", "/api/v1/projectors", "Bearer s3cret-tokeX", 401},
        {"api with a longer token", "/api/v1/projectors", "Bearer s3cret-token2", 401},
        {"api with the token, not as bearer", "/api/v1/projectors", "s3cret-token", 401},
        {"api with the token", "/api/v1/projectors", "Bearer s3cret-token", 200},
        {"metrics without a token", "/metrics", "", 401},
        {"metrics with the token", "/metrics", "Bearer s3cret-token", 200},
        {"events without a token", "/api/v1/events", "", 401},
        {"the page needs none", "/", "", 200},
        {"the health check needs none", "/healthz", "", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        httplib::Headers headers;
        if (!c.authorization.empty()) headers.emplace("Authorization", c.authorization);
        const auto r = b.client->Get(c.path.c_str(), headers);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status);
        if (c.status == 401) {
            EXPECT_TRUE(Body(r)["error"].is_string());
        }
    }
    b.bus.ClearTranscript();
    EXPECT_EQ(b.Post("/api/v1/projectors/1/power", R"({"on":false})")->status, 401);
    EXPECT_TRUE(Requests(b.bus).empty());
}

TEST(ServerApi, AnotherOriginIsRefused) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    b.bus.ClearTranscript();
    httplib::Headers foreign{{"Origin", "http://evil.example"}};
    auto r = b.client->Post("/api/v1/projectors/1/power", foreign, R"({"on":false})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403);
    EXPECT_TRUE(Requests(b.bus).empty());
    httplib::Headers same{{"Origin", "http://127.0.0.1:" + std::to_string(b.http->Port())}};
    r = b.client->Post("/api/v1/projectors/1/key", same, R"({"code":27})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
}

// The API, the events and watch --json describe a projector with the same fields.
TEST(ServiceCore, ProjectorStateMatchesTheWatchLine) {
    Env env;
    ProjectorRecord r;
    r.address = 12;
    r.alphaId = 'V';
    r.projectorType = 25;
    r.softwareVersion = 4;
    r.idNumber = -2147483647;
    r.pause = 1;
    r.softEdge = 1;
    const json state = ProjectorStateJson(env, r, {"all"});
    const json watched = json::parse(cli::WatchEventJson("changed: " + cli::ProjectorLine(env, r), false,
                                                         std::chrono::system_clock::now()))["projector"];
    for (const auto& [key, value] : watched.items()) EXPECT_EQ(state[key], value) << key;
    EXPECT_EQ(watched.size(), 7u);
    EXPECT_EQ(state["options"], json::array({"softEdge"}));
    EXPECT_EQ(state["groups"], json::array({"all"}));
}

TEST(ServerOptions, WhereItMayListen) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        bool parses;
        bool allowed;
    };
    const Case cases[] = {
        {"default", {}, true, true},
        {"loopback v4", {"--listen", "127.0.0.1:9000"}, true, true},
        {"loopback elsewhere in 127/8", {"--listen", "127.1.2.3:9000"}, true, true},
        {"loopback v6", {"--listen", "[::1]:9000"}, true, true},
        {"any address without a token", {"--listen", "0.0.0.0:9000"}, true, false},
        {"a LAN address without a token", {"--listen", "192.168.1.5:9000"}, true, false},
        {"a name that only looks local", {"--listen", "127.0.0.1.example.com:9000"}, true, false},
        {"any address with a token", {"--listen", "0.0.0.0:9000", "--token-file", "t"}, true, true},
        {"port out of range", {"--listen", "127.0.0.1:70000"}, false, false},
        {"no port", {"--listen", "127.0.0.1"}, false, false},
        {"unknown option", {"--cors"}, false, false},
        {"baud without a rate", {"--baud"}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        server::ServerOptions o;
        std::string why;
        EXPECT_EQ(server::ParseServerArgs(c.args, &o, &why), c.parses) << why;
        if (!c.parses) continue;
        why.clear();
        EXPECT_EQ(server::ListenAllowed(o, &why), c.allowed);
        EXPECT_EQ(why.empty(), c.allowed);
    }
}

}  // namespace
}  // namespace ombrix
