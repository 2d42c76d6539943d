// The one rule for JSON from outside, held by every reader of it: nesting deeper than any
// of our documents is refused before a parser sees it, a key given twice in one object is
// refused rather than the last taken, and a refusal quotes an untrusted value only in part.
#include <gtest/gtest.h>

#include <functional>

#include "blocks/Groups.h"
#include "data/JsonInput.h"
#include "service/Mqtt.h"
#include "service/Schedule.h"
#include "service/ServiceAction.h"
#include "service/ServiceCommands.h"

namespace ombrix {
namespace {

TEST(UntrustedJson, EveryReaderRefusesDeepNestingAndRepeatedKeysAndQuotesValuesInPart) {
    using Read = std::function<bool(const std::string&, std::string*)>;
    struct Reader {
        const char* label;
        Read read;
        // The reader's document with %s where a text it names in its refusal goes.
        const char* withText;
        // A document of the reader's that gives one key twice in an object.
        const char* twice;
    };
    const Reader readers[] = {
        {"schedules.json / PUT /api/v1/schedules",
         [](const std::string& t, std::string* why) {
             std::vector<ScheduleEntry> e;
             return ParseSchedules(t, &e, why);
         },
         R"([{"name": "x", "days": [%s], "time": "08:00", "target": "all", "action": {"power": true}}])",
         R"([{"name": "x", "days": ["mon"], "time": "08:00", "time": "23:00", "target": "all",
              "action": {"power": true}}])"},
        {"groups.json",
         [](const std::string& t, std::string* why) {
             Grouping g;
             return ParseGroups(reinterpret_cast<const uint8_t*>(t.data()), t.size(), &g, why);
         },
         R"({"version": %s, "groups": []})", R"({"version": 1, "groups": [{"name": "a", "name": "b"}]})"},
        {"mqtt.json",
         [](const std::string& t, std::string* why) {
             MqttConfig c;
             return ParseMqttConfig(t, ".", &c, why);
         },
         R"({"host": "broker", %s: 1})", R"({"host": "broker", "host": "other"})"},
        {"MQTT command payload",
         [](const std::string& t, std::string* why) {
             ServiceAction a;
             return ParseActionPayload(t, &a, why);
         },
         R"({%s: true})", R"({"power": true, "power": false})"},
        {"HTTP command body",
         [](const std::string& t, std::string* why) {
             nlohmann::json body;
             ActionRequest r;
             return ReadJsonText(t, &body, why) && ParseAction(kActionPower, body, &r, why);
         },
         R"({"on": true, %s: 1})", R"({"on": true, "on": false})"},
    };
    // Deep enough to overflow a recursive printer's stack, small enough for every size limit.
    const std::string deep = std::string(20000, '[') + std::string(20000, ']');
    const std::string longText = "\"" + std::string(5000, 'x') + "\\n\"";
    for (const Reader& r : readers) {
        SCOPED_TRACE(r.label);
        std::string why;
        EXPECT_FALSE(r.read(deep, &why));
        EXPECT_NE(why.find("nested more than 64 levels deep"), std::string::npos) << why;

        std::string text = r.withText;
        text.replace(text.find("%s"), 2, longText);
        why.clear();
        EXPECT_FALSE(r.read(text, &why));
        EXPECT_NE(why.find("xxxxxxxxxx"), std::string::npos) << why;
        EXPECT_LT(why.size(), 300u) << why;

        why.clear();
        EXPECT_FALSE(r.read(r.twice, &why));
        EXPECT_NE(why.find("twice in one object"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace ombrix
