// The on-screen handset against the in-process simulator: what each key sends and to
// whom, typing an address, the state keys with their status follow-up, and the window
// table.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "remote/RemoteKeys.h"
#include "../support/BlockBench.h"
#include "../support/SimBench.h"

namespace ombrix {
namespace {

using Sent = std::vector<std::pair<int, int>>;  // (address, command byte) per request frame

Sent Frames(const sim::SimBus& bus) {
    Sent out;
    for (const auto& e : bus.Transcript()) {
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        out.push_back({static_cast<uint8_t>(e.bytes[2] - e.bytes[1]), static_cast<uint8_t>(e.bytes[3] - e.bytes[1])});
    }
    return out;
}

class RemoteKeys : public ::testing::Test {
protected:
    RemoteKeys() {
        bench.Connect({1, 2, 3});
        bench.bus.ClearTranscript();
    }
    RemoteWindowEntry& Window(uint8_t address) {
        const int id = AddRemoteWindow(table, bench.state.env, address);
        return *FindRemoteWindow(table, id);
    }
    bool Press(RemoteWindowEntry& w, std::initializer_list<int> controls) {
        bool changed = false;
        for (int c : controls) changed = PressRemoteKey(bench.state, w, c) || changed;
        return changed;
    }
    const ProjectorRecord& Record(int index) const {
        return bench.state.projectors.records[static_cast<size_t>(index)];
    }

    testing::BlockBench bench{testing::kThreeProjectors, {}};
    RemoteWindowTable table;
};

constexpr int kAddressKey = 1013;
constexpr int kDigit[10] = {1023, 1022, 1027, 1021, 1026, 1020, 1025, 1019, 1024, 1018};
constexpr int kPower = 1040, kPause = 1042, kText = 1041, kNormal = 1043;

TEST_F(RemoteKeys, AddressEntryAndWhereKeysGo) {
    struct Case {
        const char* name;
        uint8_t start;
        std::vector<int> keys;
        int address;  // the window's target afterwards
        bool entry;   // still typing an address
        Sent sent;
    };
    const Case cases[] = {
        {"typing 1 2 3 aims at 123", 1, {kAddressKey, kDigit[1], kDigit[2], kDigit[3]}, 123, true, {}},
        {"a fourth digit past 255 is refused", 1, {kAddressKey, kDigit[1], kDigit[2], kDigit[3], kDigit[4]}, 123, true, {}},
        {"256 stops at 25", 1, {kAddressKey, kDigit[2], kDigit[5], kDigit[6]}, 25, true, {}},
        {"a typed address takes the next key", 1, {kAddressKey, kDigit[3], kNormal}, 3, false, {{3, 0x1B}}},
        {"the address key then a key sends to everyone", 2, {kAddressKey, kNormal}, 2, false,
         {{1, 0x1B}, {2, 0x1B}, {3, 0x1B}}},
        {"a digit goes once to address 0", 0, {kDigit[7]}, 0, false, {{0, 0x17}}},
        {"a digit goes to the target", 3, {kDigit[0]}, 3, false, {{3, 0x10}}},
        {"a single key to one projector", 1, {kNormal}, 1, false, {{1, 0x1B}}},
        {"the lamp sends nothing", 1, {1044}, 1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bench.bus.ClearTranscript();
        RemoteWindowEntry& w = Window(c.start);
        for (int k : c.keys) PressRemoteKey(bench.state, w, k);
        EXPECT_EQ(w.address, c.address);
        EXPECT_EQ(w.addressEntry, c.entry);
        EXPECT_EQ(RemoteTitle(w.address), "Remote Control [" + std::to_string(c.address) + "]");
        EXPECT_EQ(Frames(bench.bus), c.sent);
        RemoveRemoteWindow(table, w.id);
    }
}

TEST_F(RemoteKeys, EveryRepeatingKeySendsItsCode) {
    const std::pair<int, int> expected[] = {
        {1028, 0x37}, {1029, 0x36}, {1030, 0x2F}, {1031, 0x2E}, {1032, 0x2D}, {1033, 0x2C},
        {1034, 0x2B}, {1035, 0x29}, {1036, 0x2A}, {1037, 0x28}, {1009, 0x3D}, {1065, 0x3C},
        {1066, 0x3B}, {1067, 0x3A}, {1068, 0x3F}, {1069, 0x3E}, {1070, 0x39}, {1071, 0x39},
    };
    RemoteWindowEntry& w = Window(3);
    for (auto [control, code] : expected) {
        SCOPED_TRACE(control);
        bench.bus.ClearTranscript();
        ASSERT_NE(RemotePairOf(control), -1);
        PressRemoteKey(bench.state, w, control);
        EXPECT_EQ(Frames(bench.bus), (Sent{{3, code}}));
    }
}

// The legends are the keys' accessible names: a screen reader must tell every key apart.
TEST_F(RemoteKeys, EveryKeyHasItsOwnName) {
    for (int i = 0; i < kRemoteKeyCount; ++i) {
        EXPECT_EQ(FindRemoteKey(kRemoteKeys[i].control), &kRemoteKeys[i]);
        for (int j = i + 1; j < kRemoteKeyCount; ++j) EXPECT_STRNE(kRemoteKeys[i].legend, kRemoteKeys[j].legend);
    }
}

TEST_F(RemoteKeys, BroadcastStopsAtTheFirstFailure) {
    bench.bus.SetFault(2, testing::kNackFirst);
    RemoteWindowEntry& w = Window(0);
    PressRemoteKey(bench.state, w, kNormal);
    EXPECT_EQ(Frames(bench.bus), (Sent{{1, 0x1B}, {2, 0x1B}}));
    EXPECT_EQ(bench.Shown(), (std::vector<std::string>{"Projector sends NACK !"}));
}

TEST_F(RemoteKeys, StateKeysReadTheStatusBack) {
    RemoteWindowEntry& w = Window(1);
    ASSERT_EQ(Record(0).operating, 1);
    EXPECT_TRUE(Press(w, {kPower}));
    EXPECT_EQ(Frames(bench.bus), (Sent{{1, 0x0E}, {1, 'K'}}));
    EXPECT_EQ(Record(0).standby, 1);
    EXPECT_EQ(Record(0).operating, 0);
    EXPECT_EQ(bench.state.statusFlags.standby, 1);

    // Text changes no tree; pause does.
    bench.bus.ClearTranscript();
    bench.bus.Control("standby 1 off", 0, nullptr);
    Press(w, {kText});
    EXPECT_EQ(Record(0).textOn, 1);
    EXPECT_TRUE(Press(w, {kPause}));
    EXPECT_EQ(Record(0).pause, 1);
}

TEST_F(RemoteKeys, PowerWakesAProjectorAndLearnsWhoItIs) {
    ASSERT_EQ(Record(1).standby, 1);
    ASSERT_EQ(Record(1).projectorType, -1);
    RemoteWindowEntry& w = Window(2);
    EXPECT_TRUE(Press(w, {kPower}));
    EXPECT_EQ(Frames(bench.bus), (Sent{{2, 0x0E}, {2, 'K'}, {2, 'L'}, {2, 'I'}}));
    EXPECT_EQ(Record(1).standby, 0);
    EXPECT_EQ(Record(1).projectorType, 16);
    EXPECT_EQ(Record(1).alphaId, 'D');
    std::vector<std::string> expected = {"open Update connected projectors |  | 10", "line1 Updating data projector [2]"};
    for (int i = 0; i < 10; ++i) expected.push_back("step");
    expected.push_back("close");
    EXPECT_EQ(bench.ui.Events(), expected);
    EXPECT_TRUE(bench.Shown().empty());
}

TEST(RemoteKeysWake, AnUnknownLetterIsReportedAndKept) {
    testing::BlockBench bench(R"(
[projector]
address = 4
type = 16 X
version = 1.00
status = 00 00 81 00
block-length = 16
wake-up-ms = 1000
)",
                              {});
    bench.Connect({4});
    RemoteWindowTable table;
    RemoteWindowEntry& w = *FindRemoteWindow(table, AddRemoteWindow(table, bench.state.env, 4));
    PressRemoteKey(bench.state, w, kPower);
    EXPECT_EQ(bench.state.projectors.records[0].alphaId, 'X');
    EXPECT_EQ(bench.Shown(), (std::vector<std::string>{"Error  49"}));
}

TEST_F(RemoteKeys, StateKeyToAnAddressNotConnected) {
    RemoteWindowEntry& w = Window(9);
    EXPECT_FALSE(Press(w, {kPause}));
    EXPECT_EQ(Frames(bench.bus), (Sent{{9, 0x0F}}));
    EXPECT_EQ(bench.Shown(), (std::vector<std::string>{"Projector doesn't send ACK !"}));
}

TEST_F(RemoteKeys, TheTenthWindowIsRefused) {
    for (int i = 0; i < kMaxRemoteWindows; ++i) EXPECT_NE(AddRemoteWindow(table, bench.state.env, 1), 0);
    bench.ui.Clear();
    EXPECT_EQ(AddRemoteWindow(table, bench.state.env, 1), 0);
    EXPECT_EQ(table.count, kMaxRemoteWindows);
    const auto boxes = bench.ui.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Warning  44");
    EXPECT_EQ(boxes[0].text, "Can not exceed total number of 10 windows");
}

TEST_F(RemoteKeys, ClosingKeepsTheTableWithoutGaps) {
    std::vector<int> ids;
    for (uint8_t a = 1; a <= 4; ++a) ids.push_back(AddRemoteWindow(table, bench.state.env, a));
    struct Case {
        const char* name;
        int choice;
        std::vector<int> closed;
    };
    const Case cases[] = {
        {"close the active window", kCloseActiveWindow, {ids[1]}},
        {"close all, in table order", kCloseAllWindows, ids},
        {"cancel", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RemoteWindowsToClose(table, ids[1], c.choice), c.closed);
    }
    ASSERT_TRUE(RemoveRemoteWindow(table, ids[1]));
    EXPECT_FALSE(RemoveRemoteWindow(table, ids[1]));
    ASSERT_EQ(table.count, 3);
    EXPECT_EQ(table.entries[0].address, 1);
    EXPECT_EQ(table.entries[1].address, 3);
    EXPECT_EQ(table.entries[2].address, 4);
    // Ids are not reused, so a stale id cannot hit a newer window.
    EXPECT_NE(AddRemoteWindow(table, bench.state.env, 5), ids[1]);
}

}  // namespace
}  // namespace ombrix
