// The history store and the comparison by name, without a line: what dedup keeps, what
// pruning keeps, and what a diff says.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "../support/TempDir.h"
#include "history/BlockDiff.h"
#include "history/HistoryStore.h"

namespace ombrix {
namespace {

ProjectorIdentity Projector(int address, const std::string& serial = "f1234567") {
    ProjectorIdentity p;
    p.address = address;
    p.serial = serial;
    p.model = "M5";
    p.typeCode = 5;
    p.letter = 'V';
    p.version = "3";
    p.idNumber = 100234;
    p.blockLength = 16;
    return p;
}

HistoryBlock Block(int position, uint8_t fh, uint8_t fill, bool free = false) {
    HistoryBlock b;
    b.position = position;
    b.wire = {fh, static_cast<uint8_t>(free ? 0x81 : 0x01), 0x20, 0x34};
    b.free = free;
    b.name = "source 1";
    b.type = "RGB";
    if (!free) b.body.assign(16, fill);
    return b;
}

struct Taken {
    int address;
    SnapshotReason reason;
    std::vector<HistoryBlock> blocks;
    bool complete;
    int64_t atMs;
};

TEST(HistoryStore, KeepsEachBodyAndBlockListOnce) {
    const std::vector<HistoryBlock> two{Block(0, 0x40, 1), Block(1, 0x3f, 2)};
    const std::vector<HistoryBlock> changed{Block(0, 0x40, 1), Block(1, 0x3f, 9)};
    const SnapshotReason hand = SnapshotReason::ByHand;
    struct Case {
        const char* label;
        std::vector<Taken> taken;
        int64_t snapshots, sets, bodies, timesOfLatest;
    };
    const Case cases[] = {
        {"the same twice counts twice on one snapshot", {{1, hand, two, true, 1}, {1, hand, two, true, 2}}, 1, 1, 2, 2},
        {"another reason is another snapshot of the same list",
         {{1, hand, two, true, 1}, {1, SnapshotReason::Schedule, two, true, 2}}, 2, 1, 2, 1},
        {"one body changed adds that body", {{1, hand, two, true, 1}, {1, hand, changed, true, 2}}, 2, 2, 3, 1},
        {"an incomplete one is never counted on another", {{1, hand, two, false, 1}, {1, hand, two, false, 2}}, 2, 1,
         2, 1},
        {"another projector with the same blocks shares them", {{1, hand, two, true, 1}, {4, hand, two, true, 2}}, 2,
         1, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::TempDir dir;
        HistoryStore store;
        std::string why;
        ASSERT_TRUE(store.Open("", &why)) << why;
        SnapshotSaved saved;
        for (const Taken& t : c.taken) {
            const int64_t id = store.Begin(Projector(t.address), t.reason, "", t.atMs, &why);
            ASSERT_NE(id, 0) << why;
            ASSERT_TRUE(store.Finish(id, t.blocks, t.complete, t.complete ? "" : "1 of 2 blocks", &saved, &why)) << why;
        }
        EXPECT_EQ(store.CountRows("snapshots"), c.snapshots);
        EXPECT_EQ(store.CountRows("block_sets"), c.sets);
        EXPECT_EQ(store.CountRows("bodies"), c.bodies);
        SnapshotRecord latest;
        ASSERT_TRUE(store.Get(saved.id, &latest, &why)) << why;
        EXPECT_EQ(latest.info.times, c.timesOfLatest);
        EXPECT_EQ(latest.blocks, c.taken.back().blocks);
    }
}

TEST(HistoryStore, PruneKeepsEachProjectorsLatestAndLatestReference) {
    testing::TempDir dir;
    HistoryStore store;
    std::string why;
    ASSERT_TRUE(store.Open("", &why)) << why;
    const int64_t day = 86400000;
    // address, blocks' fill, complete, day taken, reason: all old but day 40. Projector 1
    // keeps the complete day 2 (its reference: day 3 is incomplete, day 4 before a restore)
    // and day 4 (its latest); projector 4 keeps day 40; projector 6 keeps what a restore
    // brought back (day 2, its reference) and its latest.
    const SnapshotReason schedule = SnapshotReason::Schedule, restore = SnapshotReason::BeforeRestore,
                         restored = SnapshotReason::Restored;
    const std::tuple<int, uint8_t, bool, int64_t, SnapshotReason> taken[] = {
        {1, 1, true, 1, schedule}, {1, 2, true, 2, schedule}, {1, 3, false, 3, schedule}, {1, 4, true, 4, restore},
        {4, 1, true, 1, schedule}, {4, 2, true, 40, schedule},
        {6, 1, true, 1, schedule}, {6, 3, true, 2, restored}, {6, 4, true, 3, restore},
    };
    std::map<std::pair<int, int64_t>, int64_t> ids;
    for (const auto& [address, fill, complete, when, reason] : taken) {
        const int64_t id = store.Begin(Projector(address), reason, "", when * day, &why);
        SnapshotSaved saved;
        ASSERT_TRUE(store.Finish(id, {Block(0, 0x40, fill)}, complete, "", &saved, &why)) << why;
        ids[{address, when}] = saved.id;
    }
    int removed = 0, kept = 0;
    ASSERT_TRUE(store.Prune(30 * day, &removed, &kept, &why)) << why;
    EXPECT_EQ(removed, 4);
    EXPECT_EQ(kept, 5);
    SnapshotRecord r;
    for (auto [key, expected] : {std::pair{std::pair{1, int64_t{1}}, false}, {{1, 2}, true}, {{1, 3}, false},
                                 {{1, 4}, true}, {{4, 1}, false}, {{4, 40}, true}, {{6, 1}, false}, {{6, 2}, true},
                                 {{6, 3}, true}}) {
        SCOPED_TRACE(std::to_string(key.first) + " day " + std::to_string(key.second));
        EXPECT_EQ(store.Get(ids[key], &r, &why), expected) << why;
    }
    // The bodies of the removed snapshots went with them: fills 2, 3 and 4 stay.
    EXPECT_EQ(store.CountRows("bodies"), 3);
}

TEST(BlockDiff, SaysWhatChangedByName) {
    Description d;
    DescriptionParameter brightness;
    brightness.placeInBlock = 8;
    SetFieldText(&brightness.paramName, "Brightness");
    DescriptionParameter contrast;
    contrast.placeInBlock = 9;
    SetFieldText(&contrast.paramName, "Contrast");
    d.parameters = {brightness, contrast};
    auto with = [](HistoryBlock b, size_t place, uint8_t v) {
        b.body[place] = v;
        return b;
    };
    const HistoryBlock a = Block(0, 0x40, 50), c = Block(1, 0x3f, 60);
    struct Case {
        const char* label;
        std::vector<HistoryBlock> after;
        std::vector<std::string> lines;
    };
    const std::string b1 = "Projector 1 · block 1 [40 01 20 34] 'source 1' (RGB): ";
    const std::string b2 = "Projector 1 · block 2 [3f 01 20 34] 'source 1' (RGB): ";
    const Case cases[] = {
        {"identical", {a, c}, {}},
        {"parameters by name, old → new", {with(with(a, 8, 52), 9, 40), c}, {b1 + "Brightness 50 → 52, Contrast 50 → 40"}},
        {"a byte outside any parameter by its offset", {with(a, 3, 7), c}, {b1 + "byte 3: 50 → 7"}},
        {"a block freed", {a, Block(1, 0x3f, 0, true)}, {"Projector 1 · block 2 [3f 81 20 34] 'source 1' (RGB): freed"}},
        {"a block deleted", {a}, {b2 + "deleted"}},
        {"a block added", {a, c, Block(2, 0x2a, 1)}, {"Projector 1 · block 3 [2a 01 20 34] 'source 1' (RGB): added"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        const BlockSide before{Projector(1), {a, c}, "", false};
        const BlockSide after{Projector(1), k.after, "", false};
        EXPECT_EQ(DiffLines(DiffBlocks(before, after, &d)), k.lines);
    }
    // A free block's settings are not read: one in use again is said as such.
    const BlockSide freed{Projector(1), {a, Block(1, 0x3f, 0, true)}, "", false};
    const BlockSide back{Projector(1), {a, c}, "", false};
    EXPECT_EQ(DiffLines(DiffBlocks(freed, back, &d)), std::vector<std::string>{b2 + "in use again"});
}

}  // namespace
}  // namespace ombrix
