// The MQTT side without a broker: configuration, topics, command payloads, and what is
// published for the service's events.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "TempDir.h"
#include "service/Mqtt.h"
#include "service/ServiceAction.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::TempDir;

struct HostPortCase {
    const char* label;
    const char* text;
    bool ok;
    const char* host;
    int port;
};

class MqttHostPort : public ::testing::TestWithParam<HostPortCase> {};

TEST_P(MqttHostPort, Parses) {
    const auto& c = GetParam();
    std::string host = "unchanged", reason;
    int port = -1;
    EXPECT_EQ(ParseMqttHostPort(c.text, &host, &port, &reason), c.ok) << reason;
    if (c.ok) {
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    } else {
        EXPECT_EQ(host, "unchanged");
        EXPECT_FALSE(reason.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MqttHostPort,
                         ::testing::Values(HostPortCase{"HostAndPort", "127.0.0.1:18830", true, "127.0.0.1", 18830},
                                           HostPortCase{"BareHostDefaultPort", "broker.lan", true, "broker.lan", 1883},
                                           HostPortCase{"BracketedV6", "[::1]:8883", true, "::1", 8883},
                                           HostPortCase{"EmptyPort", "host:", false, "", 0},
                                           HostPortCase{"PortZero", "host:0", false, "", 0},
                                           HostPortCase{"PortTooBig", "host:65536", false, "", 0},
                                           HostPortCase{"PortNotNumber", "host:mqtt", false, "", 0},
                                           HostPortCase{"NoHost", ":1883", false, "", 0},
                                           HostPortCase{"BareV6", "::1", false, "", 0}),
                         [](const auto& info) { return std::string(info.param.label); });

void Write(const std::string& path, const std::string& text) {
    testing::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(MqttConfigFile, FieldsPathsAndPassword) {
    TempDir dir;
    Write("secret", "s3cret\nignored\n");
    MqttConfig c;
    bool enabled = false;
    std::string reason;
    Write("mqtt.json", R"({"host": "broker", "port": 8883, "client_id": "dome", "username": "ombrix",
        "password_file": "secret", "ca_file": "ca.pem", "prefix": "site/av", "site": "dome", "keepalive": 10})");
    ASSERT_TRUE(LoadMqttConfig(dir.Path(), "", "rack1", &c, &enabled, &reason)) << reason;
    EXPECT_TRUE(enabled);
    EXPECT_EQ(c.host, "broker");
    EXPECT_EQ(c.port, 8883);
    EXPECT_EQ(c.clientId, "dome");
    EXPECT_EQ(c.username, "ombrix");
    EXPECT_EQ(c.password, "s3cret");
    EXPECT_EQ(c.caFile, dir.Path() + "/ca.pem");
    EXPECT_EQ(c.prefix, "site/av");
    EXPECT_EQ(c.site, "dome");
    EXPECT_EQ(c.keepAliveSec, 10);

    // The option names the broker; the file still gives the rest.
    ASSERT_TRUE(LoadMqttConfig(dir.Path(), "127.0.0.1:1884", "rack1", &c, &enabled, &reason)) << reason;
    EXPECT_EQ(c.host, "127.0.0.1");
    EXPECT_EQ(c.port, 1884);
    EXPECT_EQ(c.prefix, "site/av");
}

TEST(MqttConfigFile, OffWithoutOptionOrFileAndDefaultsFromTheHostName) {
    TempDir dir;
    MqttConfig c;
    bool enabled = true;
    std::string reason;
    ASSERT_TRUE(LoadMqttConfig(dir.Path(), "", "rack1", &c, &enabled, &reason));
    EXPECT_FALSE(enabled);
    ASSERT_TRUE(LoadMqttConfig(dir.Path(), "localhost:1883", "rack/1+", &c, &enabled, &reason)) << reason;
    EXPECT_TRUE(enabled);
    EXPECT_EQ(c.prefix, "ombrix");
    EXPECT_EQ(c.site, "rack_1_");  // a host name never breaks the topic tree
    EXPECT_EQ(c.clientId, "ombrix-rack_1_");
}

struct ConfigRefusal {
    const char* label;
    const char* text;
    const char* reason;
};

class MqttConfigRefusals : public ::testing::TestWithParam<ConfigRefusal> {};

TEST_P(MqttConfigRefusals, Refused) {
    TempDir dir;
    Write("mqtt.json", GetParam().text);
    MqttConfig c;
    c.host = "unchanged";
    bool enabled = true;
    std::string reason;
    EXPECT_FALSE(LoadMqttConfig(dir.Path(), "", "rack", &c, &enabled, &reason));
    EXPECT_FALSE(enabled);
    EXPECT_EQ(c.host, "unchanged");
    EXPECT_NE(reason.find(GetParam().reason), std::string::npos) << reason;
    EXPECT_EQ(reason.find(GetParam().reason), reason.rfind(GetParam().reason)) << "said twice: " << reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MqttConfigRefusals,
    ::testing::Values(ConfigRefusal{"NotJson", "{", "not valid JSON"},
                      ConfigRefusal{"NoHost", R"({"port": 1883})", "no \"host\""},
                      ConfigRefusal{"UnknownField", R"({"host": "b", "password": "x"})", "unknown field \"password\""},
                      ConfigRefusal{"PortAsText", R"({"host": "b", "port": "1883"})", "\"port\""},
                      ConfigRefusal{"WildcardPrefix", R"({"host": "b", "prefix": "a/+/b"})", "\"prefix\""},
                      ConfigRefusal{"EmptyLevelPrefix", R"({"host": "b", "prefix": "a//b"})", "\"prefix\""},
                      ConfigRefusal{"SiteWithSlash", R"({"host": "b", "site": "a/b"})", "\"site\""},
                      ConfigRefusal{"MissingPasswordFile", R"({"host": "b", "password_file": "nope"})", "nope"}),
    [](const auto& info) { return std::string(info.param.label); });

struct PayloadCase {
    const char* label;
    const char* payload;
    const char* command;  // empty: refused
    const char* body;
};

class ActionPayloads : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(ActionPayloads, ParsedAsTheHttpApiTakesThem) {
    const auto& c = GetParam();
    ServiceAction action{"unchanged", ""};
    std::string error;
    const bool ok = ParseActionPayload(c.payload, &action, &error);
    EXPECT_EQ(ok, *c.command != 0) << error;
    if (ok) {
        EXPECT_EQ(action, (ServiceAction{c.command, c.body}));
    } else {
        EXPECT_EQ(action.command, "unchanged");
        EXPECT_FALSE(error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionPayloads,
    ::testing::Values(PayloadCase{"PowerOff", R"({"power": false})", "power", R"({"on":false})"},
                      PayloadCase{"PauseOnAsBody", R"({"pause": {"on": true}})", "pause", R"({"on":true})"},
                      PayloadCase{"Text", R"({"text": true})", "text", R"({"on":true})"},
                      PayloadCase{"SourceSlot", R"({"source": {"slot": 42}})", "source", R"({"slot":42})"},
                      PayloadCase{"SourceNumber", R"({"source": 7})", "source", R"({"slot":7})"},
                      PayloadCase{"SourceName", R"({"source": {"name": "Dome [42]"}})", "source", R"({"name":"Dome [42]"})"},
                      PayloadCase{"Key", R"({"key": 27})", "key", R"({"code":27})"},
                      PayloadCase{"KeyAsBody", R"({"key": {"code": 14}})", "key", R"({"code":14})"},
                      PayloadCase{"Malformed", R"({"power": )", "", ""},
                      PayloadCase{"Empty", "", "", ""},
                      PayloadCase{"PowerAsWord", R"({"power": "off"})", "", ""},
                      PayloadCase{"TwoCommands", R"({"power": true, "pause": true})", "", ""},
                      PayloadCase{"UnknownCommand", R"({"reboot": true})", "", ""},
                      PayloadCase{"SlotOutOfRange", R"({"source": {"slot": 0}})", "", ""},
                      PayloadCase{"KeyTooBig", R"({"key": 300})", "", ""},
                      PayloadCase{"KeyFraction", R"({"key": 2.5})", "", ""},
                      PayloadCase{"Array", R"([{"power": true}])", "", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ActionPayloads, ScheduleActionsBecomeTheSameCommands) {
    EXPECT_EQ(ScheduleServiceAction({ScheduleActionKind::Power, true, 0}), (ServiceAction{"power", R"({"on":true})"}));
    EXPECT_EQ(ScheduleServiceAction({ScheduleActionKind::Source, false, 42}), (ServiceAction{"source", R"({"slot":42})"}));
    EXPECT_EQ(ScheduleServiceAction({ScheduleActionKind::Key, false, 27}), (ServiceAction{"key", R"({"code":27})"}));
}

struct TopicCase {
    const char* label;
    const char* topic;
    bool ours;
    bool group;
    int address;
    const char* name;
    bool error;
};

class CommandTopics : public ::testing::TestWithParam<TopicCase> {};

TEST_P(CommandTopics, Parse) {
    const auto& c = GetParam();
    const MqttTopics topics("ombrix", "dome");
    const auto parsed = topics.ParseCommand(c.topic);
    ASSERT_EQ(parsed.has_value(), c.ours);
    if (!parsed) return;
    EXPECT_EQ(parsed->group, c.group);
    EXPECT_EQ(parsed->address, c.address);
    EXPECT_EQ(parsed->groupName, c.name);
    EXPECT_EQ(!parsed->error.empty(), c.error);
    std::string result = c.topic;
    EXPECT_EQ(parsed->resultTopic, result.replace(result.size() - 3, 3, "result"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandTopics,
    ::testing::Values(TopicCase{"Projector", "ombrix/dome/projector/3/set", true, false, 3, "", false},
                      TopicCase{"Projector255", "ombrix/dome/projector/255/set", true, false, 255, "", false},
                      TopicCase{"Group", "ombrix/dome/group/Dome/set", true, true, 0, "Dome", false},
                      TopicCase{"AddressZero", "ombrix/dome/projector/0/set", true, false, 0, "", true},
                      TopicCase{"Address256", "ombrix/dome/projector/256/set", true, false, 0, "", true},
                      TopicCase{"LeadingZero", "ombrix/dome/projector/03/set", true, false, 0, "", true},
                      TopicCase{"AddressWord", "ombrix/dome/projector/three/set", true, false, 0, "", true},
                      TopicCase{"OtherSite", "ombrix/lobby/projector/3/set", false, false, 0, "", false},
                      TopicCase{"StateTopic", "ombrix/dome/projector/3/state", false, false, 0, "", false},
                      TopicCase{"ResultTopic", "ombrix/dome/projector/3/result", false, false, 0, "", false},
                      TopicCase{"EmptyGroup", "ombrix/dome/group//set", false, false, 0, "", false},
                      TopicCase{"DeeperLevel", "ombrix/dome/projector/3/x/set", false, false, 0, "", false}),
    [](const auto& info) { return std::string(info.param.label); });

const char* kStateThree =
    R"({"address":3,"model":"25V","serial":"F1-234567","version":"12.05","state":"Operating","runtime":1200})";
const char* kStateFive = R"({"address":5,"model":"16D","serial":"F0-000001","version":"2.10","state":"StandBy","runtime":12})";

TEST(MqttPublisher, ConnectAnnouncesEverythingRetainedWithUniqueIds) {
    MqttPublisher pub(MqttTopics("ombrix", "Dome Hall"));
    const auto msgs = pub.OnConnect(true, {{3, kStateThree}, {5, kStateFive}});
    ASSERT_GE(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], (MqttMessage{"ombrix/Dome Hall/status", "online", true, 1}));
    EXPECT_EQ(msgs[1], (MqttMessage{"ombrix/Dome Hall/line", "up", true, 1}));
    std::set<std::string> uniqueIds;
    std::map<int, std::set<std::string>> devices;
    size_t configs = 0;
    for (const auto& m : msgs) {
        EXPECT_TRUE(m.retain) << m.topic;
        EXPECT_EQ(m.qos, 1);
        if (m.topic.rfind("homeassistant/", 0) != 0) continue;
        ++configs;
        const json c = json::parse(m.payload, nullptr, false);
        ASSERT_FALSE(c.is_discarded()) << m.payload;
        EXPECT_TRUE(uniqueIds.insert(c["unique_id"].get<std::string>()).second) << m.payload;
        const int address = c["state_topic"].get<std::string>().rfind("ombrix/Dome Hall/projector/3/", 0) == 0 ? 3 : 5;
        // Available while the service runs and this projector answers.
        EXPECT_EQ(c["availability_mode"], "all");
        EXPECT_EQ(c["availability"][0]["topic"], "ombrix/Dome Hall/status");
        EXPECT_EQ(c["availability"][1]["topic"],
                  "ombrix/Dome Hall/projector/" + std::to_string(address) + "/availability");
        devices[address].insert(c["device"].dump());
        EXPECT_EQ(c["device"]["model"], address == 3 ? "25V" : "16D");
        EXPECT_EQ(c["device"]["serial_number"], address == 3 ? "F1-234567" : "F0-000001");
    }
    EXPECT_EQ(configs, 10u);
    const auto drift = std::find_if(msgs.begin(), msgs.end(), [](const MqttMessage& m) {
        return m.topic == "homeassistant/binary_sensor/ombrix_dome_hall_3/settings_drift/config";
    });
    ASSERT_NE(drift, msgs.end());
    EXPECT_EQ(json::parse(drift->payload)["state_topic"], "ombrix/Dome Hall/projector/3/drift");
    EXPECT_EQ(devices[3].size(), 1u);  // one device per projector
    EXPECT_EQ(devices[5].size(), 1u);
    const auto power = std::find_if(msgs.begin(), msgs.end(), [](const MqttMessage& m) {
        return m.topic == "homeassistant/switch/ombrix_dome_hall_3/power/config";
    });
    ASSERT_NE(power, msgs.end());
    const json p = json::parse(power->payload);
    EXPECT_EQ(p["command_topic"], "ombrix/Dome Hall/projector/3/set");
    EXPECT_EQ(json::parse(p["payload_off"].get<std::string>()), json({{"power", false}}));
    EXPECT_TRUE(std::any_of(msgs.begin(), msgs.end(), [](const MqttMessage& m) {
        return m.topic == "ombrix/Dome Hall/projector/3/state" && m.payload == kStateThree;
    }));
}

TEST(MqttPublisher, ConfigsFollowOnlyWhenTheDeviceChangesAndGoWhenForgotten) {
    MqttPublisher pub(MqttTopics("ombrix", "dome"));
    pub.OnConnect(true, {{3, kStateThree}});
    const std::string paused =
        R"({"address":3,"model":"25V","serial":"F1-234567","version":"12.05","state":"Pause","runtime":1200})";
    const auto change = pub.ProjectorChanged(3, paused);
    ASSERT_EQ(change.size(), 2u);
    EXPECT_EQ(change[0], (MqttMessage{"ombrix/dome/projector/3/state", paused, true, 1}));
    EXPECT_EQ(change[1], (MqttMessage{"ombrix/dome/projector/3/availability", "online", true, 1}));

    const std::string replaced = R"({"address":3,"model":"25V","serial":"F1-999999","state":"Operating"})";
    EXPECT_EQ(pub.ProjectorChanged(3, replaced).size(), 7u);  // five configs, the state, the availability

    const auto gone = pub.ProjectorForgotten(3);
    ASSERT_EQ(gone.size(), 8u);
    for (const auto& m : gone) {
        EXPECT_TRUE(m.retain);
        EXPECT_EQ(m.payload, "") << m.topic;
    }
    EXPECT_TRUE(pub.ProjectorForgotten(3).empty());
    EXPECT_EQ(pub.Will(), (MqttMessage{"ombrix/dome/status", "offline", true, 1}));
}

TEST(MqttPublisher, AProjectorIsAvailableWhileItAnswers) {
    struct Case {
        const char* label;
        std::string state;
        std::string availability;
        std::string model;
    };
    const Case cases[] = {
        {"operating", R"({"address":3,"model":"25V","state":"Operating","lost":false})", "online", "25V"},
        {"in standby, model kept", R"({"address":3,"model":"25V","state":"StandBy","standby":true,"lost":false})",
         "online", "25V"},
        {"state unknown while the line is down", R"({"address":3,"model":"25V","state":"unknown","lost":false})",
         "offline", "25V"},
        {"lost", R"({"address":3,"model":"25V","state":"Lost","lost":true})", "offline", "25V"},
        {"found in standby, never seen awake", R"({"address":3,"model":"?","state":"StandBy","lost":false})",
         "online", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MqttPublisher pub(MqttTopics("ombrix", "dome"));
        const auto msgs = pub.ProjectorChanged(3, c.state);
        std::string availability, name, model;
        for (const auto& m : msgs) {
            if (m.topic == "ombrix/dome/projector/3/availability") availability = m.payload;
            if (m.topic.rfind("homeassistant/switch/", 0) == 0) {
                const json device = json::parse(m.payload)["device"];
                name = device["name"];
                model = device.value("model", "");
            }
        }
        EXPECT_EQ(availability, c.availability);
        // The name never changes with what is learnt, so the device is never renamed.
        EXPECT_EQ(name, "Projector 3");
        EXPECT_EQ(model, c.model);
    }
}

}  // namespace
}  // namespace ombrix
