// ombrix-server as a whole, over a pseudo-terminal served by ombrix-sim, with mosquitto on
// a loopback port: what an installer checks from outside.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "MqttBench.h"
#include "TempDir.h"
#include "service/Mqtt.h"

namespace ombrix::mqtt_e2e {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using testing::Broker;
using testing::TestClient;
using testing::WaitUntil;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Spawn(const std::vector<std::string>& argv, const char* out) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out, "w", stdout) || !freopen(out, "a", stderr) || !freopen("/dev/null", "r", stdin)) _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

std::string Bin(const char* name) { return std::string(OMBRIX_BIN_DIR) + "/" + name; }

std::string Site() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return TopicLevel(name);
}

class ServerAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        // A loaded machine answers the short probe late: a margin keeps it from missing one.
        std::ofstream("quicksearch.cfg") << "quick-search = on\nmargin-ms = 200\n";
        sim_ = Spawn({Bin("ombrix-sim"), "--bus", std::string(OMBRIX_DATA_DIR) + "/demo-bus.cfg", "--pty", "--link",
                      "tty", "--control", "ctl"},
                     "sim.out");
        ASSERT_TRUE(WaitUntil([] { return access("ctl", F_OK) == 0; }, 5000));
        port_ = testing::FreeLoopbackPort();
    }
    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            int status = 0;
            if (!WaitUntil([&] { return waitpid(server_, &status, WNOHANG) == server_; }, 20000)) {
                kill(server_, SIGKILL);
                waitpid(server_, nullptr, 0);
            }
        }
        kill(sim_, SIGTERM);
        waitpid(sim_, nullptr, 0);
    }
    bool StartServer(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{Bin("ombrix-server"), "--workdir", dir_.Path(), "--device", "tty",
                                      "--listen", "127.0.0.1:" + std::to_string(port_), "--check-interval", "3"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        server_ = Spawn(argv, "server.out");
        httplib::Client c("127.0.0.1", port_);
        // Serving at once; ready once the search has ended.
        auto ready = [&] {
            const auto r = c.Get("/healthz");
            return r && r->status == 200 && json::parse(r->body)["line"] != "searching";
        };
        return WaitUntil([&] { return ready() || waitpid(server_, nullptr, WNOHANG) != 0; }, 120000) &&
               waitpid(server_, nullptr, WNOHANG) == 0;
    }
    void Control(const std::string& line) { std::ofstream("ctl") << line << '\n'; }
    std::string StateOf(int address) {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(30s);
        const auto r = c.Get("/api/v1/projectors");
        if (!r) return "";
        const json list = json::parse(r->body);
        for (const json& p : list["projectors"]) {
            if (p["address"] == address) return p["state"];
        }
        return "";
    }

    testing::TempDir dir_;
    pid_t sim_ = -1;
    pid_t server_ = -1;
    int port_ = 0;
};

TEST_F(ServerAutomation, MqttStateDiscoveryCommandAndLastWill) {
    Broker broker(dir_.Path());
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(StartServer({"--mqtt", "127.0.0.1:" + std::to_string(broker.Port())})) << Slurp("server.out");
    const std::string base = "ombrix/" + Site();

    TestClient client(broker.Port());
    ASSERT_TRUE(client.Connected());
    client.Subscribe(base + "/#");
    client.Subscribe("homeassistant/#");
    for (int a : {1, 4, 7, 12}) {
        std::string payload;
        bool retained = false;
        ASSERT_TRUE(client.WaitFor(base + "/projector/" + std::to_string(a) + "/state",
                                   [](const std::string& p) { return !p.empty(); }, 10000, &payload))
            << a << "\n" << Slurp("server.out");
        client.Last(base + "/projector/" + std::to_string(a) + "/state", &payload, &retained);
        EXPECT_TRUE(retained) << a;
        EXPECT_EQ(json::parse(payload)["address"], a) << payload;
        // No snapshot yet: no drift, said rather than left unknown.
        EXPECT_TRUE(client.WaitFor(base + "/projector/" + std::to_string(a) + "/drift",
                                   [](const std::string& p) { return p == "OFF"; }, 10000))
            << a;
    }
    ASSERT_TRUE(WaitUntil(
        [&] {
            size_t n = 0;
            for (const auto& m : client.Messages()) n += m.topic.rfind("homeassistant/", 0) == 0;
            return n >= 20;
        },
        10000));
    std::set<std::string> ids;
    for (const auto& m : client.Messages()) {
        if (m.topic.rfind("homeassistant/", 0) != 0) continue;
        const json c = json::parse(m.payload, nullptr, false);
        ASSERT_FALSE(c.is_discarded()) << m.topic << ": " << m.payload;
        ids.insert(c.value("unique_id", ""));
    }
    EXPECT_EQ(ids.size(), 20u);
    // The device carries the serial number once the bridge has read it.
    const std::string powerConfig = "homeassistant/switch/" + MqttTopics("ombrix", Site()).NodeId(4) + "/power/config";
    std::string power;
    EXPECT_TRUE(client.WaitFor(
        powerConfig,
        [](const std::string& p) { return !json::parse(p)["device"].value("serial_number", "").empty(); }, 30000,
        &power))
        << power;

    const std::string modelAwake = json::parse(power)["device"].value("model", "");
    EXPECT_FALSE(modelAwake.empty()) << power;

    // A command on .../set goes to that projector only.
    ASSERT_EQ(StateOf(4), "Operating");
    client.Publish(base + "/projector/4/set", R"({"power": false})");
    std::string result;
    ASSERT_TRUE(client.WaitFor(base + "/projector/4/result", [](const std::string& p) { return !p.empty(); }, 30000,
                               &result))
        << Slurp("server.out");
    EXPECT_EQ(json::parse(result)["ok"], true) << result;
    // The broker's clients read what happened, never an HTTP status.
    EXPECT_FALSE(json::parse(result).contains("status")) << result;
    EXPECT_EQ(StateOf(4), "StandBy");
    EXPECT_EQ(StateOf(1), "Operating");
    EXPECT_TRUE(client.WaitFor(base + "/projector/4/state",
                               [](const std::string& p) { return json::parse(p)["state"] == "StandBy"; }, 10000));
    // A change of state keeps the device as it was announced.
    ASSERT_TRUE(client.Last(powerConfig, &power));
    EXPECT_FALSE(json::parse(power)["device"].value("serial_number", "").empty()) << power;
    EXPECT_EQ(json::parse(power)["device"].value("model", ""), modelAwake) << power;
    std::string available;
    ASSERT_TRUE(client.Last(base + "/projector/4/availability", &available));
    EXPECT_EQ(available, "online");

    // A group command reaches every member awake, names each in standby as passed over, and
    // answers on the group's result topic.
    client.Publish(base + "/group/all/set", R"({"key": 27})");
    ASSERT_TRUE(client.WaitFor(base + "/group/all/result", [](const std::string& p) { return !p.empty(); }, 60000,
                               &result))
        << Slurp("server.out");
    const json group = json::parse(result);
    EXPECT_EQ(group["group"], "all");
    ASSERT_EQ(group["results"].size(), 4u) << result;
    int skipped = 0;
    for (const json& member : group["results"]) {
        const bool asleep = member.value("skipped", "") == "standby";
        skipped += asleep;
        EXPECT_EQ(member["ok"], !asleep) << member.dump();
    }
    EXPECT_EQ(group["ok"], skipped == 0) << result;
    EXPECT_FALSE(group.contains("status")) << result;

    // A projector that stops answering is unavailable in its own right, its device kept.
    Control("power 12 off");
    EXPECT_TRUE(client.WaitFor(base + "/projector/12/availability", [](const std::string& p) { return p == "offline"; },
                               60000))
        << Slurp("server.out");
    std::string lost;
    ASSERT_TRUE(client.Last(base + "/projector/12/state", &lost));
    EXPECT_EQ(json::parse(lost)["lost"], true) << lost;
    EXPECT_NE(json::parse(lost)["model"], "?") << lost;
    std::string config;
    ASSERT_TRUE(
        client.Last("homeassistant/switch/" + MqttTopics("ombrix", Site()).NodeId(12) + "/power/config", &config));
    EXPECT_FALSE(config.empty());

    // The line lost: nothing is known of any projector, so none is available; back with the line.
    Control("drop");
    for (int a : {1, 4, 7}) {
        EXPECT_TRUE(client.WaitFor(base + "/projector/" + std::to_string(a) + "/availability",
                                   [](const std::string& p) { return p == "offline"; }, 30000))
            << a << "\n" << Slurp("server.out");
    }
    Control("restore");
    EXPECT_TRUE(client.WaitFor(base + "/projector/1/availability", [](const std::string& p) { return p == "online"; },
                               60000))
        << Slurp("server.out");

    // Killed outright, the server leaves its last will with the broker.
    EXPECT_TRUE(client.WaitFor(base + "/status", [](const std::string& p) { return p == "online"; }, 1000));
    kill(server_, SIGKILL);
    waitpid(server_, nullptr, 0);
    server_ = -1;
    EXPECT_TRUE(client.WaitFor(base + "/status", [](const std::string& p) { return p == "offline"; }, 10000));
}

TEST_F(ServerAutomation, ScheduleForTheNextMinuteSwitchesTheProjector) {
    ASSERT_TRUE(StartServer()) << Slurp("server.out");
    ASSERT_EQ(StateOf(4), "Operating");
    // The next minute, unless it is too close to reach in time.
    const time_t now = time(nullptr);
    const time_t at = now - now % 60 + (60 - now % 60 < 5 ? 120 : 60);
    tm local{};
    localtime_r(&at, &local);
    char hhmm[6];
    strftime(hhmm, sizeof hhmm, "%H:%M", &local);
    const char* days[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    const json entries = json::array({{{"name", "Soon"},
                                       {"days", {days[local.tm_wday]}},
                                       {"time", hhmm},
                                       {"target", {{"address", 4}}},
                                       {"action", {{"power", false}}}}});
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(30s);
    auto r = c.Put("/api/v1/schedules", entries.dump(), "application/json");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    r = c.Get("/api/v1/schedules");
    ASSERT_TRUE(r);
    const json list = json::parse(r->body);
    ASSERT_EQ(list.size(), 1u);
    char iso[32];
    strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:00", &local);
    EXPECT_EQ(list[0]["next"].get<std::string>().substr(0, 19), iso) << r->body;
    EXPECT_NE(Slurp("schedules.json").find("\"Soon\""), std::string::npos);

    ASSERT_TRUE(WaitUntil([&] { return StateOf(4) == "StandBy"; }, static_cast<int>(at - now + 30) * 1000))
        << Slurp("server.out");
    EXPECT_EQ(StateOf(1), "Operating");
    ASSERT_TRUE(WaitUntil([&] { return json::parse(c.Get("/api/v1/schedules")->body)[0]["last_ok"] == true; }, 10000));
    EXPECT_NE(Slurp("server.out").find("schedule \"Soon\""), std::string::npos);
}

}  // namespace
}  // namespace ombrix::mqtt_e2e
