// ombrix-cli in-process against the simulator when the line misbehaves: a byte other
// than 0x06 where the acknowledgement belongs, an acknowledgement that comes too late,
// and a line that is gone before the search or the watch begins.
#include <gtest/gtest.h>

#include "link/Frame.h"
#include "../support/CliBench.h"

namespace ombrix {
namespace {

using testing::CliBench;
using testing::CliRun;

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct StrayCase {
    const char* label;
    std::vector<std::string> args;
};

class StrayByte : public ::testing::TestWithParam<StrayCase> {};

// Every command that waits only for an acknowledgement: a stray byte there is a failed
// exchange that names the byte, and the projector is left as it was.
TEST_P(StrayByte, FailsEveryAcknowledgedCommandAndNamesTheByte) {
    for (const char* byte : {"0x00", "0x07", "0x5A"}) {
        SCOPED_TRACE(byte);
        CliBench b;
        ASSERT_TRUE(b.bus.Control(std::string("fault all byte ") + byte, 0, nullptr));
        const CliRun r = b.Run(GetParam().args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "result: 0\n");
        EXPECT_NE(r.err.find(std::string("The projector answered ") + byte + ", not an acknowledgement (0x06)."),
                  std::string::npos)
            << r.err;
        b.bus.ClearFaults();
        EXPECT_EQ(b.Run({"read-param", "1", "5", "0"}).out, "result: 3\nvalue: 250\n");
        EXPECT_EQ(b.Run({"read-block", "1", "0x40", "0x01", "0x20", "0x34", "16"}).out,
                  "result: 3\ndata: 000102030405060708090a0b0c0d0e0f\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, StrayByte,
    ::testing::Values(StrayCase{"key", {"key", "1", "13"}},
                      StrayCase{"write_param", {"write-param", "1", "5", "0", "1"}},
                      StrayCase{"write_block", {"write-block", "1", "0x40", "0x01", "0x20", "0x34",
                                                "ffffffffffffffffffffffffffffffff"}},
                      StrayCase{"free_block", {"free-block", "1", "0x40", "0x01", "0x20", "0x34"}},
                      StrayCase{"iris", {"iris", "1", "0"}}, StrayCase{"force", {"force", "1", "3", "0x90"}}),
    [](const auto& info) { return std::string(info.param.label); });

// write-param's step is signed, as --help says; beyond a byte it is a usage error.
TEST(WriteParam, TakesANegativeStep) {
    CliBench b;
    EXPECT_EQ(b.Run({"write-param", "1", "5", "0", "-1"}).status, 0);
    EXPECT_EQ(b.Run({"read-param", "1", "5", "0"}).out, "result: 3\nvalue: 249\n");
    EXPECT_EQ(b.Run({"write-param", "1", "5", "0", "0xff"}).status, 0);
    EXPECT_EQ(b.Run({"read-param", "1", "5", "0"}).out, "result: 3\nvalue: 248\n");
    for (const char* bad : {"-129", "-", "--1", "256"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(b.Run({"write-param", "1", "5", "0", bad}).status, 2);
    }
}

// An acknowledgement after the time-out: the change was made, and the message says it
// may have been, so nobody steps the parameter twice.
TEST(WriteParam, ALateAcknowledgementSaysTheChangeMayBeMade) {
    CliBench b;
    ASSERT_TRUE(b.bus.Control("fault 1 late 2500 1", 0, nullptr));
    const CliRun r = b.Run({"write-param", "1", "5", "0", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::string("ombrix-cli: ") + kMayHaveAppliedText), std::string::npos) << r.err;
    b.clock.WaitMs(1000);  // the late acknowledgement is on its way
    EXPECT_EQ(b.Run({"read-param", "1", "5", "0"}).out, "result: 3\nvalue: 251\n");
    // A question changes nothing: no such warning.
    ASSERT_TRUE(b.bus.Control("fault 1 late 2500 1", 0, nullptr));
    EXPECT_EQ(b.Run({"read-param", "1", "5", "0"}).err.find("may have applied"), std::string::npos);
}

// The line is gone before the search: said once, nothing concluded about the bus, the
// search mode kept; watch fails too, and never reports "no projector".
TEST(DeadLine, SearchAndWatchSayItOnceAndFail) {
    for (const char* command : {"search", "watch"}) {
        SCOPED_TRACE(command);
        CliBench b;
        b.bus.DropLine();
        std::vector<std::string> args{command};
        if (std::string(command) == "watch") args.push_back("--once");
        const CliRun r = b.Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(Count(r.err, "Projector RS232: The line COM2 (/dev/ttyS1) was lost."), 1u) << r.err;
        EXPECT_EQ(r.err.find("No connected projectors found"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("no projector to watch"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        b.bus.RestoreLine();
        const CliRun again = b.Run({"search"});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.out.find("Projector with address 3 found ..."), std::string::npos);
    }
}

// A watch that finds nobody to watch has not watched.
TEST(Watch, NobodyToWatchIsAFailure) {
    CliBench b;
    b.bus.Control("power 1 off", 0, nullptr);
    b.bus.Control("power 2 off", 0, nullptr);
    b.bus.Control("power 3 off", 0, nullptr);
    const CliRun r = b.Run({"watch", "--once"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no projector to watch"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace ombrix
