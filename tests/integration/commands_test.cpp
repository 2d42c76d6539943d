// The sixteen commands against the simulator: request frames byte for byte, answer
// decoding, result codes and the waits they take, on the virtual clock.
#include <gtest/gtest.h>

#include <functional>

#include "link/Commands.h"
#include "projector/Projector.h"
#include "../support/SimBench.h"

namespace ombrix {
namespace {

using testing::SimBench;
using testing::kThreeProjectors;

using Call = std::function<int(Link&)>;

struct FrameCase {
    const char* label;
    Call call;
    std::array<uint8_t, 6> frame;  // address, command, four parameters
    int result;
    uint64_t elapsed;  // virtual ms from first byte out to return
};

class RequestFrames : public ::testing::TestWithParam<FrameCase> {};

// The reply's acknowledgement arrives 5 ms after the request; WaitMs(n) ends 1 ms past n.
TEST_P(RequestFrames, WireBytesResultAndWaits) {
    const FrameCase& c = GetParam();
    SimBench b(kThreeProjectors);
    const uint64_t t0 = b.clock.TickMs();
    EXPECT_EQ(c.call(b.link), c.result);
    EXPECT_EQ(b.clock.TickMs() - t0, c.elapsed);
    const auto& f = c.frame;
    const auto expected = WireBytes(BuildRequest(f[0], f[1], f[2], f[3], f[4], f[5]));
    EXPECT_EQ(b.LastRequest(), std::vector<uint8_t>(expected.begin(), expected.end()));
}

uint8_t g_bytes[64];
std::string g_text;
uint32_t g_value;
StatusFlags g_flags;

INSTANTIATE_TEST_SUITE_P(
    Commands, RequestFrames,
    ::testing::Values(
        FrameCase{"force_block", [](Link& l) { return ForceBlock(l, 1, 3, 0x90); }, {1, 't', 3, 0x90, 0, 0}, 3,
                  5 + 201},
        FrameCase{"key", [](Link& l) { return KeyCommand(l, 1, 0x0D); }, {1, 0x0D, 0, 0, 0, 0}, 3, 5},
        FrameCase{"identity", [](Link& l) { return ReadIdentity(l, 1, &g_text, &g_text, &g_value); },
                  {1, 'L', 0, 0, 0, 0}, 3, 5 + 301},
        FrameCase{"location", [](Link& l) { return ReadLocation(l, 1, g_bytes); }, {1, 'J', 0, 0, 0, 0}, 3,
                  5 + 301 + 101},
        FrameCase{"free_block", [](Link& l) { return FreeBlock(l, 1, 0x3f, 0x02, 0x21, 0x36); },
                  {1, 's', 0x3f, 0x02, 0x21, 0x36}, 3, 5 + 301},
        FrameCase{"runtime", [](Link& l) { return ReadRuntime(l, 1, &g_text); }, {1, 0x60, 0, 0, 0, 0}, 3,
                  5 + 151 + 151},
        FrameCase{"serial", [](Link& l) { return ReadSerialNumber(l, 1, &g_text); }, {1, 'M', 0, 0, 0, 0}, 3,
                  5 + 301 + 101},
        FrameCase{"id_number", [](Link& l) { return ReadIdNumber(l, 1, &g_text); }, {1, 'I', 0, 0, 0, 0}, 3,
                  5 + 151 + 101},
        FrameCase{"status", [](Link& l) { return ReadStatus(l, 1, &g_flags, &g_value); }, {1, 'K', 0, 0, 0, 0}, 3,
                  5 + 401 + 301},
        FrameCase{"read_block", [](Link& l) { return ReadBlockData(l, 1, g_bytes, 0x40, 0x01, 0x20, 0x34, 16); },
                  {1, 'r', 0x40, 0x01, 0x20, 0x34}, 3, 5 + 301 + 101},
        FrameCase{"read_header_table",
                  [](Link& l) { return ReadBlockData(l, 1, g_bytes, 0xFF, 0xFF, 0xFF, 0xFF, 16); },
                  {1, 'r', 0xFF, 0xFF, 0xFF, 0xFF}, 3, 5 + 301 + 101},
        // The data run goes out after the settle wait; its ACK comes 5 ms later.
        FrameCase{"write_block",
                  [](Link& l) { return WriteBlockData(l, 1, g_bytes, 0x41, 0x05, 0x20, 0x34, 16); },
                  {1, 'q', 0x41, 0x05, 0x20, 0x34}, 3, 5 + 301 + 5 + 101},
        FrameCase{"read_parameter", [](Link& l) { return ReadParameter(l, 1, 5, 0, &g_value); },
                  {1, 'z', 5, 0, 0, 0}, 3, 5 + 301 + 201},
        FrameCase{"write_parameter", [](Link& l) { return WriteParameter(l, 1, 5, 0, 0xFE); },
                  {1, 'y', 5, 0, 0xFE, 0}, 3, 5 + 301},
        FrameCase{"iris", [](Link& l) { return IrisCommand(l, 1, 0); }, {1, 'b', 0, 0, 0, 0}, 3, 5 + 201},
        FrameCase{"iris_state", [](Link& l) { return ReadIrisState(l, 1, g_bytes); }, {1, 'K', 0, 0, 0, 0}, 3,
                  5 + 401 + 301},
        FrameCase{"iris_function", [](Link& l) { return IrisFunction(l, 1, 9, 0x77); }, {1, 'Q', 9, 0, 0, 0x77},
                  3, 5 + 201},
        // Nobody at address 9: 2000 ms without an acknowledgement, then the same waits.
        FrameCase{"silent_status", [](Link& l) { return ReadStatus(l, 9, &g_flags, &g_value); },
                  {9, 'K', 0, 0, 0, 0}, 0, 2000 + 401 + 301},
        // A change unacknowledged in time is listened for 4000 ms more before the line is let go.
        FrameCase{"silent_key", [](Link& l) { return KeyCommand(l, 9, 0x0E); }, {9, 0x0E, 0, 0, 0, 0}, 0, 2000 + 4000},
        FrameCase{"silent_write_param", [](Link& l) { return WriteParameter(l, 9, 1, 0, 1); },
                  {9, 'y', 1, 0, 1, 0}, 0, 2000 + 4000 + 301},
        // A projector in standby refuses block and parameter work.
        FrameCase{"standby_block_read", [](Link& l) { return ReadBlockData(l, 2, g_bytes, 0, 0, 0, 0, 16); },
                  {2, 'r', 0, 0, 0, 0}, 2, 5 + 301 + 101}),
    [](const auto& info) { return std::string(info.param.label); });

struct FaultCase {
    const char* label;
    const char* control;
    Call call;
    int result;
    uint64_t elapsed;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, ResultAndWaits) {
    const FaultCase& c = GetParam();
    SimBench b(kThreeProjectors);
    std::string reply;
    ASSERT_TRUE(b.bus.Control(c.control, b.clock.TickMs(), &reply)) << reply;
    const uint64_t t0 = b.clock.TickMs();
    EXPECT_EQ(c.call(b.link), c.result);
    EXPECT_EQ(b.clock.TickMs() - t0, c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Faults,
    ::testing::Values(
        FaultCase{"nack", "fault 1 nack", [](Link& l) { return ReadStatus(l, 1, &g_flags, &g_value); }, 2,
                  5 + 401 + 301},
        FaultCase{"silence", "fault 1 silence", [](Link& l) { return ReadIdentity(l, 1, &g_text, &g_text, &g_value); },
                  0, 2000 + 301},
        // Six of seven answer bytes: ReadAnswer waits its full 2000 ms after the settle wait.
        FaultCase{"short_answer", "fault 1 short", [](Link& l) { return ReadSerialNumber(l, 1, &g_text); }, 1,
                  5 + 301 + 2000 + 101},
        FaultCase{"short_data_run", "fault 1 short",
                  [](Link& l) { return ReadBlockData(l, 1, g_bytes, 0x40, 0x01, 0x20, 0x34, 16); }, 1,
                  5 + 301 + 2000 + 101},
        // Not done, but heard when it comes, 2505 ms after the request.
        FaultCase{"late_acknowledgement", "fault 1 late 2500",
                  [](Link& l) { return KeyCommand(l, 1, 0x0D); }, 0, 2505},
        FaultCase{"late_answer", "fault 1 late-answer 3000", [](Link& l) { return ReadRuntime(l, 1, &g_text); }, 1,
                  5 + 151 + 2000 + 151},
        // Only 0x06 acknowledges: a stray byte first fails the exchange at once.
        FaultCase{"garbage_before_is_no_ack", "fault 1 garbage-before 1",
                  [](Link& l) { return KeyCommand(l, 1, 0x0D); }, 0, 1},
        FaultCase{"nack_on_block_write", "fault 1 nack",
                  [](Link& l) { return WriteBlockData(l, 1, g_bytes, 0x41, 0x05, 0x20, 0x34, 16); }, 2,
                  5 + 301 + 101},
        FaultCase{"silent_block_write", "fault all silence",
                  [](Link& l) { return WriteBlockData(l, 1, g_bytes, 0x41, 0x05, 0x20, 0x34, 16); }, 0,
                  2000 + 301 + 4000 + 101}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Answers, DecodedFromTheSimulatedProjector) {
    SimBench b(kThreeProjectors);
    std::string letter, version, serial, id, runtime;
    uint32_t type = 0;
    ASSERT_EQ(ReadIdentity(b.link, 3, &letter, &version, &type), 3);
    EXPECT_EQ(letter, "V");
    EXPECT_EQ(version, "12.05");
    EXPECT_EQ(type, 25u);
    ASSERT_EQ(ReadSerialNumber(b.link, 1, &serial), 3);
    EXPECT_EQ(serial, "1234567");
    ASSERT_EQ(ReadIdNumber(b.link, 3, &id), 3);
    EXPECT_EQ(id, "-2147483647");
    ASSERT_EQ(ReadRuntime(b.link, 1, &runtime), 3);
    EXPECT_EQ(runtime, "300h");
    uint8_t location[4];
    ASSERT_EQ(ReadLocation(b.link, 3, location), 3);  // long wire order: fh fv source config
    EXPECT_EQ(std::vector<uint8_t>(location, location + 4), (std::vector<uint8_t>{0x30, 0x32, 0x01, 0x03}));
    StatusFlags flags;
    uint32_t valid = 0;
    ASSERT_EQ(ReadStatus(b.link, 3, &flags, &valid), 3);
    EXPECT_EQ(valid, 1u);
    EXPECT_EQ(flags.extraBlock1, 1);
    EXPECT_EQ(flags.extraBlock2, 1);
}

TEST(Answers, FailedStatusKeepsFlagsButClearsTheExtraBlocks) {
    SimBench b(kThreeProjectors);
    StatusFlags flags;
    uint32_t valid = 7;
    ASSERT_EQ(ReadStatus(b.link, 3, &flags, &valid), 3);
    ASSERT_EQ(ReadStatus(b.link, 1, &flags, &valid), 3);
    ASSERT_EQ(flags.greenConvergence, 1);
    flags.extraBlock1 = flags.extraBlock2 = 1;
    valid = 7;
    EXPECT_EQ(ReadStatus(b.link, 9, &flags, &valid), 0);
    EXPECT_EQ(flags.greenConvergence, 1);
    EXPECT_EQ(flags.iris, 1);
    EXPECT_EQ(flags.extraBlock1, 0);
    EXPECT_EQ(flags.extraBlock2, 0);
    EXPECT_EQ(valid, 7u);
}

TEST(Answers, FailedQuestionsLeaveTheirOutputsAlone) {
    SimBench b(kThreeProjectors);
    std::string text = "before";
    uint8_t location[4] = {9, 9, 9, 9};
    EXPECT_EQ(ReadSerialNumber(b.link, 9, &text), 0);
    EXPECT_EQ(ReadLocation(b.link, 9, location), 0);
    b.bus.Control("fault 1 short 0 2", b.clock.TickMs(), nullptr);
    EXPECT_EQ(ReadRuntime(b.link, 1, &text), 1);
    EXPECT_EQ(ReadIdNumber(b.link, 1, &text), 1);
    EXPECT_EQ(text, "before");
    EXPECT_EQ(location[0], 9);
}

TEST(Answers, ReadParameterWritesZeroWhenOnlyTheAnswerIsMissing) {
    SimBench b(kThreeProjectors);
    uint32_t value = 77;
    ASSERT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 3);
    EXPECT_EQ(value, 250u);
    value = 77;
    b.bus.Control("fault 1 short 0 1", b.clock.TickMs(), nullptr);
    EXPECT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 1);
    EXPECT_EQ(value, 0u);
    value = 77;
    b.bus.Control("fault 1 nack 0 1", b.clock.TickMs(), nullptr);
    EXPECT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 2);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(ReadParameter(b.link, 9, 5, 0, &value), 0);
    EXPECT_EQ(value, 77u);
}

TEST(Answers, ParameterStepsAreClampedToTheLimits) {
    SimBench b(kThreeProjectors);
    uint32_t value = 0;
    ASSERT_EQ(WriteParameter(b.link, 1, 5, 0, 10), 3);  // 250 + 10 stops at 252
    ASSERT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 3);
    EXPECT_EQ(value, 252u);
    ASSERT_EQ(WriteParameter(b.link, 1, 5, 0, static_cast<uint8_t>(-128)), 3);
    ASSERT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 3);
    EXPECT_EQ(value, 124u);
    ASSERT_EQ(WriteParameter(b.link, 1, 5, 0, static_cast<uint8_t>(-128)), 3);
    ASSERT_EQ(ReadParameter(b.link, 1, 5, 0, &value), 3);
    EXPECT_EQ(value, 10u);
}

TEST(DataRuns, BlockWriteAndReadBack) {
    SimBench b(kThreeProjectors);
    std::vector<uint8_t> data(16);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xF0 + i);
    // A new header goes into the first free slot and appears in the header table.
    ASSERT_EQ(WriteBlockData(b.link, 1, data.data(), 0x41, 0x05, 0x20, 0x34, data.size()), 3);
    const RequestFrame f = BuildRequest(1, 'q', 0x41, 0x05, 0x20, 0x34);
    const auto runs = b.HostBytes();
    ASSERT_GE(runs.size(), 2u);
    std::vector<uint8_t> run;
    for (uint8_t d : data) run.push_back(static_cast<uint8_t>(d + f.b[0]));
    run.push_back(DataRunChecksum(data.data(), data.size(), f.b[0]));
    EXPECT_EQ(runs.back(), run);

    std::vector<uint8_t> back(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, back.data(), 0x41, 0x05, 0x20, 0x34, back.size()), 3);
    EXPECT_EQ(back, data);
    std::vector<uint8_t> table(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, table.data(), 0xFF, 0xFF, 0xFF, 0xFF, table.size()), 3);
    // Four-byte records fh source config fv: the two blocks, then the written one.
    EXPECT_EQ(std::vector<uint8_t>(table.begin(), table.begin() + 12),
              (std::vector<uint8_t>{0x40, 0x01, 0x20, 0x34, 0x3f, 0x02, 0x21, 0x36, 0x41, 0x05, 0x20, 0x34}));
}

TEST(DataRuns, ReadRunIsTakenAsReceived) {
    SimBench b(kThreeProjectors);
    std::vector<uint8_t> data(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, data.data(), 0x40, 0x01, 0x20, 0x34, data.size()), 3);
    for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], i);
    // Long header table: five-byte records fh fv source config fifth.
    std::vector<uint8_t> table(20);
    ASSERT_EQ(ReadBlockData(b.link, 3, table.data(), 0xFF, 0xFF, 0xFF, 0xFF, table.size()), 3);
    EXPECT_EQ(std::vector<uint8_t>(table.begin(), table.begin() + 10),
              (std::vector<uint8_t>{0x30, 0x32, 0x01, 0x03, 0x09, 0x00, 0x00, 0x00, 0x04, 0x00}));
}

TEST(DataRuns, FreeAndUndeleteUnderTheFreedHeader) {
    SimBench b(kThreeProjectors);
    std::vector<uint8_t> data(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, data.data(), 0x3f, 0x02, 0x21, 0x36, 16), 3);
    ASSERT_EQ(FreeBlock(b.link, 1, 0x3f, 0x02, 0x21, 0x36), 3);
    // Freed twice, or a block that is not there: refused.
    EXPECT_EQ(FreeBlock(b.link, 1, 0x3f, 0x02, 0x21, 0x36), 2);
    std::vector<uint8_t> freed(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, freed.data(), 0x3f, 0x82, 0x21, 0x36, 16), 3);
    EXPECT_EQ(freed, data);
    ASSERT_EQ(WriteBlockData(b.link, 1, freed.data(), 0x3f, 0x02, 0x21, 0x36, 16), 3);
    std::vector<uint8_t> table(16);
    ASSERT_EQ(ReadBlockData(b.link, 1, table.data(), 0xFF, 0xFF, 0xFF, 0xFF, 16), 3);
    EXPECT_EQ(table[5], 0x02);  // undeleted in its own slot
    EXPECT_EQ(table[9], 0x80);  // the free slot after it is still free
}

TEST(DataRuns, WrongDataChecksumIsRefused) {
    SimBench b(kThreeProjectors);
    b.link.lock.AcquireForeground();
    const RequestFrame f = BuildRequest(1, 'q', 0x41, 0x05, 0x20, 0x34);
    ASSERT_EQ(SendFrame(b.link, f), 3);
    uint8_t data[16] = {};
    for (uint8_t d : data) PutByte(b.link, static_cast<uint8_t>(d + f.b[0]));
    PutByte(b.link, static_cast<uint8_t>(f.b[0] + 1));
    EXPECT_EQ(AwaitAck(b.link), 2);
    b.link.lock.ReleaseForeground(false);
}

TEST(Line, LeftoverBytesAreFlushedBeforeTheNextRequest) {
    SimBench b(kThreeProjectors);
    b.bus.Control("fault 1 garbage-after 5 1", b.clock.TickMs(), nullptr);
    std::string serial;
    ASSERT_EQ(ReadSerialNumber(b.link, 1, &serial), 3);
    b.clock.Advance(50);  // the junk arrives after the answer was taken
    EXPECT_GT(b.link.device->InputCount(), 0);
    std::string id;
    ASSERT_EQ(ReadIdNumber(b.link, 1, &id), 3);
    EXPECT_EQ(id, "100234");
    // A late reply to one request is not taken for the next one either.
    b.bus.Control("fault 1 late 2100 1", b.clock.TickMs(), nullptr);
    EXPECT_EQ(ReadIdNumber(b.link, 1, &id), 0);
    ASSERT_EQ(ReadSerialNumber(b.link, 1, &serial), 3);
    EXPECT_EQ(serial, "1234567");
}

TEST(Line, WaitForBytesNeedsTheFullCount) {
    SimBench b(kThreeProjectors);
    b.bus.Control("fault 1 short 0 1", b.clock.TickMs(), nullptr);
    b.link.lock.AcquireForeground();
    ASSERT_EQ(SendFrame(b.link, BuildRequest(1, 'M', 0, 0, 0, 0)), 3);
    b.clock.Advance(100);
    uint64_t t0 = b.clock.TickMs();
    EXPECT_EQ(WaitForBytes(b.link, 2000, 7), 0);
    EXPECT_EQ(b.clock.TickMs() - t0, 2000u);
    t0 = b.clock.TickMs();
    EXPECT_EQ(WaitForBytes(b.link, 2000, 6), 1);
    EXPECT_EQ(b.clock.TickMs(), t0);
    // After leftovers the line must stay quiet a moment; an empty line flushes at once.
    EXPECT_EQ(FlushInput(b.link), 1);
    EXPECT_EQ(b.clock.TickMs() - t0, kFlushQuietMs);
    t0 = b.clock.TickMs();
    EXPECT_EQ(FlushInput(b.link), 1);
    EXPECT_EQ(b.clock.TickMs(), t0);
    b.link.lock.ReleaseForeground(false);
}

TEST(Line, ADroppedLineFailsAtOnce) {
    SimBench b(kThreeProjectors);
    b.bus.DropLine();
    const uint64_t t0 = b.clock.TickMs();
    EXPECT_EQ(KeyCommand(b.link, 1, 0x0D), 0);
    EXPECT_EQ(b.clock.TickMs() - t0, 0u);
    std::string text;
    EXPECT_EQ(ReadSerialNumber(b.link, 1, &text), 0);
    EXPECT_EQ(b.clock.TickMs() - t0, 301u + 101u);  // only the command's own waits
}

TEST(Line, OwnersShareTheLine) {
    SimBench b(kThreeProjectors);  // opened for the tool
    EXPECT_EQ(SetupConnection(b.env, b.link, kOwnerRemoteControl), 1);
    CloseConnection(b.link, kOwnerTool);
    EXPECT_EQ(IsConnected(b.link), 1);
    EXPECT_EQ(KeyCommand(b.link, 1, 0x0D), 3);
    CloseConnection(b.link, kOwnerRemoteControl);
    EXPECT_EQ(IsConnected(b.link), 0);
    EXPECT_EQ(KeyCommand(b.link, 1, 0x0D), 0);
    EXPECT_TRUE(b.ui.Boxes().empty());
}

TEST(Line, AnUnopenableDeviceIsError3) {
    SimBench b(kThreeProjectors);
    CloseConnectionAll(b.link);
    b.opener.fail = true;
    EXPECT_EQ(SetupConnection(b.env, b.link, kOwnerCommWindow), 0);
    EXPECT_EQ(IsConnected(b.link), 0);
    EXPECT_EQ(b.opener.lastPath, "/dev/ttyS1");  // COM2 by default
    EXPECT_EQ(b.link.lastError.code, SysErrorCode::NotFound);
}

TEST(Identity, OperatingAndStandbyProjectors) {
    SimBench b(kThreeProjectors);
    StatusFlags flags;
    ProjectorRecord r;
    ASSERT_EQ(DeriveIdentity(b.link, 3, &flags, &r), 3);
    EXPECT_EQ(r.address, 3);
    EXPECT_EQ(r.alphaId, 'V');
    EXPECT_EQ(r.softwareVersion, 12);
    EXPECT_EQ(r.projectorType, 25);
    EXPECT_EQ(r.idNumber, -2147483647);
    EXPECT_EQ(r.operating, 1);

    const size_t before = b.HostBytes().size();
    ProjectorRecord s;
    s.alphaId = 'G';
    ASSERT_EQ(DeriveIdentity(b.link, 2, &flags, &s), 3);
    EXPECT_EQ(b.HostBytes().size(), before + 1);  // status only: no identity asked in standby
    EXPECT_EQ(s.standby, 1);
    EXPECT_EQ(s.alphaId, 0);
    EXPECT_EQ(s.softwareVersion, 255);
    EXPECT_EQ(s.projectorType, -1);
    EXPECT_EQ(s.idNumber, -1);
}

TEST(Simulator, PowerKeyWakesAfterTheDelayAndDigitsSelectAnInput) {
    SimBench b(kThreeProjectors);
    StatusFlags flags;
    uint32_t valid;
    ASSERT_EQ(KeyCommand(b.link, 2, 0x0E), 3);
    ASSERT_EQ(ReadStatus(b.link, 2, &flags, &valid), 3);
    EXPECT_EQ(flags.standby, 1);  // still waking up
    b.clock.Advance(5000);
    ASSERT_EQ(ReadStatus(b.link, 2, &flags, &valid), 3);
    EXPECT_EQ(flags.operating, 1);
    ASSERT_EQ(KeyCommand(b.link, 2, 0x0E), 3);
    ASSERT_EQ(ReadStatus(b.link, 2, &flags, &valid), 3);
    EXPECT_EQ(flags.standby, 1);

    ASSERT_EQ(KeyCommand(b.link, 1, 0x0F), 3);
    ASSERT_EQ(ReadStatus(b.link, 1, &flags, &valid), 3);
    EXPECT_EQ(flags.pause, 1);
    ASSERT_EQ(KeyCommand(b.link, 1, 0x12), 3);  // digit 2
    uint8_t location[4];
    ASSERT_EQ(ReadLocation(b.link, 1, location), 3);
    EXPECT_EQ(location[1], 0x02);
}

TEST(Simulator, IrisStates) {
    SimBench b(kThreeProjectors);
    uint8_t state = 0xAA;
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x40);  // green convergence bit, IRIS idle
    b.bus.With(1, [](sim::SimProjector& p) { p.status[0] = 0; });
    ASSERT_EQ(IrisCommand(b.link, 1, 0), 3);
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x1C);
    ASSERT_EQ(IrisCommand(b.link, 1, 3), 3);
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x1E);
    b.clock.Advance(3000);
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x00);  // ran to its end
    ASSERT_EQ(IrisCommand(b.link, 1, 0), 3);
    ASSERT_EQ(IrisCommand(b.link, 1, 3), 3);
    ASSERT_EQ(IrisCommand(b.link, 1, 0xFF), 3);
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x1C);  // cut short
    ASSERT_EQ(IrisFunction(b.link, 1, 9, 0), 3);
    ASSERT_EQ(ReadIrisState(b.link, 1, &state), 3);
    EXPECT_EQ(state, 0x00);
}

}  // namespace
}  // namespace ombrix
