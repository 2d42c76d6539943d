// The HTTP API against the in-process simulator: every route, every refusal, the line
// shared between parallel requests, the event stream, the token.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "EventReader.h"
#include "ServerBench.h"
#include "Cli.h"
#include "ServerOptions.h"
#include "directaccess/Force.h"
#include "link/Commands.h"
#include "discovery/Search.h"
#include "service/ProjectorJson.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::BenchSettings;
using testing::EventReader;
using testing::Requests;
using testing::ServerBench;
using namespace std::chrono_literals;

json Body(const httplib::Result& r) { return r ? json::parse(r->body, nullptr, false) : json(); }

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
        {"a group name cut inside a character", "POST", "/api/v1/groups/" + std::string(63, 'g') + "%C3%A9%C3%A9/snapshot",
         "{}", "application/json", 404},
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

json Listed(ServerBench& b, int address) {
    const json list = Body(b.client->Get("/api/v1/projectors"));
    for (const json& p : list["projectors"])
        if (p["address"] == address) return p;
    return json();
}

// The start-up search asks each projector each thing once: what its probe read (identity,
// id number) serves the live view, which asks only the rest.
TEST(ServerLive, TheSearchAsksEachProjectorEachThingOnce) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    struct Case {
        const char* label;
        int command;
        long awake, inStandby;  // requests to each projector awake (1, 3) and to 2, in standby
    };
    const Case cases[] = {
        {"status", kCmdReadStatus, 1, 1},
        {"identity", kCmdReadIdentity, 1, 0},
        {"id number", kCmdReadIdNumber, 1, 0},
        {"serial number", kCmdReadSerialNumber, 1, 0},
        {"running hours", kCmdReadRuntime, 1, 0},
    };
    const auto sent = Requests(b.bus);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (int address : {1, 2, 3}) {
            EXPECT_EQ(std::count(sent.begin(), sent.end(), std::make_pair(address, c.command)),
                      address == 2 ? c.inStandby : c.awake)
                << "projector " << address;
        }
    }
    EXPECT_EQ(Listed(b, 1)["version"], "3.05");
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
    for (const char* line : {"ombrix_projector_up{address=\"1\"} 1", "ombrix_projector_up{address=\"2\"} 1",
                             "ombrix_projector_up{address=\"3\"} 1", "ombrix_line_up 1",
                             "ombrix_projector_info{address=\"1\",model=\"ZV-051\",version=\"3.05\"} 1",
                             "ombrix_projector_state{address=\"2\",state=\"StandBy\"} 1",
                             "ombrix_projector_running_seconds{address=\"1\"} 1080000",
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

// A source is done only when the projector took it: alone or as a group member, whatever
// the line said instead of its acknowledgement, the answer is a failure, and a projector
// that did not answer its status is sent no digit.
TEST(ServerApi, ASourceIsDoneOnlyWhenTheProjectorTookIt) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    using sim::Fault;
    using sim::FaultKind;
    struct Case {
        const char* label;
        Fault fault;  // on projector 1: kind, arg, exchanges it lasts, exchanges passed first
        std::string path;
        bool digitSent;
    };
    const Case cases[] = {
        {"silence", Fault{FaultKind::Silence, 0, 1, 0}, "/api/v1/projectors/1/source", false},
        {"NACK", Fault{FaultKind::Nack, 0, 1, 0}, "/api/v1/projectors/1/source", false},
        {"a stray byte for the acknowledgement", Fault{FaultKind::OnlyByte, 0x5A, 1, 0}, "/api/v1/projectors/1/source",
         false},
        {"an acknowledgement too late", Fault{FaultKind::LateAck, 4000, 1, 0}, "/api/v1/projectors/1/source", false},
        {"the digit refused", Fault{FaultKind::Nack, 0, 1, 1}, "/api/v1/projectors/1/source", true},
        {"the digit unanswered", Fault{FaultKind::Silence, 0, 1, 1}, "/api/v1/projectors/1/source", true},
        {"a silent member of a group", Fault{FaultKind::Silence, 0, 1, 0}, "/api/v1/groups/Dome/source", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        b.bus.SetFault(1, c.fault);
        b.bus.ClearTranscript();
        const auto r = b.Post(c.path, R"({"slot":7})");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 502) << r->body;
        const json body = Body(r);
        EXPECT_EQ(body["ok"], false) << r->body;
        if (body.contains("results")) {
            EXPECT_EQ(body["results"].back()["address"], 1);
            EXPECT_EQ(body["results"].back()["ok"], false) << r->body;
            const std::string said = "1 of 3 done; projector 9 skipped: not connected; projector 1 failed";
            EXPECT_EQ(body.value("summary", "").rfind(said, 0), 0u) << r->body;
        }
        const auto sent = Requests(b.bus);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), std::make_pair(1, 0x17)), c.digitSent ? 1 : 0);
        b.bus.SetFault(1, Fault{});
        std::this_thread::sleep_for(600ms);  // a late acknowledgement has come and gone
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


// Standby and loss change the state, never the identity: the list, the events and the
// metric labels keep the model, version and serial read while the projector was awake,
// and a projector that answers again is found without a restart.
TEST(ServerLive, StandbyAndLossKeepTheIdentityAndALostProjectorIsFoundAgain) {
    BenchSettings s;
    s.checkIntervalMs = 2000;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    auto control = [&](const std::string& line) {
        std::string reply;
        ASSERT_TRUE(b.bus.Control(line, b.clock.TickMs(), &reply)) << reply;
    };
    auto eventAt = [&](const char* kind, int address) {
        return reader.WaitFor([&](const json& e) { return e["event"] == kind && e.value("address", 0) == address; },
                              20s);
    };
    struct Step {
        const char* label;
        std::function<void()> act;
        const char* event;  // awaited for `address`, or nullptr
        int address;
        std::string state;
        bool standby, lost;
        std::string metric;  // a line /metrics must hold
    };
    const Step steps[] = {
        {"awake", [] {}, nullptr, 1, "Operating", false, false,
         "ombrix_projector_up{address=\"1\"} 1"},
        {"switched to standby through the API",
         [&] { ASSERT_EQ(b.Post("/api/v1/projectors/1/power", R"({"on":false})")->status, 200); }, "command", 1,
         "StandBy", true, false, "ombrix_projector_up{address=\"1\"} 1"},
        {"switched off: lost, still listed", [&] { control("power 1 off"); }, "lost", 1, "Lost", true, true,
         "ombrix_projector_up{address=\"1\"} 0"},
        {"switched on again: found within a round", [&] { control("power 1 on"); }, "found", 1, "StandBy", true, false,
         "ombrix_projector_up{address=\"1\"} 1"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        step.act();
        if (step.event) {
            ASSERT_GE(eventAt(step.event, step.address), 0) << b.hostLog.str();
        }
        const json p = Listed(b, step.address);
        EXPECT_EQ(p["state"], step.state) << p.dump();
        EXPECT_EQ(p["standby"], step.standby);
        EXPECT_EQ(p["lost"], step.lost);
        EXPECT_EQ(p["model"], "ZV-051");
        EXPECT_EQ(p["version"], "3.05");
        EXPECT_EQ(p["serial"], "1234567");
        EXPECT_EQ(p["runtime"], 300);
        EXPECT_NE(b.client->Get("/metrics")->body.find(step.metric), std::string::npos) << step.metric;
        EXPECT_EQ(b.Post("/api/v1/projectors/1/key", R"({"code":27})")->status, step.lost ? 404 : 200);
    }
    for (const json& e : reader.Events()) {
        if (e.contains("projector") && e.value("address", 0) == 1) {
            EXPECT_EQ(e["projector"]["model"], "ZV-051") << e.dump();
        }
    }
}

// The race that once published "StandBy" after a power-on had succeeded: readings taken
// during the wake-up reach the owner after the command; they are older, and dropped.
TEST(ServerLive, AnOlderReadingNeverOverwritesACommandsResult) {
    BenchSettings s;
    s.checkIntervalMs = 200;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    // Found in standby, its model unknown: the series a dashboard follows is the one it
    // keeps once awake; what it is comes on the info series.
    const std::string up = "\nombrix_projector_up{address=\"2\"} 1\n";
    const std::string info = "\nombrix_projector_info{address=\"2\",";
    std::string metrics = b.client->Get("/metrics")->body;
    EXPECT_NE(metrics.find(up), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find(info), std::string::npos) << metrics;
    const auto r = b.Post("/api/v1/projectors/2/power", R"({"on":true})");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(Body(r)["projector"]["state"], "Operating");
    const int command =
        reader.WaitFor([](const json& e) { return e["event"] == "command" && e.value("address", 0) == 2; });
    ASSERT_GE(command, 0);
    // Long enough for every reading queued behind the command, and a few rounds more.
    std::this_thread::sleep_for(2s);
    const auto events = reader.Events();
    for (size_t i = static_cast<size_t>(command); i < events.size(); ++i) {
        if (events[i].value("address", 0) == 2 && events[i].contains("projector")) {
            EXPECT_EQ(events[i]["projector"]["state"], "Operating") << events[i].dump();
        }
    }
    EXPECT_EQ(Listed(b, 2)["state"], "Operating");
    // Awake now, it has been identified as ombrix-cli would print it.
    EXPECT_EQ(Listed(b, 2)["version"], "2.10");
    metrics = b.client->Get("/metrics")->body;
    EXPECT_NE(metrics.find(up), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find("ombrix_projector_up{address=\"2\","), std::string::npos) << metrics;
    const size_t at = metrics.find(info);
    ASSERT_NE(at, std::string::npos) << metrics;
    EXPECT_NE(metrics.substr(at, metrics.find('\n', at + 1) - at).find(",version=\"2.10\"} 1"), std::string::npos)
        << metrics;
}

TEST(ServerLive, WhileTheLineIsLostEveryProjectorIsUnknownAndCommandsWait) {
    BenchSettings s;
    s.checkIntervalMs = 500;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    b.bus.DropLine();
    ASSERT_GE(reader.WaitFor([](const json& e) { return e["event"] == "line lost"; }, 20s), 0) << b.hostLog.str();
    ASSERT_GE(reader.WaitFor([](const json& e) { return e["event"] == "state change" && e.value("address", 0) == 3; }),
              0);
    struct Case {
        const char* label;
        std::function<httplib::Result()> request;
        int status;
        std::function<void(const httplib::Result&)> check;
    };
    const Case cases[] = {
        {"health", [&] { return b.client->Get("/healthz"); }, 200,
         [](const httplib::Result& r) { EXPECT_EQ(Body(r)["line"], "lost"); }},
        {"the list", [&] { return b.client->Get("/api/v1/projectors"); }, 200,
         [](const httplib::Result& r) {
             const json list = Body(r);
             for (const json& p : list["projectors"]) EXPECT_EQ(p["state"], "unknown") << p.dump();
             EXPECT_EQ(list["projectors"][0]["model"], "ZV-051");
         }},
        {"the metrics", [&] { return b.client->Get("/metrics"); }, 200,
         [](const httplib::Result& r) {
             EXPECT_NE(r->body.find("ombrix_line_up 0"), std::string::npos);
             EXPECT_EQ(r->body.find("ombrix_projector_up{address=\"1\"} 1"), std::string::npos);
             EXPECT_NE(r->body.find("ombrix_projector_up{address=\"1\"} 0"), std::string::npos);
         }},
        {"a command", [&] { return b.Post("/api/v1/projectors/1/key", R"({"code":27})"); }, 503,
         [](const httplib::Result& r) {
             EXPECT_EQ(r->get_header_value("Retry-After"), "5");
             EXPECT_NE(Body(r).value("error", "").find("was lost"), std::string::npos) << r->body;
         }},
        {"a group command", [&] { return b.Post("/api/v1/groups/all/key", R"({"code":27})"); }, 503, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto r = c.request();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
        if (c.check) c.check(r);
    }
    b.bus.RestoreLine();
    ASSERT_GE(reader.WaitFor([](const json& e) { return e["event"] == "line back"; }, 20s), 0) << b.hostLog.str();
    const int back = reader.WaitFor(
        [](const json& e) {
            return e.value("address", 0) == 1 && e.contains("projector") && e["projector"]["state"] == "Operating";
        }, 20s);
    EXPECT_GE(back, 0);
    EXPECT_EQ(b.Post("/api/v1/projectors/1/key", R"({"code":27})")->status, 200);
}

// The whole of 1-255 asked the ordinary way takes many minutes; meanwhile the server
// answers at once, lists what it found so far, refuses commands with when to come back,
// and stops at once, keeping nothing of the unfinished search.
TEST(ServerLive, ServesWhileTheSearchRunsAndStopsItAtOnce) {
    BenchSettings s;
    s.searchLimit = 255;
    s.waitForSearch = false;
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_GE(reader.WaitFor([](const json& e) { return e["event"] == "found" && e.value("address", 0) == 3; }, 20s),
              0);
    ASSERT_TRUE(b.host->Searching());
    struct Case {
        const char* label;
        std::function<httplib::Result()> request;
        int status;
        std::function<void(const json&)> check;
    };
    const Case cases[] = {
        {"health", [&] { return b.client->Get("/healthz"); }, 200,
         [](const json& j) { EXPECT_EQ(j, json({{"status", "ok"}, {"line", "searching"}})); }},
        {"the list so far", [&] { return b.client->Get("/api/v1/projectors"); }, 200,
         [](const json& j) {
             EXPECT_EQ(j["searching"], true);
             EXPECT_EQ(Addresses(j["projectors"]), (std::vector<int>{1, 2, 3}));
         }},
        {"a command", [&] { return b.Post("/api/v1/projectors/1/key", R"({"code":27})"); }, 503, nullptr},
        {"details", [&] { return b.client->Get("/api/v1/projectors/1"); }, 503, nullptr},
        {"another search", [&] { return b.Post("/api/v1/search", ""); }, 503, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto r = c.request();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
        if (c.status == 503) {
            EXPECT_EQ(r->get_header_value("Retry-After"), "5");
        }
        if (c.check) c.check(Body(r));
    }
    const auto t0 = std::chrono::steady_clock::now();
    b.host->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_FALSE(std::filesystem::exists("addr.cfg")) << "the unfinished search wrote its address set";
}

// A search the line cut short concludes nothing, as in the window and ombrix-cli: finding
// nobody then does not switch the search off, and the server searches again once the
// line is back.
TEST(ServerLive, ASearchTheLineCutShortIsMadeAgainAndSwitchesNothingOff) {
    BenchSettings s;
    s.waitForSearch = false;
    s.beforeSearch = [](sim::SimBus& bus) { bus.DropLine(); };
    ServerBench b(s);
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    const int lost = reader.WaitFor([](const json& e) { return e["event"] == "line lost"; }, 20s);
    ASSERT_GE(lost, 0) << b.hostLog.str();
    b.bus.RestoreLine();
    const int ended = reader.WaitFor(
        [](const json& e) {
            return e["event"] == "search" && !e["running"].get<bool>() &&
                   e.value("text", "").find(": 3 projector") != std::string::npos;
        },
        30s, static_cast<size_t>(lost));
    ASSERT_GE(ended, 0) << b.hostLog.str();
    EXPECT_EQ(b.Post("/api/v1/projectors/1/key", R"({"code":27})")->status, 200);
    b.host->Stop();
    ProgramOptions saved;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &saved, nullptr), OptionsRead::Loaded);
    EXPECT_FALSE(SearchSkipped(saved));
}

TEST(ServerLive, ASearchOnDemandFindsAgainAndLosesWhatIsGone) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    EventReader reader(b.http->Port());
    ASSERT_EQ(reader.WaitFor([](const json& e) { return e["event"] == "snapshot"; }), 0);
    std::string reply;
    ASSERT_TRUE(b.bus.Control("power 3 off", b.clock.TickMs(), &reply)) << reply;
    const auto r = b.Post("/api/v1/search", "");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 202) << r->body;
    const int end = reader.WaitFor([](const json& e) { return e["event"] == "search" && e["running"] == false; }, 30s);
    ASSERT_GT(end, 0) << b.hostLog.str();
    std::vector<std::string> seen;
    for (const json& e : reader.Events())
        if (e["event"] == "found" || e["event"] == "lost")
            seen.push_back(e["event"].get<std::string>() + " " + e["address"].dump());
    EXPECT_EQ(seen, (std::vector<std::string>{"found 1", "found 2", "lost 3"}));
    const json list = Body(b.client->Get("/api/v1/projectors"));
    EXPECT_EQ(list["searching"], false);
    EXPECT_EQ(Listed(b, 3)["lost"], true);
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

// What the API description promises is what the server has: every /api route is in it,
// and every path in it answers (a request it refuses is 4xx, never "no such route").
TEST(ServerApi, TheApiDescriptionNamesEveryRouteAndEachAnswers) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    const auto r = b.client->Get("/api/v1/openapi.json");
    ASSERT_TRUE(r);
    const json doc = json::parse(r->body, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << r->body.substr(0, 200);
    EXPECT_EQ(doc["openapi"].get<std::string>().substr(0, 2), "3.");
    // Without a token none is asked for.
    EXPECT_EQ(doc["security"], json::array({json::object()}));
    std::vector<std::pair<std::string, std::string>> documented;  // method, path with examples
    std::vector<json> responses;                                  // of each, in the same order
    for (const auto& [path, item] : doc["paths"].items()) {
        std::string concrete = path;
        for (const auto& [name, example] : {std::pair{"{address}", "1"}, {"{command}", "text"}, {"{group}", "all"}}) {
            const size_t at = concrete.find(name);
            if (at != std::string::npos) concrete.replace(at, std::string(name).size(), example);
        }
        for (const auto& [method, op] : item.items()) {
            if (method != "get" && method != "post" && method != "put") continue;
            documented.emplace_back(method == "get" ? "GET" : method == "post" ? "POST" : "PUT", concrete);
            responses.push_back(op["responses"]);
        }
    }
    for (size_t i = 0; i < documented.size(); ++i) {
        const auto& [method, path] = documented[i];
        SCOPED_TRACE(method + " " + path);
        // What the front refuses on any route is described on each.
        for (const char* status : {"400", "405", "421", "431", "503"}) EXPECT_TRUE(responses[i].contains(status)) << status;
        int status = 0;
        if (method == "GET") {
            // An event stream is left as soon as its head is in.
            b.client->Get(path.c_str(), [&](const httplib::Response& res) { return (status = res.status), res.status != 200; },
                          [](const char*, size_t) { return false; });
        } else {
            const auto res = method == "POST" ? b.client->Post(path.c_str(), "{}", "application/json")
                                              : b.client->Put(path.c_str(), "{}", "application/json");
            status = res ? res->status : 0;
        }
        EXPECT_NE(status, 0);
        EXPECT_NE(status, 404);
        EXPECT_NE(status, 405);
        EXPECT_TRUE(responses[i].contains(std::to_string(status))) << "answered " << status << ", not described";
    }
    for (const auto& route : b.http->RouteList()) {
        if (route.pattern.rfind("/api/", 0) != 0) continue;
        const std::regex pattern(route.pattern);
        const bool found = std::any_of(documented.begin(), documented.end(), [&](const auto& d) {
            return d.first == route.method && std::regex_match(d.second, pattern);
        });
        EXPECT_TRUE(found) << "not described: " << route.method << " " << route.pattern;
    }
}

// watch --json gives each projector it finds as the API lists it: the version as read,
// serial number, running hours, standby, lost, groups.
TEST(ServiceCore, WatchJsonGivesEachProjectorAsTheApiDoes) {
    ServerBench b;
    ASSERT_TRUE(b.started);
    // The same projectors on a bus of the command line's own, in the server's folder.
    VirtualClock clock;
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
    sim::InProcessOpener opener{bus, clock};
    std::ostringstream out, err;
    cli::CliPorts ports;
    ports.clock = &clock;
    ports.devices = &opener;
    ports.libraries = &b.libraries;
    ports.out = &out;
    ports.err = &err;
    ASSERT_EQ(cli::RunCli({"--json", "--device", "sim", "watch", "--once", "--interval", "1"}, ports), 0) << out.str();
    std::istringstream lines(out.str());
    std::set<int> found;
    for (std::string line; std::getline(lines, line);) {
        const json e = json::parse(line);
        if (e["event"] != "found") continue;
        const int address = e["projector"]["address"];
        SCOPED_TRACE(address);
        found.insert(address);
        EXPECT_EQ(e["projector"], Listed(b, address));
    }
    EXPECT_EQ(found, (std::set<int>{1, 2, 3})) << out.str();
}

TEST(ServerOptions, WhichHostNamesTheServer) {
    struct Case {
        const char* label;
        const char* host;    // the request's Host header
        const char* listen;  // --listen's address
        bool allowed;
    };
    const Case cases[] = {
        {"its address and port", "127.0.0.1:8470", "127.0.0.1", true},
        {"localhost, any case, trailing dot", "LocalHost.:8470", "127.0.0.1", true},
        {"another loopback address", "127.0.0.1:8470", "localhost", true},
        {"v6 loopback in brackets", "[::1]:8470", "::1", true},
        {"an allowed name", "Console.Example", "127.0.0.1", true},
        {"any address when listening on all", "192.168.1.5:8470", "0.0.0.0", true},
        {"a rebound name", "rebind.example:8470", "127.0.0.1", false},
        {"a name on a server listening on all", "rebind.example", "0.0.0.0", false},
        {"a LAN address on a loopback server", "192.168.1.5", "127.0.0.1", false},
        {"an allowed name with more to it", "console.example.evil", "127.0.0.1", false},
        {"a port that is no number", "127.0.0.1:80x", "127.0.0.1", false},
        {"no host", "", "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(server::HostAllowed(c.host, c.listen, {"console.example"}), c.allowed);
    }
    EXPECT_TRUE(server::OriginAllowed("https://Console.Example", "console.example"));
    EXPECT_FALSE(server::OriginAllowed("null", "console.example"));
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
        {"a name to be reached by", {"--allow-host", "Console.Example", "--allow-host", "rack"}, true, true},
        {"allow-host without a name", {"--allow-host", "a/b"}, false, false},
        {"no stream at all", {"--max-streams", "0"}, false, false},
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
