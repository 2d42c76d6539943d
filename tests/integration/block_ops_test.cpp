// Block operations against the simulator: which commands go out in which order with
// which wire headers, what the tables hold after success and after a refused command,
// the 300-row rule, and selections following the rows.
#include <gtest/gtest.h>

#include "../support/BlockBench.h"

namespace ombrix {
namespace {

using testing::BlockBench;
using testing::kNackFirst;
using testing::kNackSecond;
using testing::MakeDescription;
using testing::Request;

const char* const kBus = testing::kTwoTypesBus;

using Fields = std::array<uint8_t, 4>;  // fh fv source config

Fields Of(const BlockHeader& h) { return {h.fh, h.fv, h.source, h.config}; }

struct Bench : BlockBench {
    explicit Bench(std::vector<int> connect = {1}, int open = 1)
        : BlockBench(kBus, {MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}}),
                            MakeDescription(25, 'V', 20, 4, 2, {{0xef, 0, 0x7f, 0}}, 6.25e-7f)}) {
        Connect(connect);
        Open(open);
    }
    void Drag(BlockListKind from, int row, int dropRow) {
        ASSERT_TRUE(StartDrag(state, view, from, row));
        DropBlocks(state, view, dropRow);
    }
};

const char kNack[] = "Projector sends NACK !";

struct DropCase {
    const char* label;
    int address;
    Fields ram;
    int dropRow;
    int choice;
    sim::Fault fault;
    std::vector<Request> sent;
    std::vector<std::string> shown;
    Fields dropAfter;
};

class DropOnProjector : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropOnProjector, CommandsAndTable) {
    const DropCase& c = GetParam();
    Bench b({1, 3}, c.address);
    const int ram = b.AddRamRow(c.ram, 0xAB);
    b.bus.SetFault(static_cast<uint8_t>(c.address), c.fault);
    b.ui.QueueChoice(c.choice);
    b.Drag(BlockListKind::Ram, ram, c.dropRow);
    EXPECT_EQ(b.Sent(), c.sent);
    EXPECT_EQ(b.Shown(), c.shown);
    EXPECT_EQ(Of(b.Block(c.dropRow).header), c.dropAfter);
}

constexpr sim::Fault kNone{};
constexpr Fields kRam{0x50, 0x3a, 0x05, 0x20};

INSTANTIATE_TEST_SUITE_P(
    Blocks, DropOnProjector,
    ::testing::Values(
        DropCase{"all_onto_block_in_use_frees_it_first", 1, kRam, 0, kButtonOverwriteAll, kNone,
                 {{'s', {0x40, 0x01, 0x20, 0x34}}, {'q', {0x50, 0x05, 0x20, 0x3a}}}, {}, kRam},
        DropCase{"all_onto_free_block_writes_only", 1, kRam, 2, kButtonOverwriteAll, kNone,
                 {{'q', {0x50, 0x05, 0x20, 0x3a}}}, {}, kRam},
        // The free bit of the long variant decides, not the second wire byte.
        DropCase{"all_onto_long_block_in_use_frees_it_first", 3, {0x60, 0x32, 0x04, 0x03}, 1, kButtonOverwriteAll,
                 kNone, {{'s', {0x40, 0x90, 0x02, 0x00}}, {'q', {0x60, 0x32, 0x04, 0x03}}}, {}, {0x60, 0x32, 0x04, 0x03}},
        DropCase{"settings_keep_the_header", 1, kRam, 1, kButtonOverwriteSettings, kNone,
                 {{'q', {0x00, 0x02, 0x21, 0x36}}}, {}, {0x00, 0x36, 0x02, 0x21}},
        DropCase{"header_already_in_projector", 1, {0x00, 0x36, 0x02, 0x21}, 2, kButtonOverwriteAll, kNone, {},
                 {"Warning  10"}, {0xff, 0x3c, 0x83, 0x41}},
        // Freed but not written: the row shows the block free, so it can be undeleted.
        DropCase{"write_refused_after_free", 1, kRam, 0, kButtonOverwriteAll, kNackSecond,
                 {{'s', {0x40, 0x01, 0x20, 0x34}}, {'q', {0x50, 0x05, 0x20, 0x3a}}}, {kNack}, {0x40, 0x34, 0x81, 0x20}},
        DropCase{"free_refused", 1, kRam, 0, kButtonOverwriteAll, kNackFirst, {{'s', {0x40, 0x01, 0x20, 0x34}}},
                 {kNack}, {0x40, 0x34, 0x01, 0x20}},
        DropCase{"onto_special_block", 1, kRam, 5, kButtonOverwriteAll, kNone, {}, {}, {0xef, 0x00, 0x7f, 0x00}},
        DropCase{"cancelled", 1, kRam, 0, kButtonCancel, kNone, {}, {}, {0x40, 0x34, 0x01, 0x20}}),
    [](const auto& info) { return std::string(info.param.label); });

struct MultiCase {
    const char* label;
    std::vector<Fields> ram;
    bool yes;
    sim::Fault fault;
    std::vector<Request> sent;
    std::vector<std::string> shown;
    int taken;  // free rows that took a block
};

class CopyToFreeBlocks : public ::testing::TestWithParam<MultiCase> {};

TEST_P(CopyToFreeBlocks, AllOrNothingIntoFreeBlocks) {
    const MultiCase& c = GetParam();
    Bench b;
    std::vector<int> rows;
    for (const Fields& h : c.ram) rows.push_back(b.AddRamRow(h, static_cast<uint8_t>(rows.size() + 1)));
    const std::vector<uint8_t> inUse0 = b.SimData(1, 0), inUse1 = b.SimData(1, 1);
    b.bus.SetFault(1, c.fault);
    b.ui.QueueAnswer(c.yes);
    SetMultiSelect(b.view);
    b.Select(BlockListKind::Ram, rows);
    b.Drag(BlockListKind::Ram, rows[0], 0);
    EXPECT_FALSE(b.view.multiSelect);
    EXPECT_EQ(b.Sent(), c.sent);
    EXPECT_EQ(b.Shown(), c.shown);
    EXPECT_EQ(b.SimData(1, 0), inUse0);
    EXPECT_EQ(b.SimData(1, 1), inUse1);
    int taken = 0;
    for (int row = 2; row < 5; ++row) taken += !HeaderIsFree(b.Block(row).header, false);
    EXPECT_EQ(taken, c.taken);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CopyToFreeBlocks,
    ::testing::Values(
        MultiCase{"two_rows", {kRam, {0x52, 0x3a, 0x06, 0x20}}, true, kNone,
                  {{'q', {0x50, 0x05, 0x20, 0x3a}}, {'q', {0x52, 0x06, 0x20, 0x3a}}}, {}, 2},
        MultiCase{"four_rows_three_free_blocks",
                  {kRam, {0x52, 0x3a, 0x06, 0x20}, {0x54, 0x3a, 0x07, 0x20}, {0x56, 0x3a, 0x08, 0x20}}, true, kNone, {},
                  {"Warning  14"}, 0},
        MultiCase{"duplicate_counted", {{0x00, 0x36, 0x02, 0x21}, {0x52, 0x3a, 0x06, 0x20}}, true, kNone,
                  {{'q', {0x52, 0x06, 0x20, 0x3a}}},
                  {"Unable to copy all blocks, found 1 blocks, matching headers of projectorblocks"}, 1},
        // A refused write is not counted: the next block takes the free row.
        MultiCase{"refused_write_not_counted", {kRam, {0x52, 0x3a, 0x06, 0x20}}, true, kNackFirst,
                  {{'q', {0x50, 0x05, 0x20, 0x3a}}, {'q', {0x52, 0x06, 0x20, 0x3a}}}, {kNack}, 1},
        MultiCase{"answered_no", {kRam, {0x52, 0x3a, 0x06, 0x20}}, false, kNone, {}, {}, 0}),
    [](const auto& info) { return std::string(info.param.label); });

// Written under its own header a special block would overwrite the projector's.
TEST(CopyToFreeBlocks, ASpecialRowRefusesTheWhole) {
    Bench b;
    const int a = b.AddRamRow(kRam, 1);
    const int special = b.AddRamRow({0xef, 0x00, 0x7f, 0x00}, 2, kFirstSpecialKind);
    EXPECT_FALSE(CopyRamRowsToFreeBlocks(b.state, b.view, {a, special}).confirmed);
    b.Drag(BlockListKind::Ram, special, 2);
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Warning  11", "Warning  11"}));
    EXPECT_TRUE(b.Sent().empty());
}

TEST(DropOnRam, ThreeBlocksWhenOneRowIsLeft) {
    Bench b;
    std::vector<RAMBlock> filler(kRamRowCapacity - 2);
    for (RAMBlock& r : filler) r.projectorType = 5;
    ASSERT_TRUE(InsertRowsIntoContainer(b.state.blocks, 0, filler.data(), static_cast<int>(filler.size())));
    RefreshBlockLists(b.state, b.view);
    SetMultiSelect(b.view);
    b.Select(BlockListKind::Projector, {0, 1, 2});
    b.ui.QueueAnswer(true);
    b.Drag(BlockListKind::Projector, 0, 0);
    EXPECT_EQ(b.state.blocks.ramRowCount, 300);
    EXPECT_EQ(b.view.ramList.rows.size(), 300u);
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Warning  6", "Warning  6"}));
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'r', {0x40, 0x01, 0x20, 0x34}}}));
}

TEST(DropOnRam, AddedRowJoinsItsContainerAndSelectionsFollow) {
    Bench b({1, 3}, 3);
    const int q = b.AddRamRow({0x30, 0x32, 0x01, 0x03}, 9);  // type 25's container begins at row 1
    b.Select(BlockListKind::Ram, {q});
    SelectForAdjustment(b.state, b.view, BlockListKind::Ram);
    b.Open(1);
    b.ui.QueueAnswer(true);
    b.Drag(BlockListKind::Projector, 1, 0);
    const BlockTables& t = b.state.blocks;
    EXPECT_EQ(t.ramContainers[1].firstRow, 2);
    EXPECT_EQ(t.adjustment.row, 3);
    EXPECT_EQ(b.view.ramList.rows[3].icon, kIconRamAdjustment);
    EXPECT_EQ(b.view.ramList.rows[1].cells[0] + b.view.ramList.rows[3].cells[0], "11");
    const RAMBlock& added = t.ramBlocks[1];
    EXPECT_EQ(Of(added.header), Of(b.Block(1).header));
    EXPECT_EQ(added.serial, 4711);
    EXPECT_EQ(added.alphaId, 'V');
    const std::vector<uint8_t> data = b.SimData(1, 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), added.body.begin()));
}

TEST(DropOnRam, OverwriteAllTakesTheHeaderSettingsKeepIt) {
    Bench b({1, 3}, 1);
    const int row = b.AddRamRow(kRam, 0xAB);
    const RAMBlock& r = b.state.blocks.ramBlocks[static_cast<size_t>(row)];
    b.ui.QueueChoice(kButtonOverwriteSettings);
    b.Drag(BlockListKind::Projector, 1, row);
    EXPECT_EQ(Of(r.header), kRam);
    EXPECT_EQ(r.body[0], b.SimData(1, 1)[0]);
    EXPECT_EQ(r.serial, 0);
    b.ui.QueueChoice(kButtonOverwriteAll);
    b.Drag(BlockListKind::Projector, 1, row);
    EXPECT_EQ(Of(r.header), Of(b.Block(1).header));
    EXPECT_EQ(r.serial, 4711);
    // A failed read changes nothing.
    b.bus.SetFault(1, kNackFirst);
    b.ui.QueueChoice(kButtonOverwriteAll);
    b.Drag(BlockListKind::Projector, 0, row);
    EXPECT_EQ(Of(r.header), Of(b.Block(1).header));
}

TEST(DeleteBlocks, FreesOnlyBlocksInUseAndOnlyWhenAcknowledged) {
    Bench b;
    SetMultiSelect(b.view);
    b.Select(BlockListKind::Projector, {0, 1, 2, 5});
    b.bus.SetFault(1, kNackSecond);
    b.ui.QueueAnswer(true);
    DeleteBlocks(b.state, b.view, BlockListKind::Projector);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'s', {0x40, 0x01, 0x20, 0x34}}, {'s', {0x00, 0x02, 0x21, 0x36}}}));
    EXPECT_EQ(b.view.projectorList.rows[0].cells[1] + b.view.projectorList.rows[1].cells[1], "Free2");
    EXPECT_FALSE(b.view.multiSelect);
}

TEST(DeleteBlocks, RamRowsGoAndSelectionsFollow) {
    Bench b;
    for (uint8_t i = 1; i <= 3; ++i) b.AddRamRow({static_cast<uint8_t>(0x50 + i), 0x3a, i, 0x20}, i);
    b.Select(BlockListKind::Ram, {3});
    SelectForAdjustment(b.state, b.view, BlockListKind::Ram);
    b.Select(BlockListKind::Ram, {2});
    SelectForReference(b.state, b.view, BlockListKind::Ram);
    SetMultiSelect(b.view);
    b.Select(BlockListKind::Ram, {1, 2});
    b.ui.QueueChoice(kButtonDelete);
    DeleteBlocks(b.state, b.view, BlockListKind::Ram);
    const BlockTables& t = b.state.blocks;
    EXPECT_EQ(t.ramRowCount, 2);
    EXPECT_EQ(t.ramBlocks[1].header.fh, 0x53);
    EXPECT_EQ(t.adjustment.row, 1);
    EXPECT_EQ(t.reference.row, -1);
    EXPECT_EQ(b.view.ramList.rows.size(), 2u);
    EXPECT_EQ(b.view.ramList.rows[1].icon, kIconRamAdjustment);
}

TEST(UndeleteBlocks, ReadThenWriteUnderTheUndeletedHeader) {
    Bench b;
    const std::vector<uint8_t> data = b.SimData(1, 2);
    SetMultiSelect(b.view);
    b.Select(BlockListKind::Projector, {2, 3});
    b.ui.QueueAnswer(true);
    UndeleteBlocks(b.state, b.view, BlockListKind::Projector);
    // Row 3 would duplicate row 0: read, counted, left free.
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'r', {0xff, 0x83, 0x41, 0x3c}}, {'q', {0xff, 0x03, 0x41, 0x3c}},
                                              {'r', {0x40, 0x81, 0x20, 0x34}}}));
    EXPECT_EQ(b.Shown(),
              (std::vector<std::string>{"Unable to undelete all blocks, found 1 blocks, matching headers of projectorblocks"}));
    EXPECT_EQ(b.Block(2).header.source, 0x03);
    EXPECT_EQ(b.Block(3).header.source, 0x81);
    EXPECT_EQ(b.SimData(1, 2), data);
}

// Without its bytes the block would be written back with whatever the buffer held.
TEST(UndeleteBlocks, NothingIsWrittenWithoutTheBlocksBytes) {
    Bench b;
    const std::vector<uint8_t> data = b.SimData(1, 2);
    b.Select(BlockListKind::Projector, {2});
    b.bus.SetFault(1, kNackFirst);
    b.ui.QueueAnswer(true);
    UndeleteBlocks(b.state, b.view, BlockListKind::Projector);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'r', {0xff, 0x83, 0x41, 0x3c}}}));
    EXPECT_EQ(b.Block(2).header.source, 0x83);
    EXPECT_EQ(b.SimData(1, 2), data);
}

TEST(Selections, EnterTwiceClearsAndGreysSettings) {
    Bench b;
    b.Select(BlockListKind::Projector, {1});
    SelectForAdjustment(b.state, b.view, BlockListKind::Projector);
    EXPECT_TRUE(b.view.settingsEnabled);
    EXPECT_EQ(b.state.blocks.adjustment.address, 1);
    EXPECT_EQ(b.view.projectorList.rows[1].icon, kIconAdjustment);
    SelectForAdjustment(b.state, b.view, BlockListKind::Projector);
    EXPECT_FALSE(b.view.settingsEnabled);
    EXPECT_EQ(b.state.blocks.adjustment.row, -1);
    EXPECT_EQ(b.view.projectorList.rows[1].icon, kIconBlock);
}

struct DragCase {
    const char* label;
    BlockListKind list;
    bool multi;
    std::vector<int> selected;
    bool starts;
    size_t rows;  // dragged in multi-select mode
};

class DragStart : public ::testing::TestWithParam<DragCase> {};

TEST_P(DragStart, Rules) {
    const DragCase& c = GetParam();
    Bench b;
    std::vector<RAMBlock> rows(121);  // 1-120 blocks, 121 another container's title row
    for (RAMBlock& r : rows) r.projectorType = 5;
    rows.back().containerTitle = 1;
    ASSERT_TRUE(InsertRowsIntoContainer(b.state.blocks, 0, rows.data(), 121));
    RefreshBlockLists(b.state, b.view);
    if (c.multi) SetMultiSelect(b.view);
    b.view.selectAllPending = c.list == BlockListKind::Projector;
    b.Select(c.list, c.selected);
    EXPECT_EQ(StartDrag(b.state, b.view, c.list, c.selected[0]), c.starts);
    EXPECT_EQ(b.view.dragRows.size(), c.rows);
    EXPECT_EQ(b.view.multiSelect, c.multi && c.starts);
}

std::vector<int> Rows(int first, int last) {
    std::vector<int> v;
    for (int r = first; r <= last; ++r) v.push_back(r);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, DragStart,
    ::testing::Values(DragCase{"ram_title_row", BlockListKind::Ram, false, {0}, false, 0},
                      DragCase{"single_row", BlockListKind::Ram, false, {5}, true, 0},
                      DragCase{"one_row_in_multi_select", BlockListKind::Ram, true, {5}, false, 0},
                      DragCase{"hundred_rows", BlockListKind::Ram, true, Rows(1, 100), true, 100},
                      DragCase{"hundred_and_one_rows", BlockListKind::Ram, true, Rows(1, 101), false, 0},
                      DragCase{"title_row_among_them", BlockListKind::Ram, true, {119, 120, 121}, false, 0},
                      DragCase{"select_all_takes_every_projector_row", BlockListKind::Projector, true, {0}, true, 6}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ombrix
