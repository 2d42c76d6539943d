// Every fault the simulator can inject against every projector command, through the
// real serial code on a pseudo-terminal and over TCP, on a clock running ten times fast:
// the right result, decoded values only from a sound exchange, no wait past the
// protocol's own, and a working line once the fault is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "LineServer.h"
#include "SimBus.h"
#include "link/Commands.h"
#include "platform/RecordingUi.h"
#include "../support/SimBench.h"

namespace ombrix {
namespace {

constexpr double kSpeed = 10.0;

// The real device with its waits on the line shortened to the scaled clock's pace.
class ScaledWaitDevice final : public SerialDevice {
public:
    explicit ScaledWaitDevice(std::unique_ptr<SerialDevice> inner) : inner_(std::move(inner)) {}
    bool Configure(const LineSettings& s, SysError* e) override { return inner_->Configure(s, e); }
    bool PutByte(uint8_t b) override { return inner_->PutByte(b); }
    int InputCount() override { return inner_->InputCount(); }
    bool LineDropped() override { return inner_->LineDropped(); }
    int GetByte() override { return inner_->GetByte(); }
    void WaitInput(uint32_t maxMs) override { inner_->WaitInput(static_cast<uint32_t>(maxMs / kSpeed) + 1); }
    void Purge() override { inner_->Purge(); }
    void SetDtr(bool on) override { inner_->SetDtr(on); }

private:
    std::unique_ptr<SerialDevice> inner_;
};

class ScaledOpener final : public DeviceOpener {
public:
    std::unique_ptr<SerialDevice> Open(const std::string& path, SysError* error) override {
        auto d = real_.Open(path, error);
        return d ? std::make_unique<ScaledWaitDevice>(std::move(d)) : nullptr;
    }

private:
    SystemDeviceOpener real_;
};

enum class Transport { Pty, Tcp };

// The simulator on its own thread behind a pty or a TCP port, and the program's link to it.
class LineBench {
public:
    explicit LineBench(Transport t) : server_(bus, clock, kSpeed) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
        if (t == Transport::Pty) {
            EXPECT_TRUE(server_.OpenPty());
            path_ = server_.PtyPath();
        } else {
            EXPECT_TRUE(server_.OpenTcp(0));
            path_ = "tcp://127.0.0.1:" + std::to_string(server_.TcpPort());
        }
        thread_ = std::thread([this] {
            std::vector<pollfd> none;
            while (!stop_.load()) {
                server_.Serve(none, 5);
                if (dropRequested_.exchange(false)) server_.Drop();
                if (restoreRequested_.exchange(false)) {
                    server_.Restore();
                    restored_ = true;
                }
            }
        });
        env.clock = &clock;
        env.ui = &ui;
        link.deviceOverride = path_;
        EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    }
    ~LineBench() {
        CloseConnectionAll(link);
        stop_ = true;
        thread_.join();
    }

    void Drop() {
        bus.DropLine();
        dropRequested_ = true;
        while (dropRequested_.load()) clock.Nap(1);
    }
    void Restore() {
        bus.RestoreLine();
        restored_ = false;
        restoreRequested_ = true;
        while (!restored_.load()) clock.Nap(1);
        CloseConnectionAll(link);
        link.deviceOverride = server_.PtyPath().empty() ? path_ : server_.PtyPath();
    }
    // Waits until the bus has nothing more to say, so a late reply of one case cannot
    // reach the next.
    void Settle(uint32_t quietMs) {
        while (bus.NextDue()) clock.Nap(10);
        clock.WaitMs(quietMs);
        FlushInput(link);
        // Nothing more is due: no late reply of this case can still come.
        link.lateReplyUntil = 0;
    }

    ScaledClock clock{kSpeed};
    sim::SimBus bus;
    ScaledOpener opener;
    RecordingUi ui;
    Env env;
    Link link{clock, opener};

private:
    sim::LineServer server_;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropRequested_{false};
    std::atomic<bool> restoreRequested_{false};
    std::atomic<bool> restored_{false};
};

enum class Shape { NoAnswer, Answer, BlockRead, BlockWrite };

struct Outputs {
    std::string text = "untouched";
    std::string text2 = "untouched";
    uint32_t value = 0xDEADBEEF;
    uint8_t bytes[16] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                         0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    StatusFlags flags;
};

struct CommandCase {
    const char* label;
    Shape shape;
    bool refusedInStandby;
    int settle, after;  // the command's own waits, for the time bound
    std::function<int(Link&, Outputs&)> call;
    // What a done exchange must have decoded; empty when it decodes nothing.
    std::function<std::string(const Outputs&)> decoded;
    std::string expected;
};

std::string Hex(const uint8_t* b, size_t n) {
    std::string s;
    char buf[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", b[i]);
        s += buf;
    }
    return s;
}

const uint8_t kWriteData[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

const std::vector<CommandCase>& Commands() {
    static const std::vector<CommandCase> kCases = {
        {"force", Shape::NoAnswer, true, -1, 200, [](Link& l, Outputs&) { return ForceBlock(l, 1, 3, 0x90); }, {}, ""},
        {"key", Shape::NoAnswer, false, -1, -1, [](Link& l, Outputs&) { return KeyCommand(l, 1, 0x0D); }, {}, ""},
        {"identity", Shape::Answer, false, 300, -1,
         [](Link& l, Outputs& o) { return ReadIdentity(l, 1, &o.text, &o.text2, &o.value); },
         [](const Outputs& o) { return o.text + o.text2 + "/" + std::to_string(o.value); }, "V 3.05/5"},
        {"location", Shape::Answer, false, 300, 100, [](Link& l, Outputs& o) { return ReadLocation(l, 1, o.bytes); },
         [](const Outputs& o) { return Hex(o.bytes, 4); }, "40012034"},
        {"free-block", Shape::NoAnswer, true, -1, 300,
         [](Link& l, Outputs&) { return FreeBlock(l, 1, 0x3f, 0x02, 0x21, 0x36); }, {}, ""},
        {"runtime", Shape::Answer, false, 150, 150, [](Link& l, Outputs& o) { return ReadRuntime(l, 1, &o.text); },
         [](const Outputs& o) { return o.text; }, "300h"},
        {"serial", Shape::Answer, false, 300, 100, [](Link& l, Outputs& o) { return ReadSerialNumber(l, 1, &o.text); },
         [](const Outputs& o) { return o.text; }, "1234567"},
        {"id", Shape::Answer, false, 150, 100, [](Link& l, Outputs& o) { return ReadIdNumber(l, 1, &o.text); },
         [](const Outputs& o) { return o.text; }, "100234"},
        {"status", Shape::Answer, false, 400, 300,
         [](Link& l, Outputs& o) { return ReadStatus(l, 1, &o.flags, &o.value); },
         [](const Outputs& o) {
             return std::to_string(o.flags.soundAvailable) + std::to_string(o.flags.iris) + "/" +
                    std::to_string(o.value);
         },
         "11/1"},
        {"write-block", Shape::BlockWrite, true, 300, 100,
         [](Link& l, Outputs&) { return WriteBlockData(l, 1, kWriteData, 0x41, 0x05, 0x20, 0x34, 16); }, {}, ""},
        {"read-block", Shape::BlockRead, true, 300, 100,
         [](Link& l, Outputs& o) { return ReadBlockData(l, 1, o.bytes, 0x40, 0x01, 0x20, 0x34, 16); },
         [](const Outputs& o) { return Hex(o.bytes, 16); }, "000102030405060708090a0b0c0d0e0f"},
        {"read-param", Shape::Answer, true, 300, 200,
         [](Link& l, Outputs& o) { return ReadParameter(l, 1, 5, 0, &o.value); },
         [](const Outputs& o) { return std::to_string(o.value); }, "250"},
        {"write-param", Shape::NoAnswer, true, -1, 300, [](Link& l, Outputs&) { return WriteParameter(l, 1, 5, 0, 1); },
         {}, ""},
        {"iris-state", Shape::Answer, false, 400, 300, [](Link& l, Outputs& o) { return ReadIrisState(l, 1, o.bytes); },
         [](const Outputs& o) { return std::to_string(o.bytes[0]); }, "64"},
        {"iris", Shape::NoAnswer, true, -1, 200, [](Link& l, Outputs&) { return IrisCommand(l, 1, 0); }, {}, ""},
        {"iris-function", Shape::NoAnswer, true, -1, 200, [](Link& l, Outputs&) { return IrisFunction(l, 1, 9, 0); },
         {}, ""},
    };
    return kCases;
}

enum class Fault {
    None, Silence, Nack, Short, GarbageBefore, GarbageAfter, Late, LateAnswer, PowerOff, Standby, Drop, Byte,
    DoubleAck, LateAck
};

struct FaultCase {
    const char* label;
    Fault fault;
    const char* control;  // the simulator's control line, when it has one
    // Result per shape: no answer, answer, block read, block write.
    int result[4];
    // The byte a failed exchange must name, -1 for none.
    int stray = -1;
};

// Only 0x06 acknowledges: a stray byte in its place fails the exchange and is named. A
// device that answers every request with one byte never gets a command done but those
// without an answer, and only when that byte is 0x06.
const FaultCase kFaults[] = {
    {"none", Fault::None, nullptr, {3, 3, 3, 3}},
    {"silence", Fault::Silence, "fault 1 silence", {0, 0, 0, 0}},
    {"nack", Fault::Nack, "fault 1 nack", {2, 2, 2, 2}},
    {"short", Fault::Short, "fault 1 short", {3, 1, 1, 3}},
    // The simulator sends its junk ahead of replies, not ahead of a block write's first
    // acknowledgement.
    {"garbage_before", Fault::GarbageBefore, "fault 1 garbage-before 1", {0, 0, 0, 3}, 0x5A},
    {"byte_00", Fault::Byte, "fault 1 byte 0x00", {0, 0, 0, 0}, 0x00},
    {"byte_07", Fault::Byte, "fault 1 byte 0x07", {0, 0, 0, 0}, 0x07},
    {"byte_5a", Fault::Byte, "fault 1 byte 0x5A", {0, 0, 0, 0}, 0x5A},
    {"byte_06", Fault::Byte, "fault 1 byte 0x06", {3, 1, 1, 3}},
    {"byte_15", Fault::Byte, "fault 1 byte 0x15", {2, 2, 2, 2}},
    {"garbage_after", Fault::GarbageAfter, "fault 1 garbage-after 3", {3, 3, 3, 3}},
    {"late", Fault::Late, "fault 1 late 2500", {0, 0, 0, 0}},
    // A doubled acknowledgement is no answer, and never the data run's acknowledgement.
    {"double_ack", Fault::DoubleAck, "fault 1 double-ack", {3, 1, 1, 2}},
    // One acknowledgement twice the time-out late, then nothing heard.
    {"late_ack", Fault::LateAck, "fault 1 late-ack 4000", {0, 0, 0, 0}},
    {"late_answer", Fault::LateAnswer, "fault 1 late-answer 2500", {3, 1, 1, 3}},
    {"power_off", Fault::PowerOff, "power 1 off", {0, 0, 0, 0}},
    {"standby", Fault::Standby, "standby 1 on", {-1, -1, -1, -1}},
    {"drop", Fault::Drop, nullptr, {0, 0, 0, 0}},
};

int Expected(const FaultCase& f, const CommandCase& c) {
    if (f.fault == Fault::Standby) return c.refusedInStandby ? 2 : 3;
    return f.result[static_cast<int>(c.shape)];
}

bool Changes(const CommandCase& c) { return c.shape == Shape::NoAnswer || c.shape == Shape::BlockWrite; }

// The longest a command may take: its settle and closing waits, 2000 ms for each reply
// it waits for, 4000 ms more for a late acknowledgement of a change, the bounded flush,
// and slack for a loaded machine.
uint64_t TimeBound(const CommandCase& c) {
    uint64_t bound = 2000 + kFlushLimitMs + 1500;
    if (Changes(c)) bound += 4000;
    if (c.settle >= 0) bound += static_cast<uint64_t>(c.settle) + 2000;
    if (c.shape == Shape::BlockRead) bound += 2000;
    if (c.after >= 0) bound += static_cast<uint64_t>(c.after);
    return bound;
}

using MatrixParam = std::tuple<Transport, FaultCase>;

class FaultMatrix : public ::testing::TestWithParam<MatrixParam> {};

TEST_P(FaultMatrix, EveryCommand) {
    const auto& [transport, f] = GetParam();
    LineBench b(transport);
    if (f.control) {
        ASSERT_TRUE(b.bus.Control(f.control, b.clock.TickMs(), nullptr)) << f.control;
    }
    if (f.fault == Fault::Drop) b.Drop();
    for (const CommandCase& c : Commands()) {
        SCOPED_TRACE(c.label);
        Outputs out;
        const uint64_t t0 = b.clock.TickMs();
        const int r = c.call(b.link, out);
        const uint64_t took = b.clock.TickMs() - t0;
        EXPECT_EQ(r, Expected(f, c));
        EXPECT_LE(took, TimeBound(c));
        EXPECT_EQ(b.link.strayReply.load(), r == kNoAck ? f.stray : -1);
        if (f.stray >= 0 && r == kNoAck) {
            b.ui.Clear();
            ReportCommError(b.env, b.link, r);
            char named[8];
            std::snprintf(named, sizeof named, "0x%02X", f.stray);
            ASSERT_EQ(b.ui.Boxes().size(), 1u);
            EXPECT_EQ(b.ui.Boxes()[0].text, "Projector doesn't send ACK !");
            EXPECT_NE(b.ui.Boxes()[0].detail.find(named), std::string::npos) << b.ui.Boxes()[0].detail;
        }
        if (c.decoded && r == kDone) {
            EXPECT_EQ(c.decoded(out), c.expected);
        }
        // A failed exchange leaves what it would have decoded as it was.
        if (c.decoded && r != kDone && std::string(c.label) != "read-param") {
            EXPECT_NE(c.decoded(out), c.expected);
            EXPECT_EQ(out.text, "untouched");
        }
        // A block write whose acknowledgement came late or spoilt leaves the projector
        // waiting for its data run until that gives up (3000 ms after the request).
        b.Settle(f.fault == Fault::Late || f.fault == Fault::LateAck ? 1000 : f.fault == Fault::GarbageBefore ? 3000 : 100);
    }
    if (f.fault == Fault::Drop) {
        EXPECT_EQ(LineLost(b.link), 1);
        b.Restore();
        ASSERT_EQ(SetupConnection(b.env, b.link, kOwnerTool), 1);
    } else {
        b.bus.ClearFaults();
        b.bus.Control("power 1 on", 0, nullptr);
        b.bus.Control("standby 1 off", 0, nullptr);
    }
    // Once the fault is gone the line works again.
    Outputs out;
    EXPECT_EQ(ReadSerialNumber(b.link, 1, &out.text), kDone);
    EXPECT_EQ(out.text, "1234567");
}

// The line goes while a command waits for its acknowledgement: the command fails as soon
// as the hang-up shows, not after the full wait, and the line reads as lost.
TEST(LineDroppedMidCommand, FailsAtOnceOnBothTransports) {
    for (Transport t : {Transport::Pty, Transport::Tcp}) {
        SCOPED_TRACE(t == Transport::Pty ? "pty" : "tcp");
        LineBench b(t);
        ASSERT_TRUE(b.bus.Control("fault 1 silence", 0, nullptr));
        std::thread dropper([&] {
            b.clock.WaitMs(300);
            b.Drop();
        });
        StatusFlags flags;
        uint32_t valid = 0;
        const uint64_t t0 = b.clock.TickMs();
        EXPECT_EQ(ReadStatus(b.link, 1, &flags, &valid), kNoAck);
        dropper.join();
        // The settle and closing waits (700 ms) follow; the 2000 ms wait for the ACK did not run out.
        EXPECT_LT(b.clock.TickMs() - t0, 2000u + 700u);
        EXPECT_EQ(LineLost(b.link), 1);
    }
}

// An acknowledgement that comes twice the time-out late belongs to the command it
// answers, whichever that was: the command after it, on a device that hears nothing
// more, is never done, and a change names the acknowledgement that came late.
TEST(LateAcknowledgement, NeverPassesForTheNextCommands) {
    for (Transport t : {Transport::Pty, Transport::Tcp}) {
        SCOPED_TRACE(t == Transport::Pty ? "pty" : "tcp");
        LineBench b(t);
        auto command = [](const std::string& label) {
            for (const CommandCase& c : Commands())
                if (label == c.label) return c;
            return CommandCase{};
        };
        // One of each shape; a bare acknowledgement is what a late one could pass for.
        for (const char* first : {"write-param", "key", "status", "read-block", "write-block"}) {
            SCOPED_TRACE(first);
            const CommandCase c = command(first);
            ASSERT_TRUE(b.bus.Control("fault 1 late-ack 4000", b.clock.TickMs(), nullptr));
            Outputs out;
            EXPECT_NE(c.call(b.link, out), kDone);
            if (Changes(c)) {
                EXPECT_EQ(b.link.lateReply.load(), 0x06);
                EXPECT_NE(LateReplyText(b.link).find("the projector has applied it"), std::string::npos);
            }
            EXPECT_NE(command("key").call(b.link, out), kDone);
            b.bus.ClearFaults();
            b.Settle(100);
        }
    }
}

std::string MatrixName(const ::testing::TestParamInfo<MatrixParam>& info) {
    return std::string(std::get<0>(info.param) == Transport::Pty ? "pty_" : "tcp_") + std::get<1>(info.param).label;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix,
                         ::testing::Combine(::testing::Values(Transport::Pty, Transport::Tcp),
                                            ::testing::ValuesIn(kFaults)),
                         MatrixName);

}  // namespace
}  // namespace ombrix
