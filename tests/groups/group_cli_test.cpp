// ombrix-cli's groups: the grouping file commands and a command run for every member.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/FileLock.h"
#include "../support/BlockBench.h"
#include "../support/CliBench.h"

namespace ombrix {
namespace {

using nlohmann::json;
using testing::CliBench;
using testing::ReadBytes;
using testing::WriteBytes;

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
    const auto b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

const char kDome[] = R"({"version": 1, "groups": [{"name": "Dome", "members": [3, 1]}, {"name": "Half", "members": [1, 9]}]})";

// A writer that cannot have the file's lock in time gives up with the reason and
// changes nothing; a reader is not held up.
TEST(GroupCli, ALockHeldTooLongIsSaidAndNothingChanges) {
    CliBench b;
    WriteText("groups.json", kDome);
    FileLock held;
    ASSERT_TRUE(held.Acquire("groups.json", b.clock, 0, nullptr));
    const auto r = b.Run({"group-add", "Wall", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("groups.json is being changed by another program"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText("groups.json"), kDome);
    EXPECT_EQ(b.Run({"groups"}).status, 0);
}

TEST(GroupCli, EachMemberGetsItsResultBlockInMemberOrder) {
    CliBench b;
    WriteText("groups.json", kDome);
    const auto r = b.Run({"--group", "Dome", "id"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "projector: 3\nresult: 3\nid: -2147483647\nprojector: 1\nresult: 3\nid: 100234\n");
}

TEST(GroupCli, ASilentMemberFailsTheRunButTheOthersArePrinted) {
    CliBench b;
    WriteText("groups.json", kDome);
    const auto r = b.Run({"--group", "Half", "status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("projector: 1\nresult: 3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("projector: 9\nresult: 0\n"), std::string::npos) << r.out;
}

TEST(GroupCli, JsonHoldsOneObjectPerMember) {
    CliBench b;
    WriteText("groups.json", kDome);
    const auto r = b.Run({"--json", "--group", "Half", "identity"});
    EXPECT_EQ(r.status, 1);
    const json j = json::parse(r.out);
    EXPECT_EQ(j["exit"], 1);
    EXPECT_EQ(j["group"], "Half");
    ASSERT_EQ(j["projectors"].size(), 2u);
    EXPECT_EQ(j["projectors"][0]["address"], 1);
    EXPECT_EQ(j["projectors"][0]["result"], 3);
    EXPECT_EQ(j["projectors"][0]["fields"]["letter"], "V");
    EXPECT_EQ(j["projectors"][1]["address"], 9);
    EXPECT_EQ(j["projectors"][1]["result"], 0);
    EXPECT_EQ(j["projectors"][1]["command"], "identity");
}

// Projector 2 of the bus is in standby, 9 is not there at all.
TEST(GroupCli, AMemberThatCannotTakeTheCommandIsNamedWithWhy) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::vector<const char*> out;  // member blocks, each found in the output
        std::vector<const char*> err;  // lines found on standard error
    } cases[] = {
        {"a key passes over standby and silence",
         {"--group", "Stage", "key", "15"},
         {"projector: 1\nresult: 3\n", "projector: 2\nskipped: in standby\n", "projector: 9\nskipped: no answer\n"},
         {"ombrix-cli: projector 2 skipped: in standby\n", "ombrix-cli: projector 9 skipped: no answer\n"}},
        {"the power key wakes a member in standby",
         {"--group", "Stage", "key", "14"},
         {"projector: 2\nresult: 3\n", "projector: 9\nresult: 0\n"},
         {"ombrix-cli: projector 9 failed\n"}},
        {"a source digit wakes a member in standby too",
         {"--group", "Stage", "key", "17"},
         {"projector: 2\nresult: 3\n", "projector: 9\nresult: 0\n"},
         {"ombrix-cli: projector 9 failed\n"}},
        {"a question is asked of every member",
         {"--group", "Stage", "status"},
         {"projector: 2\nresult: 3\n", "projector: 9\nresult: 0\n"},
         {"ombrix-cli: projector 9 failed\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliBench b;
        WriteText("groups.json", R"({"version": 1, "groups": [{"name": "Stage", "members": [1, 2, 9]}]})");
        const auto r = b.Run(c.args);
        EXPECT_EQ(r.status, 1);
        for (const char* block : c.out) EXPECT_NE(r.out.find(block), std::string::npos) << block << r.out;
        for (const char* line : c.err) EXPECT_NE(r.err.find(line), std::string::npos) << line << r.err;
    }
    CliBench b;
    WriteText("groups.json", R"({"version": 1, "groups": [{"name": "Stage", "members": [1, 2]}]})");
    const json j = json::parse(b.Run({"--json", "--group", "Stage", "key", "15"}).out);
    EXPECT_EQ(j["exit"], 1);
    EXPECT_EQ(j["projectors"][1]["skipped"], "in standby");
    EXPECT_FALSE(j["projectors"][0].contains("skipped"));
}

// A command for members at work is planned from one status round: each member is asked
// its status once, as soon as it answers, before anyone gets the command.
TEST(GroupCli, AKeyIsPlannedFromOneStatusRound) {
    CliBench b;
    WriteText("groups.json", kDome);
    b.bus.ClearTranscript();
    const uint64_t start = b.clock.TickMs();
    const auto r = b.Run({"--group", "Dome", "key", "15"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<char> commands;
    for (const auto& e : b.bus.Transcript()) {
        if (e.fromHost && e.bytes.size() == 9) commands.push_back(static_cast<char>(e.bytes[3] - e.bytes[1]));
    }
    EXPECT_EQ(std::string(commands.begin(), commands.end()), std::string("KK") + char(15) + char(15));
    // The ordinary status question alone takes 720 ms a member.
    EXPECT_LT(b.clock.TickMs() - start, 2 * 720u);
}

const char kTwoOfAType[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active seed=1
block = 00 36 02 21 seed=2
block = ff 3c 03 41 free seed=3
free-blocks = 2
special = ef 7f 00 00

[projector]
address = 4
type = 5 V
status = 00 00 90 00
id = 4712
block-length = 20
block = 40 34 01 20 active seed=4
block = ff 3c 03 41 free seed=5
block = ff 3c 04 41 free seed=6
free-blocks = 2
special = ef 7f 00 00
)";

TEST(GroupCli, BackupWritesOneFilePerMember) {
    CliBench b(kTwoOfAType);
    testing::WriteDescription("type5.dsc", testing::MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}}));
    WriteText("groups.json", R"({"version": 1, "groups": [{"name": "Two", "members": [4, 1]}]})");
    const auto r = b.Run({"--group", "Two", "backup", "dome-%a.set"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "projector: 4\nbackup: 1 blocks of projector 4 saved in dome-4.set\n"
                     "projector: 1\nbackup: 2 blocks of projector 1 saved in dome-1.set\n");
    const auto verify = b.Run({"--group", "Two", "verify", "dome-%a.set"});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    const auto one = b.Run({"--group", "Two", "backup", "dome.set"});
    EXPECT_EQ(one.status, 2);
}

TEST(GroupCli, FileCommandsChangeGroupsJsonAndNothingElse) {
    struct Step {
        const char* label;
        std::vector<std::string> args;
        int status;
        const char* groups;  // `groups` output afterwards
    };
    const std::vector<Step> steps = {
        {"add makes the group", {"group-add", "Dome", "3", "6"}, 0, "Dome: 3 6\n"},
        {"add more", {"group-add", "Dome", "9"}, 0, "Dome: 3 6 9\n"},
        {"duplicate member refused whole", {"group-add", "Dome", "4", "6"}, 1, "Dome: 3 6 9\n"},
        {"bad address is a usage error", {"group-add", "Dome", "300"}, 2, "Dome: 3 6 9\n"},
        {"empty group", {"group-add", "Wall"}, 0, "Dome: 3 6 9\nWall:\n"},
        {"remove", {"group-remove", "Dome", "6"}, 0, "Dome: 3 9\nWall:\n"},
        {"remove a non-member", {"group-remove", "Dome", "6"}, 1, "Dome: 3 9\nWall:\n"},
        {"delete", {"group-delete", "Wall"}, 0, "Dome: 3 9\n"},
        {"delete unknown", {"group-delete", "Wall"}, 1, "Dome: 3 9\n"},
    };
    CliBench b;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        const auto r = b.Run(s.args);
        EXPECT_EQ(r.status, s.status) << r.err;
        if (s.status != 0) {
            EXPECT_FALSE(r.err.empty());
        }
        EXPECT_EQ(b.Run({"groups"}).out, s.groups);
    }
    EXPECT_FALSE(std::filesystem::exists("comm.cfg"));
    EXPECT_FALSE(std::filesystem::exists("options.cfg"));
}

TEST(GroupCli, ADamagedFileIsRefusedAndLeftAsItWas) {
    const std::vector<std::vector<std::string>> commands = {
        {"groups"}, {"group-add", "Dome", "3"}, {"group-delete", "Dome"}, {"--group", "Dome", "status"}};
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        CliBench b;
        const std::string damaged = R"({"version": 1, "groups": [{"name": "Dome", "members": [3, 3]}]})";
        WriteText("groups.json", damaged);
        const auto r = b.Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("groups.json"), std::string::npos) << r.err;
        EXPECT_EQ(ReadText("groups.json"), damaged);
        EXPECT_TRUE(b.bus.Transcript().empty());
    }
}

}  // namespace
}  // namespace ombrix
