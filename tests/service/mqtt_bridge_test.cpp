// The broker adapter against a real mosquitto on a loopback port; its commands reach the
// in-process simulator.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "MqttBench.h"
#include "SimBench.h"
#include "TempDir.h"
#include "directaccess/Force.h"
#include "link/Commands.h"
#include "server/MqttBridge.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::Broker;
using testing::TempDir;
using testing::TestClient;
using testing::WaitUntil;

constexpr int kWaitMs = 5000;

MqttConfig Config(int port, const std::string& site = "test") {
    MqttConfig c;
    c.host = "127.0.0.1";
    c.port = port;
    c.site = site;
    c.clientId = "ombrix-bridge-test-" + site;
    c.keepAliveSec = 5;
    return c;
}

std::string State(int address, const std::string& state) {
    return json{{"address", address}, {"model", "25V"}, {"serial", "F1-00000" + std::to_string(address)},
                {"state", state}, {"runtime", 100 + address}}
        .dump();
}

bool Standby(testing::SimBench& bench, uint8_t address) {
    bool s = false;
    bench.bus.With(address, [&](sim::SimProjector& p) { s = p.Standby(); });
    return s;
}

class MqttBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broker.Start()) << "mosquitto did not start"; }

    // Power commands go to the simulator as the power key.
    MqttBridge::CommandRunner Runner() {
        return [this](const MqttCommandTopic& topic, const ServiceAction& action) {
            ++commands;
            if (action.command != "power" || topic.group) return std::string(R"({"ok":false,"error":"not here"})");
            const int r = KeyCommand(bench.link, static_cast<uint8_t>(topic.address), kKeyPower);
            return json{{"ok", r == kDone}, {"results", {{{"address", topic.address}, {"ok", r == kDone}}}}}.dump();
        };
    }

    TempDir dir;
    Broker broker{dir.Path()};
    testing::SimBench bench{testing::kThreeProjectors};
    std::atomic<int> commands{0};
    std::vector<std::string> log;
    std::mutex logMutex;
    MqttBridge::LogSink Log() {
        return [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
    }
};

TEST_F(MqttBridgeTest, RetainedStateAndDiscoveryForEachProjector) {
    MqttBridge bridge(Config(broker.Port()), Runner(), Log());
    std::string reason;
    ASSERT_TRUE(bridge.Start(&reason)) << reason;
    bridge.LineChanged(true);
    for (int a : {1, 2, 3}) bridge.ProjectorChanged(a, State(a, "operating"));
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, kWaitMs));
    {
        // Connected is not yet published: a client that came now could get the rest live,
        // which the broker does not mark as retained. Once a first client has seen all
        // fifteen configs and three states, the broker holds them.
        TestClient first(broker.Port());
        first.Subscribe("ombrix/test/#");
        first.Subscribe("homeassistant/#");
        ASSERT_TRUE(WaitUntil(
            [&] {
                size_t configs = 0, states = 0;
                for (const auto& m : first.Messages()) {
                    configs += m.topic.rfind("homeassistant/", 0) == 0;
                    states += m.topic.size() > 6 && m.topic.compare(m.topic.size() - 6, 6, "/state") == 0 &&
                              m.topic.rfind("ombrix/test/projector/", 0) == 0;
                }
                return configs >= 15 && states >= 3;
            },
            kWaitMs));
    }

    // A client that comes later sees it all from the retained messages.
    TestClient client(broker.Port());
    client.Subscribe("ombrix/test/#");
    client.Subscribe("homeassistant/#");
    for (int a : {1, 2, 3}) {
        std::string payload;
        bool retained = false;
        ASSERT_TRUE(client.WaitFor("ombrix/test/projector/" + std::to_string(a) + "/state",
                                   [](const std::string&) { return true; }, kWaitMs, &payload));
        // What it sees first is the retained copy; the state goes out again live a moment
        // after each connection.
        for (const auto& m : client.Messages()) {
            if (m.topic != "ombrix/test/projector/" + std::to_string(a) + "/state") continue;
            retained = m.retained;
            break;
        }
        client.Last("ombrix/test/projector/" + std::to_string(a) + "/state", &payload);
        EXPECT_TRUE(retained);
        EXPECT_EQ(payload, State(a, "operating"));
    }
    EXPECT_TRUE(client.WaitFor("ombrix/test/status", [](const std::string& p) { return p == "online"; }, kWaitMs));
    EXPECT_TRUE(client.WaitFor("ombrix/test/line", [](const std::string& p) { return p == "up"; }, kWaitMs));
    ASSERT_TRUE(WaitUntil(
        [&] {
            size_t n = 0;
            for (const auto& m : client.Messages()) n += m.topic.rfind("homeassistant/", 0) == 0;
            return n >= 15;
        },
        kWaitMs));
    std::set<std::string> ids;
    for (const auto& m : client.Messages()) {
        if (m.topic.rfind("homeassistant/", 0) != 0) continue;
        if (ids.count(json::parse(m.payload).value("unique_id", ""))) continue;  // sent again live
        EXPECT_TRUE(m.retained) << m.topic;
        const json c = json::parse(m.payload, nullptr, false);
        ASSERT_FALSE(c.is_discarded()) << m.topic << ": " << m.payload;
        EXPECT_TRUE(ids.insert(c.value("unique_id", "")).second) << m.payload;
    }
    EXPECT_EQ(ids.size(), 15u);
    std::string power;
    ASSERT_TRUE(client.Last("homeassistant/switch/ombrix_test_3/power/config", &power));
    EXPECT_EQ(json::parse(power)["command_topic"], "ombrix/test/projector/3/set");

    // The settings-drift sensor: on with a drift, off with a snapshot as the one before it.
    ServiceEvent drift;
    drift.kind = "drift";
    drift.address = 3;
    bridge.OnServiceEvent(drift);
    EXPECT_TRUE(client.WaitFor("ombrix/test/projector/3/drift", [](const std::string& p) { return p == "ON"; }, kWaitMs));
    ServiceEvent same;
    same.kind = "snapshot taken";
    same.address = 3;
    same.fields = {{"complete", true}, {"drift", false}};
    bridge.OnServiceEvent(same);
    EXPECT_TRUE(client.WaitFor("ombrix/test/projector/3/drift", [](const std::string& p) { return p == "OFF"; }, kWaitMs));

    // Forgotten: the discovery configs are emptied, retained.
    bridge.ProjectorForgotten(2);
    EXPECT_TRUE(client.WaitFor("homeassistant/switch/ombrix_test_2/power/config",
                               [](const std::string& p) { return p.empty(); }, kWaitMs));
}

TEST_F(MqttBridgeTest, CommandReachesTheSimulatorAndMalformedOnesChangeNothing) {
    MqttBridge bridge(Config(broker.Port()), Runner(), Log());
    std::string reason;
    ASSERT_TRUE(bridge.Start(&reason)) << reason;
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, kWaitMs));
    TestClient client(broker.Port());
    client.Subscribe("ombrix/test/+/+/result");
    ASSERT_TRUE(WaitUntil([&] { return client.Connected(); }, kWaitMs));

    struct Bad {
        const char* label;
        const char* topic;
        const char* payload;
    };
    for (const Bad& b : {Bad{"Malformed", "ombrix/test/projector/3/set", "{\"power\": "},
                         Bad{"WrongType", "ombrix/test/projector/3/set", "{\"power\": \"off\"}"},
                         Bad{"UnknownCommand", "ombrix/test/projector/3/set", "{\"reboot\": 1}"},
                         Bad{"AddressOutOfRange", "ombrix/test/projector/999/set", "{\"power\": false}"}}) {
        std::string result = b.topic;
        result.replace(result.size() - 3, 3, "result");
        client.Clear();
        client.Publish(b.topic, b.payload);
        std::string payload;
        ASSERT_TRUE(client.WaitFor(result, [](const std::string&) { return true; }, kWaitMs, &payload)) << b.label;
        const json r = json::parse(payload, nullptr, false);
        EXPECT_EQ(r.value("ok", true), false) << b.label << ": " << payload;
        EXPECT_FALSE(r.value("error", "").empty()) << b.label;
    }
    EXPECT_EQ(commands.load(), 0);
    EXPECT_FALSE(Standby(bench, 3));

    client.Publish("ombrix/test/projector/3/set", R"({"power": false})");
    std::string payload;
    ASSERT_TRUE(client.WaitFor("ombrix/test/projector/3/result", [](const std::string& p) { return !p.empty(); },
                               kWaitMs, &payload));
    EXPECT_EQ(json::parse(payload)["ok"], true) << payload;
    EXPECT_TRUE(Standby(bench, 3));
    EXPECT_FALSE(Standby(bench, 1));

    // A command left retained on the broker is not run again by a later connection.
    client.Publish("ombrix/test/projector/1/set", R"({"power": false})", true);
    ASSERT_TRUE(WaitUntil([&] { return commands.load() == 2; }, kWaitMs));
    MqttBridge second(Config(broker.Port(), "test"), Runner(), Log());
    bridge.Stop();
    ASSERT_TRUE(second.Start(&reason)) << reason;
    ASSERT_TRUE(WaitUntil([&] { return second.Connected(); }, kWaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(commands.load(), 2);
    client.Publish("ombrix/test/projector/1/set", "", true);  // clear it
}

TEST_F(MqttBridgeTest, ReconnectsAfterTheBrokerRestartsAndSendsTheStateAgain) {
    MqttBridge bridge(Config(broker.Port()), Runner(), Log());
    std::string reason;
    ASSERT_TRUE(bridge.Start(&reason)) << reason;
    bridge.ProjectorChanged(3, State(3, "operating"));
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, kWaitMs));

    broker.Stop();  // without persistence: the retained messages go with it
    ASSERT_TRUE(WaitUntil([&] { return !bridge.Connected(); }, kWaitMs));
    bridge.ProjectorChanged(3, State(3, "standby"));  // while the broker is away: returns at once
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, 10000)) << "no reconnection";

    TestClient client(broker.Port());
    client.Subscribe("ombrix/test/#");
    std::string state;
    EXPECT_TRUE(client.WaitFor("ombrix/test/projector/3/state",
                               [](const std::string& p) { return p == State(3, "standby"); }, kWaitMs, &state))
        << state;
    EXPECT_TRUE(client.WaitFor("ombrix/test/status", [](const std::string& p) { return p == "online"; }, kWaitMs));
}

TEST_F(MqttBridgeTest, BrokerAwayAtStartIsNoError) {
    broker.Stop();
    MqttBridge bridge(Config(broker.Port()), Runner(), Log());
    std::string reason;
    ASSERT_TRUE(bridge.Start(&reason)) << reason;
    bridge.ProjectorChanged(1, State(1, "operating"));
    EXPECT_FALSE(bridge.Connected());
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, 10000));
    TestClient client(broker.Port());
    client.Subscribe("ombrix/test/projector/1/state");
    EXPECT_TRUE(client.WaitFor("ombrix/test/projector/1/state",
                               [](const std::string& p) { return p == State(1, "operating"); }, kWaitMs));
}

// Run as a child process by the last-will test: a bridge that stays until it is killed.
TEST(MqttBridgeChild, HoldsTheConnection) {
    const char* port = std::getenv("OMBRIX_MQTT_CHILD_PORT");
    if (!port) GTEST_SKIP() << "started by the last-will test only";
    MqttBridge bridge(Config(std::atoi(port), "child"), nullptr, nullptr);
    std::string reason;
    ASSERT_TRUE(bridge.Start(&reason));
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

TEST_F(MqttBridgeTest, KilledProcessLeavesItsLastWill) {
    TestClient client(broker.Port());
    client.Subscribe("ombrix/child/status");
    const pid_t child = ::fork();
    if (child == 0) {
        setenv("OMBRIX_MQTT_CHILD_PORT", std::to_string(broker.Port()).c_str(), 1);
        ::execl("/proc/self/exe", "threaded_tests", "--gtest_filter=MqttBridgeChild.*",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    const bool online =
        client.WaitFor("ombrix/child/status", [](const std::string& p) { return p == "online"; }, 20000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(online);
    // The broker notices the dead socket at once and sends the will.
    std::string payload;
    EXPECT_TRUE(client.WaitFor("ombrix/child/status", [](const std::string& p) { return p == "offline"; }, kWaitMs,
                               &payload))
        << payload;
}

}  // namespace
}  // namespace ombrix
