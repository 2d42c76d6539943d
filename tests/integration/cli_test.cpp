// ombrix-cli's output, exit status and line choice, against the in-process simulator.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "Cli.h"
#include "link/CommSettings.h"
#include "../support/CliBench.h"

namespace ombrix {
namespace {

using testing::CliBench;
using testing::CliRun;

struct OutputCase {
    const char* label;
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
};

class CliOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(CliOutput, PrintsResultAndFields) {
    const OutputCase& c = GetParam();
    CliBench b;
    const CliRun r = b.Run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliOutput,
    ::testing::Values(
        OutputCase{"identity", {"identity", "1"}, 0, "result: 3\nletter: V\nversion:  3.05\ntype: 5\n", ""},
        OutputCase{"serial", {"serial", "0x01"}, 0, "result: 3\nserial: 1234567\n", ""},
        OutputCase{"id_negative", {"id", "3"}, 0, "result: 3\nid: -2147483647\n", ""},
        OutputCase{"runtime", {"runtime", "1"}, 0, "result: 3\nruntime: 300h\n", ""},
        OutputCase{"location_decimal", {"location", "3"}, 0, "result: 3\nlocation: 48 50 1 3\n", ""},
        OutputCase{"read_block_hex", {"read-block", "1", "0x40", "1", "0x20", "0x34", "16"}, 0,
                   "result: 3\ndata: 000102030405060708090a0b0c0d0e0f\n", ""},
        // Shorter than the block: the run's checksum falls on a data byte and fails.
        OutputCase{"read_block_short", {"read-block", "1", "0x40", "1", "0x20", "0x34", "4"}, 1, "result: 1\n",
                   "Error in communication: Projector does send ACK, but doesn't answer the question !\n"},
        OutputCase{"read_param", {"read-param", "1", "5", "0"}, 0, "result: 3\nvalue: 250\n", ""},
        OutputCase{"iris_state", {"iris-state", "3"}, 0, "result: 3\nvalue: 0\n", ""},
        OutputCase{"key", {"key", "1", "0x0d"}, 0, "result: 3\n", ""},
        OutputCase{"silent", {"identity", "9"}, 1, "result: 0\n", "Error in communication: Projector doesn't send ACK !\n"},
        OutputCase{"nack", {"read-block", "2", "0", "0", "0", "0", "16"}, 1, "result: 2\n",
                   "Error in communication: Projector sends NACK !\n"},
        OutputCase{"status_standby", {"status", "2"}, 0,
                   "result: 3\ngreenConvergence: 0\nstandby: 1\npause: 0\noperating: 0\ntextOn: 0\npcMode: 0\n"
                   "soundAvailable: 0\nconvergenceStripped: 0\nmagneticFocus: 0\norbit: 0\nsoftEdge: 0\n"
                   "contrastModulation: 0\nnsOnConvergence: 0\nasic: 0\niris: 0\nextraBlock1: 0\nextraBlock2: 0\n"
                   "optionsValid: 1\n",
                   ""}),
    [](const auto& info) { return std::string(info.param.label); });

struct UsageCase {
    const char* label;
    std::vector<std::string> args;
};

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitTwoAndNothingSent) {
    CliBench b;
    const CliRun r = b.Run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ombrix-cli: "), std::string::npos);
    EXPECT_TRUE(b.bus.Transcript().empty());
}

INSTANTIATE_TEST_SUITE_P(Cli, CliUsage,
                         ::testing::Values(UsageCase{"nothing", {}}, UsageCase{"unknown_command", {"reboot", "1"}},
                                           UsageCase{"no_address", {"status"}},
                                           UsageCase{"address_too_big", {"status", "256"}},
                                           UsageCase{"address_not_a_number", {"status", "x1"}},
                                           UsageCase{"too_many_arguments", {"status", "1", "2"}},
                                           UsageCase{"byte_too_big", {"key", "1", "0x100"}},
                                           UsageCase{"odd_hex_data", {"write-block", "1", "1", "2", "3", "4", "abc"}},
                                           UsageCase{"bad_hex_data", {"write-block", "1", "1", "2", "3", "4", "zz"}},
                                           UsageCase{"unknown_option", {"--fast", "status", "1"}},
                                           UsageCase{"device_and_port", {"--device", "/x", "--port", "1", "id", "1"}},
                                           UsageCase{"port_zero", {"--port", "0", "id", "1"}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CliLine, ChoosesTheDeviceFromOptionsCommCfgAndTheMapping) {
    CliBench b;
    EXPECT_EQ(b.Run({"key", "1", "1"}).status, 0);
    EXPECT_EQ(b.opener.lastPath, "/dev/ttyS1");  // no comm.cfg: COM2
    CommSettings s;
    s.port = 3;
    ASSERT_TRUE(SaveCommSettings("comm.cfg", s, 9, nullptr));
    testing::WriteBytes("comports.cfg", {'C', 'O', 'M', '3', '=', '/', 'd', 'e', 'v', '/', 'b', 'u', 's', '\n'});
    EXPECT_EQ(b.Run({"key", "1", "1"}).status, 0);
    EXPECT_EQ(b.opener.lastPath, "/dev/bus");
    EXPECT_EQ(b.Run({"--port", "4", "key", "1", "1"}).status, 0);
    EXPECT_EQ(b.opener.lastPath, "/dev/ttyS3");
    EXPECT_EQ(b.Run({"--device", "tcp://127.0.0.1:4001", "key", "1", "1"}).status, 0);
    EXPECT_EQ(b.opener.lastPath, "tcp://127.0.0.1:4001");
}

TEST(CliLine, AnUnopenableLineIsError3) {
    CliBench b;
    b.opener.fail = true;
    const CliRun r = b.Run({"status", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error  3: Connection failed (in create)\nCannot open COM2 (/dev/ttyS1): no such device.\n");
}

TEST(CliLine, WriteThenReadABlock) {
    CliBench b;
    EXPECT_EQ(b.Run({"write-block", "1", "0x41", "5", "0x20", "0x34", "00112233445566778899aabbccddeeff"}).out,
              "result: 3\n");
    EXPECT_EQ(b.Run({"read-block", "1", "0x41", "5", "0x20", "0x34", "16"}).out,
              "result: 3\ndata: 00112233445566778899aabbccddeeff\n");
}

// A silent address ends the run at its result; a late reply that may still come is the
// next program's to wait for: only one that comes within the time waits, and only for
// what is left.
TEST(CliLine, SilentAddressHandsTheQuietTimeOn) {
    struct Case {
        const char* label;
        uint64_t gapMs;                // between the two programs
        std::vector<std::string> next;
        bool waits;
    };
    const Case cases[] = {
        {"change_at_once", 0, {"key", "1", "0x0d"}, true},
        {"question_at_once", 0, {"id", "1"}, true},
        {"change_within_the_time", 2000, {"key", "1", "0x0d"}, true},
        {"change_after_the_time", 4000, {"key", "1", "0x0d"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliBench b;
        // Address 3 acknowledges its first request 3000 ms late: after the first program
        // gave up, while the next one may be waiting for its own acknowledgement.
        b.bus.SetFault(3, {sim::FaultKind::LateAck, 3000});
        const uint64_t start = b.clock.TickMs();
        EXPECT_EQ(b.Run({"status", "3"}).status, 1);
        const uint64_t firstEnd = b.clock.TickMs();
        EXPECT_LT(firstEnd - start, 3600u);
        const uint64_t quietUntil = b.opener.quietUntil.load();
        EXPECT_GT(quietUntil, firstEnd);
        b.clock.Advance(c.gapMs);
        b.bus.ClearTranscript();
        const CliRun r = b.Run(c.next);
        EXPECT_EQ(r.status, 0) << r.err;
        const auto transcript = b.bus.Transcript();
        ASSERT_FALSE(transcript.empty());
        const uint64_t sentAt = transcript.front().time;
        if (c.waits) {
            EXPECT_GE(sentAt, quietUntil);
            EXPECT_LT(sentAt, quietUntil + 300);
        } else {
            EXPECT_LT(sentAt, firstEnd + c.gapMs + 300);
        }
    }
}

// A comm.cfg that is there but cannot be read leaves the port unknown: nothing is opened
// in its place, and the refusal names the file. Missing, it means the default.
TEST(CliLine, UnreadableCommCfgOpensNoPort) {
    struct Case {
        const char* label;
        std::function<void()> make;
        std::vector<std::string> args;
        const char* opened;  // nullptr: no line opened
    };
    const Case cases[] = {
        {"folder", [] { ::mkdir("comm.cfg", 0755); }, {"key", "1", "1"}, nullptr},
        {"cut_short", [] { testing::WriteBytes("comm.cfg", {0, 0, 0, 0, 3}); }, {"key", "1", "1"}, nullptr},
        {"fifo", [] { ::mkfifo("comm.cfg", 0644); }, {"status", "1"}, nullptr},
        {"link_loop", [] { ASSERT_EQ(::symlink("comm.cfg", "comm.cfg"), 0); }, {"search"}, nullptr},
        {"missing_is_the_default", [] {}, {"key", "1", "1"}, "/dev/ttyS1"},
        {"port_given", [] { ::mkdir("comm.cfg", 0755); }, {"--port", "3", "key", "1", "1"}, "/dev/ttyS2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliBench b;
        c.make();
        const CliRun r = b.Run(c.args);
        if (c.opened) {
            EXPECT_EQ(b.opener.lastPath, c.opened);
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(b.opener.lastPath, "");
        EXPECT_TRUE(b.bus.Transcript().empty());
        EXPECT_NE(r.err.find("comm.cfg"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("no port is opened rather than the default COM2"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace ombrix
