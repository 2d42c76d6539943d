// ombrix-cli --json: the same commands, their output as JSON with the same fields.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "JsonOutput.h"
#include "../support/CliBench.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::CliBench;

TEST(CliJson, OneObjectPerCommandWithTheFieldsOfTheText) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int exit;
        json want;  // keys that must be there with these values
    };
    const std::vector<Case> cases = {
        {"identity", {"--json", "identity", "1"}, 0,
         {{"command", "identity"}, {"exit", 0}, {"result", 3},
          {"fields", {{"letter", "V"}, {"version", " 3.05"}, {"type", 5}}}, {"boxes", json::array()}}},
        {"json after the command", {"serial", "1", "--json"}, 0,
         {{"result", 3}, {"fields", {{"serial", 1234567}}}}},
        {"negative id", {"--json", "id", "3"}, 0, {{"fields", {{"id", -2147483647}}}}},
        {"silent projector: the box", {"--json", "identity", "9"}, 1,
         {{"result", 0},
          {"fields", json::object()},
          {"boxes", {{{"caption", "Error in communication"}, {"text", "Projector doesn't send ACK !"}}}}}},
        {"usage error", {"--json", "status"}, 2, {{"command", "status"}, {"exit", 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliBench b;
        const auto r = b.Run(c.args);
        EXPECT_EQ(r.status, c.exit);
        EXPECT_EQ(r.err, "");
        ASSERT_EQ(r.out.back(), '\n');
        const json got = json::parse(r.out);
        for (const auto& [key, value] : c.want.items()) EXPECT_EQ(got[key], value) << key << " in " << r.out;
        if (c.exit == 2) {
            EXPECT_FALSE(got["errors"].empty());
        }
    }
}

// Monitoring keys on "command": the command word, never the value of an option before it.
TEST(CliJson, TheCommandIsTheCommandWordWhateverTheOptions) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::string command;
    };
    const std::vector<Case> cases = {
        {"--device PATH", {"--device", "/dev/ttyUSB0", "--json", "identity", "1"}, "identity"},
        {"--port N", {"--json", "--port", "2", "identity", "1"}, "identity"},
        {"--baud RATE", {"--baud", "9600", "--json", "serial", "1"}, "serial"},
        {"all of them and --verbose", {"--verbose", "--port", "3", "--baud", "19200", "--json", "runtime", "1"}, "runtime"},
        {"a device named like a command", {"--json", "--device", "watch", "status", "1"}, "status"},
        {"a block command", {"--json", "--port", "2", "blocks", "1"}, "blocks"},
        {"a data command", {"--json", "set-list", "missing.set"}, "set-list"},
        {"the port mapping", {"--json", "ports", "COM3", "/dev/ttyUSB1"}, "ports"},
        {"help", {"--json", "--help"}, "help"},
        {"an option without its value", {"--json", "--device"}, ""},
        {"no command", {"--json", "--port", "2"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliBench b;
        const auto r = b.Run(c.args);
        const json got = json::parse(r.out);
        EXPECT_EQ(got["command"], c.command) << r.out;
    }
}

TEST(CliJson, WatchOncePrintsOneJsonLinePerEvent) {
    CliBench b;
    const auto r = b.Run({"--json", "watch", "--once", "--interval", "1"});
    EXPECT_EQ(r.err, "");
    std::istringstream in(r.out);
    std::string line;
    int events = 0, found = 0;
    while (std::getline(in, line)) {
        const json j = json::parse(line);  // throws, failing the test, on anything else
        ASSERT_TRUE(j.contains("time") && j.contains("event")) << line;
        ++events;
        if (j["event"] == "found") ++found;
    }
    EXPECT_GT(events, 0);
    EXPECT_GE(found, 1) << r.out;
}

}  // namespace
}  // namespace ombrix
