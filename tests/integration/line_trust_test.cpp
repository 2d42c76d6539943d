// What the line may be trusted with, on the virtual clock: an answer counts only when it
// is the answer to this request; the simulator decides a fault before it changes
// anything; a lost line stops the background check instead of emptying the list.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>

#include "Cli.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/Search.h"
#include "link/Commands.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::SimBench;
using testing::kThreeProjectors;

// Answers every request (nine bytes out) with the scripted reply bytes.
class ScriptedDevice final : public SerialDevice {
public:
    ScriptedDevice(Clock& clock, std::vector<uint8_t> reply) : clock_(clock), reply_(std::move(reply)) {}
    bool Configure(const LineSettings&, SysError*) override { return true; }
    bool PutByte(uint8_t) override {
        if (++sent_ == 9) in_.insert(in_.end(), reply_.begin(), reply_.end());
        return true;
    }
    int InputCount() override { return static_cast<int>(in_.size()); }
    bool LineDropped() override { return false; }
    int GetByte() override {
        if (in_.empty()) return -1;
        const int b = in_.front();
        in_.pop_front();
        return b;
    }
    void WaitInput(uint32_t maxMs) override { clock_.SleepUntil(clock_.TickMs() + maxMs); }
    void Purge() override { in_.clear(); }
    void SetDtr(bool) override {}

private:
    Clock& clock_;
    std::vector<uint8_t> reply_;
    std::deque<uint8_t> in_;
    int sent_ = 0;
};

class ScriptedOpener final : public DeviceOpener {
public:
    ScriptedOpener(Clock& clock, std::vector<uint8_t> reply) : clock_(clock), reply_(std::move(reply)) {}
    std::unique_ptr<SerialDevice> Open(const std::string&, SysError*) override {
        return std::make_unique<ScriptedDevice>(clock_, reply_);
    }

private:
    Clock& clock_;
    std::vector<uint8_t> reply_;
};

std::vector<uint8_t> Answer(uint8_t address, uint8_t command, uint8_t d1, uint8_t d2, uint8_t d3, uint8_t d4) {
    const uint8_t sum = static_cast<uint8_t>(address + command + d1 + d2 + d3 + d4);
    return {address, command, d1, d2, d3, d4, sum};
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct ReplyCase {
    const char* label;
    std::vector<uint8_t> reply;
    int result;
};

class AnswerTrust : public ::testing::TestWithParam<ReplyCase> {};

// The serial number of projector 4, answered in different ways.
TEST_P(AnswerTrust, OnlyTheAnswerToThisRequestCounts) {
    const ReplyCase& c = GetParam();
    VirtualClock clock;
    ScriptedOpener opener(clock, c.reply);
    Link link(clock, opener);
    Env env;
    ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    std::string text = "untouched";
    EXPECT_EQ(ReadSerialNumber(link, 4, &text), c.result);
    EXPECT_EQ(text, c.result == kDone ? "1234567" : "untouched");
}

const std::vector<uint8_t> kAckByte = {kAck};

INSTANTIATE_TEST_SUITE_P(
    Replies, AnswerTrust,
    ::testing::Values(ReplyCase{"sound", Cat({kAckByte, Answer(4, 'M', 0xF1, 0x23, 0x45, 0x67)}), kDone},
                      // Only 0x06 acknowledges: a stray byte in its place fails the exchange.
                      ReplyCase{"stray_byte_first", Cat({{0x5A}, kAckByte, Answer(4, 'M', 0xF1, 0x23, 0x45, 0x67)}),
                                kNoAck},
                      ReplyCase{"late_answer_of_another_projector",
                                Cat({kAckByte, Answer(1, 'M', 0xF1, 0x23, 0x45, 0x67)}), kNoAnswer},
                      ReplyCase{"answer_to_another_command", Cat({kAckByte, Answer(4, 'I', 0xF1, 0x23, 0x45, 0x67)}),
                                kNoAnswer},
                      ReplyCase{"checksum_wrong", Cat({kAckByte, {4, 'M', 0xF1, 0x23, 0x45, 0x67, 0x00}}), kNoAnswer},
                      ReplyCase{"refused", {kNack}, kNacked}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DataRunTrust, TheRunCountsOnlyWhenItsChecksumHolds) {
    struct Case {
        const char* label;
        uint8_t checksum;
        int result;
    };
    const uint8_t data[4] = {0x10, 0x20, 0x30, 0x41};
    for (const Case& c : {Case{"sound", 0xA1, kDone}, Case{"checksum_wrong", 0xA2, kNoAnswer}}) {
        SCOPED_TRACE(c.label);
        VirtualClock clock;
        ScriptedOpener opener(clock, Cat({kAckByte, Answer(1, 'r', 1, 2, 3, 4), {data, data + 4}, {c.checksum}}));
        Link link(clock, opener);
        Env env;
        ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);
        uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(ReadBlockData(link, 1, buffer, 1, 2, 3, 4, 4), c.result);
        const std::vector<uint8_t> got(buffer, buffer + 4);
        EXPECT_EQ(got, c.result == kDone ? std::vector<uint8_t>(data, data + 4) : std::vector<uint8_t>(4, 0xEE));
    }
}

// A refused or unheard request leaves the projector as it was.
TEST(SimulatorFaults, AreDecidedBeforeAnythingChanges) {
    struct Case {
        const char* label;
        std::function<int(Link&)> call;
        std::function<std::string(const sim::SimProjector&)> state;
    };
    const Case cases[] = {
        {"free_block", [](Link& l) { return FreeBlock(l, 1, 0x3f, 0x02, 0x21, 0x36); },
         [](const sim::SimProjector& p) { return std::to_string(p.IsFree(p.blocks[1])); }},
        {"write_param", [](Link& l) { return WriteParameter(l, 1, 5, 0, 1); },
         [](const sim::SimProjector& p) { return std::to_string(p.params.at(5).value); }},
        {"force", [](Link& l) { return ForceBlock(l, 1, 3, 0x90); },
         [](const sim::SimProjector& p) { return std::to_string(p.forcedSource); }},
        {"iris", [](Link& l) { return IrisCommand(l, 1, 0); },
         [](const sim::SimProjector& p) { return std::to_string(p.irisState); }},
        {"iris_function", [](Link& l) { return IrisFunction(l, 1, 9, 0); },
         [](const sim::SimProjector& p) { return std::to_string(p.irisState); }},
        {"key", [](Link& l) { return KeyCommand(l, 1, 0x0D); },
         [](const sim::SimProjector& p) { return std::to_string(p.status[2]); }},
        {"write_block",
         [](Link& l) {
             const uint8_t data[16] = {9, 9, 9};
             return WriteBlockData(l, 1, data, 0x40, 0x01, 0x20, 0x34, 16);
         },
         [](const sim::SimProjector& p) { return std::to_string(p.blocks[0].data[0]); }},
    };
    // late-ack: the one request it hears (an unknown key) is behind; those after go unheard.
    for (const char* fault : {"nack", "silence", "late-ack 0", "double-ack"}) {
        const bool doubled = std::string(fault) == "double-ack";
        for (const Case& c : cases) {
            if (doubled && std::string(c.label) != "write_block") continue;
            SCOPED_TRACE(std::string(fault) + " " + c.label);
            SimBench b(kThreeProjectors);
            b.bus.With(1, [](sim::SimProjector& p) { p.irisState = 0x1E; });
            std::string before, after;
            b.bus.With(1, [&](sim::SimProjector& p) { before = c.state(p); });
            ASSERT_TRUE(b.bus.Control(std::string("fault 1 ") + fault, 0, nullptr));
            if (std::string(fault).rfind("late-ack", 0) == 0) KeyCommand(b.link, 1, 0x7E);
            EXPECT_NE(c.call(b.link), kDone);
            b.bus.With(1, [&](sim::SimProjector& p) { after = c.state(p); });
            EXPECT_EQ(after, before);
        }
    }
}

TEST(SimulatorFaults, AShortDataRunIsRefusedAndTheBusHearsTheNextRequest) {
    SimBench b(kThreeProjectors);
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(WriteBlockData(b.link, 1, data, 0x41, 0x05, 0x20, 0x34, 8), kNacked);
    StatusFlags flags;
    uint32_t valid = 0;
    EXPECT_EQ(ReadStatus(b.link, 1, &flags, &valid), kDone);
}

TEST(SimulatorFaults, ALateProjectorAcknowledgesABlockWriteLateToo) {
    SimBench b(kThreeProjectors);
    ASSERT_TRUE(b.bus.Control("fault 1 late 2500", 0, nullptr));
    const uint8_t data[16] = {};
    EXPECT_EQ(WriteBlockData(b.link, 1, data, 0x41, 0x05, 0x20, 0x34, 16), kNoAck);
    EXPECT_EQ(b.HostBytes().size(), 1u);  // the request only: no data run without its ACK
}

// Freed and overwritten in one row of the program's list: the new block takes the freed
// slot on the projector too, not the first free one.
TEST(SimulatorFaults, ANewBlockTakesTheSlotJustFreed) {
    SimBench b(kThreeProjectors);
    ASSERT_EQ(FreeBlock(b.link, 1, 0x3f, 0x02, 0x21, 0x36), kDone);
    const uint8_t data[16] = {};
    ASSERT_EQ(WriteBlockData(b.link, 1, data, 0x41, 0x05, 0x20, 0x34, 16), kDone);
    b.bus.With(1, [](sim::SimProjector& p) {
        EXPECT_EQ(p.blocks[1].fh, 0x41);
        EXPECT_TRUE(p.IsFree(p.blocks[2]));
    });
}

TEST(CheckPass, ALostLineEndsThePassWithoutDroppingProjectors) {
    SimBench b(kThreeProjectors);
    std::vector<ProjectorRecord> snapshot(2);
    snapshot[0].address = 1;
    snapshot[1].address = 3;
    b.bus.DropLine();
    std::atomic<bool> stop{false};
    bool lost = false;
    const auto findings = RunCheckPass(b.link, b.env, snapshot, true, stop, &lost);
    EXPECT_TRUE(lost);
    EXPECT_TRUE(findings.empty());
    EXPECT_EQ(LineLostText(b.link), "The line COM2 (/dev/ttyS1) was lost.");
}

TEST(OpenFailure, NamesThePortItsDeviceAndTheReason) {
    struct Case {
        const char* label;
        SysError error;
        std::string text;
    };
    const std::string head = "Cannot open COM3 (/dev/ttyS2): ";
    const Case cases[] = {
        {"missing", MakeSysError(SysErrorCode::NotFound, ""), head + "no such device."},
        {"busy", MakeSysError(SysErrorCode::Busy, ""), head + "busy, held by another program."},
        {"no_permission", MakeSysError(SysErrorCode::Permission, ""),
         head + "permission denied (join the 'dialout' group, then log in again)."},
        {"other", SystemErrorFromErrno(EMFILE, ""), head + "system error (Too many open files)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        VirtualClock clock;
        sim::SimBus bus;
        sim::InProcessOpener opener(bus, clock);
        Link link(clock, opener);
        link.settings.port = 3;
        link.lastError = c.error;
        EXPECT_EQ(OpenFailureText(link), c.text);
    }
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun RunCli(SimBench& b, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    DlLibraryLoader libraries;
    cli::CliPorts ports;
    ports.clock = &b.clock;
    ports.devices = &b.opener;
    ports.libraries = &libraries;
    ports.out = &out;
    ports.err = &err;
    const int status = cli::RunCli(args, ports);
    return {status, out.str(), err.str()};
}

TEST(CliTrust, AStrayByteBeforeTheAnswerIsAFailedExchange) {
    testing::TempDir dir;
    for (const char* command : {"status", "identity", "serial", "id", "runtime", "location", "iris-state"}) {
        SCOPED_TRACE(command);
        SimBench b(kThreeProjectors);
        ASSERT_TRUE(b.bus.Control("fault 1 garbage-before 1", 0, nullptr));
        const CliRun r = RunCli(b, {command, "1"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "result: 0\n");
    }
}

TEST(CliTrust, ARefusalIsNotSilence) {
    testing::TempDir dir;
    SimBench b(kThreeProjectors);
    ASSERT_TRUE(b.bus.Control("fault 1 nack", 0, nullptr));
    const CliRun r = RunCli(b, {"blocks", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the projector at address 1 refuses the question (NACK)"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace ombrix
