// The projector's header table as the block list shows it in both header variants, the
// 40-row table, the RAM containers and the projector tree, against the simulator.
#include <gtest/gtest.h>

#include "../support/BlockBench.h"

namespace ombrix {
namespace {

using testing::BlockBench;
using testing::MakeDescription;
using testing::Request;

// Short headers (type 5), long headers (type 25), five-byte records with short wire
// headers (type 16).
const char kBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
block-length = 20
block = 40 34 01 20 active
block = 00 36 02 21
block = ff 3c 03 41 free
block = 40 34 01 20 free
free-blocks = 1
special = ef 7f 00 00
[projector]
address = 3
type = 25 V
status = 00 00 80 00
block-length = 20
header-variant = 2
block = 30 32 01 03 09 active
block = 28 3c 02 0a 01 free
free-blocks = 2
[projector]
address = 4
type = 16 D
status = 00 00 80 00
block-length = 20
header-variant = 3
block = 40 34 01 20 07 active
block = 3a 34 02 18 00 free
free-blocks = 2
)";

std::vector<Description> Descriptions() {
    return {MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}}),
            MakeDescription(25, 'V', 20, 4, 2, {{0xef, 0, 0x7f, 0}, {0xfe, 0, 0x7f, 0}, {0x70, 0, 0x7f, 0}}, 6.25e-7f),
            MakeDescription(16, 'D', 20, 4, 3, {{0x55, 0x7f, 0, 0}})};
}

using Row = std::vector<std::string>;  // icon, then the six cells

struct ListingCase {
    const char* label;
    int address;
    std::vector<Row> rows;
};

class HeaderTables : public ::testing::TestWithParam<ListingCase> {};

TEST_P(HeaderTables, ListEveryColumn) {
    const ListingCase& c = GetParam();
    BlockBench b(kBus, Descriptions());
    b.Connect({1, 3, 4});
    b.bus.ClearTranscript();
    SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeOverview, static_cast<uint8_t>(c.address)), true, false);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'J', {0, 0, 0, 0}}, {'r', {255, 255, 255, 255}}, {'K', {0, 0, 0, 0}}}));
    std::vector<Row> rows;
    for (const BlockListRow& r : b.view.projectorList.rows) {
        rows.push_back({std::to_string(r.icon)});
        rows.back().insert(rows.back().end(), r.cells.begin(), r.cells.end());
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_TRUE(b.ui.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, HeaderTables,
    ::testing::Values(
        // fh 0 and 255 count 256.
        ListingCase{"short_variant", 1,
                    {{"1", "1", "1", "RGB", "31.25", " 52", "Rear/Ceiling"},
                     {"0", "2", "2", "RGB", " 7.81", " 54", "Front/Table"},
                     {"2", "3", "Free", "Component Video", " 7.81", " 60", "Front/Table"},
                     {"2", "4", "Free", "RGB", "31.25", " 52", "Rear/Ceiling"},
                     {"2", "5", "Free", "Video", " 7.81", "  0", "Rear/Ceiling"},
                     {"3", "6", "Common", "----", "----", "----", "----"}}},
        // The third special kind is listed as an ordinary block, without time bases.
        ListingCase{"long_variant", 3,
                    {{"1", "1", "1", "Video", "33.33", " 50", "Front/Table"},
                     {"2", "2", "Free", "S-Video", "40.00", " 60", "Rear/Ceiling"},
                     {"2", "3", "Free", "Video", " 6.25", "  0", "Front/Ceiling"},
                     {"2", "4", "Free", "Video", " 6.25", "  0", "Front/Ceiling"},
                     {"3", "5", "Common", "----", "----", "----", "----"},
                     {"3", "6", "Stigmator", "----", "----", "----", "----"},
                     {"0", "7", "Int", "Video", "  inf", "  0", "Front/Ceiling"}}},
        // A special block of neither name has no Source text.
        ListingCase{"five_byte_records_short_wire", 4,
                    {{"1", "1", "1", "Component Video", "31.25", " 52", "Rear/Ceiling"},
                     {"2", "2", "Free", "RGsB", "34.48", " 52", "Rear/Ceiling"},
                     {"2", "3", "Free", "Video", " 7.81", "  0", "Rear/Ceiling"},
                     {"2", "4", "Free", "Video", " 7.81", "  0", "Rear/Ceiling"},
                     {"3", "5", "", "----", "----", "----", "----"}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct CutCase {
    const char* label;
    Description description;
    int simLength, simBlocks, listed, cut;
};

class FortyRows : public ::testing::TestWithParam<CutCase> {};

// Only what fits is listed, and nothing is written to a projector whose blocks are not
// all known: an unlisted block could carry the header being written.
TEST_P(FortyRows, ListWhatFitsAndWriteNothing) {
    const CutCase& c = GetParam();
    BlockBench b("[projector]\naddress = 1\ntype = 5 V\nstatus = 00 00 80 00\nblock-length = " +
                     std::to_string(c.simLength) + "\nblock = 40 34 01 20\nfree-blocks = " +
                     std::to_string(c.simBlocks - 1) + "\n",
                 {c.description});
    b.Connect({1});
    BuildRamContainers(b.state, &b.view);
    SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeOverview, 1), true, false);
    EXPECT_EQ(b.state.blocks.projectorRowCount, c.listed);
    EXPECT_EQ(b.view.projectorList.rows.size(), static_cast<size_t>(c.listed));
    EXPECT_EQ(b.state.blocks.geometry.cutRows, c.cut);
    ASSERT_EQ(b.ui.Boxes().size(), 1u);
    const int ram = b.AddRamRow({0x50, 0x3a, 0x05, 0x20}, 0xAB);
    b.bus.ClearTranscript();
    ASSERT_TRUE(StartDrag(b.state, b.view, BlockListKind::Ram, ram));
    DropBlocks(b.state, b.view, 1);
    EXPECT_TRUE(b.Sent().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FortyRows,
    ::testing::Values(
        CutCase{"specials_past_forty", MakeDescription(5, 'V', 240, 38, 0, {{0xef, 0x7f, 0, 0}}, 5e-7f, 5), 240, 38, 40, 3},
        CutCase{"ordinary_past_forty", MakeDescription(5, 'V', 240, 45, 0), 240, 45, 40, 5},
        CutCase{"records_past_one_block", MakeDescription(5, 'V', 20, 12, 0), 20, 5, 5, 7},
        CutCase{"block_longer_than_240", MakeDescription(5, 'V', 300, 4, 0), 240, 4, 0, 4}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Blocks, AFailedHeaderTableListsNothing) {
    BlockBench b(kBus, Descriptions());
    b.Connect({1, 3});
    b.Open(3);
    ASSERT_EQ(b.state.blocks.projectorRowCount, 7);
    // None of projector 3's headers may stay listed for projector 1.
    b.bus.SetFault(1, testing::kNackSecond);
    SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeOverview, 1), true, false);
    EXPECT_EQ(b.state.blocks.projectorRowCount, 0);
    EXPECT_TRUE(b.view.projectorList.rows.empty());
}

TEST(RamContainers, OnePerTypeAndUnknownTakesTheNextType) {
    BlockBench b(kBus, {});
    b.Connect({1, 3, 1, 4});
    b.state.projectors.records[3].projectorType = -1;  // in standby when found
    ASSERT_TRUE(BuildRamContainers(b.state, &b.view));
    const BlockTables& t = b.state.blocks;
    ASSERT_EQ(t.ramContainerCount, 3);
    EXPECT_EQ((std::vector<int>{t.ramContainers[0].firstRow, t.ramContainers[1].firstRow, t.ramContainers[2].firstRow}),
              (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(b.view.ramList.rows[2].cells[0], "Unknown");
    b.state.projectors.records[3].projectorType = 16;
    ASSERT_TRUE(EnsureRamContainer(b.state, &b.view, 3));
    EXPECT_EQ(t.ramContainerCount, 3);
    EXPECT_EQ(b.view.ramList.rows[2].cells[0], "Z-16 series");
    // With 300 rows used no container is added.
    std::vector<RAMBlock> rows(kRamRowCapacity - 3);
    for (RAMBlock& r : rows) r.projectorType = 5;
    ASSERT_TRUE(InsertRowsIntoContainer(b.state.blocks, 0, rows.data(), static_cast<int>(rows.size())));
    b.state.projectors.records[0].projectorType = 8;
    EXPECT_FALSE(EnsureRamContainer(b.state, &b.view, 0));
    EXPECT_EQ(t.ramRowCount, kRamRowCapacity);
}

const char kTreeBus[] = R"(
[projector]
address = 5
type = 5 V
status = 00 00 90 00
block-length = 20
block = 40 34 01 20 active
[projector]
address = 2
type = 16 D
status = 00 00 81 00
[projector]
address = 9
type = 25 V
status = 00 00 82 00
)";

TEST(ProjectorTree, OneGroupWithProjectorsInSearchOrder) {
    BlockBench b(kTreeBus, Descriptions());
    b.Connect({5, 2, 9});
    FillProjectorTree(b.state, b.groups);
    ASSERT_EQ(b.groups.roots.size(), 1u);
    EXPECT_EQ(b.groups.roots[0].text, "Projector  :");
    const std::vector<std::pair<std::string, int>> projectors = {
        {"Projector [5] : A" + ModelText(b.state.env, 5, 'V', 40), kImageOperating},
        {"Projector [2] : Unknown", kImageStandby},
        {"Projector [9] : V" + ModelText(b.state.env, 25, 'V', 40), kImagePause}};
    ASSERT_EQ(b.groups.roots[0].children.size(), projectors.size());
    for (size_t i = 0; i < projectors.size(); ++i) {
        const TreeNode& p = b.groups.roots[0].children[i];
        const uint8_t address = b.state.projectors.records[i].address;
        EXPECT_EQ(std::make_pair(p.text, p.image), projectors[i]);
        EXPECT_EQ(p.data, NodeData(kNodeGroupOrProjector, address));
        ASSERT_EQ(p.children.size(), 4u);
        EXPECT_EQ(p.children[0].text + "/" + p.children[1].text + "/" + p.children[2].text + "/" + p.children[3].text,
                  "Info/Overview/Direct Access/History");
        EXPECT_EQ(p.children[2].data, NodeData(kNodeDirectAccess, address));
        EXPECT_EQ(p.children[3].data, NodeData(kNodeHistory, address));
    }
}

TEST(ProjectorTree, ViewNodesChooseTheProjector) {
    BlockBench b(kTreeBus, Descriptions());
    testing::WriteDescription("default.dsc", MakeDescription(0, 'X', 64, 10, 0));
    b.Connect({5, 2, 9});
    b.Open(5);
    EXPECT_FALSE(SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeInfo, 2), false, false).handled);
    EXPECT_EQ(b.state.projectors.currentProjectorIndex, 0);
    // In standby: warning 24, no block list, nothing read.
    EXPECT_FALSE(SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeOverview, 2), true, false).showView);
    EXPECT_EQ(b.state.link.currentAddress, 2);
    EXPECT_EQ(b.state.blocks.projectorRowCount, 0);
    EXPECT_TRUE(b.Sent().empty());
    // No description for the type, and no default.dsc either: no layout to act by.
    std::remove("type25.dsc");
    std::remove("default.dsc");
    EXPECT_FALSE(SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeOverview, 9), true, false).showView);
    EXPECT_EQ(b.state.blocks.geometry.blockLength, -1);
    SelectViewNode(b.state, b.session, &b.view, NodeData(kNodeInfo, 77), true, false);
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Warning  24", "Error  46", "Warning  16", "Warning  17", "Warning  25"}));
}

TEST(ProjectorTree, RefreshFindsTheCurrentProjectorAgain) {
    BlockBench b(kTreeBus, Descriptions());
    b.Connect({5, 2, 9});
    b.Open(5);
    ProjectorTable& t = b.state.projectors;
    b.Select(BlockListKind::Projector, {0});
    SelectForAdjustment(b.state, b.view, BlockListKind::Projector);
    // Projector 2 went: 5 keeps its index and its list.
    t.records[1] = t.records[2];
    t.connectedCount = 2;
    EXPECT_FALSE(RefreshProjectorTree(b.state, b.groups, b.session, &b.view).currentChanged);
    EXPECT_EQ(b.session.describedIndex, -1);
    EXPECT_GT(b.state.blocks.projectorRowCount, 0);
    // Projector 5 went: 9 is current, and nothing read from 5 stays to be acted on.
    t.records[0] = t.records[1];
    t.connectedCount = 1;
    EXPECT_TRUE(RefreshProjectorTree(b.state, b.groups, b.session, &b.view).currentChanged);
    EXPECT_EQ(b.state.link.currentAddress, 9);
    EXPECT_EQ(t.currentProjectorIndex, 0);
    EXPECT_EQ(b.state.blocks.projectorRowCount, 0);
    EXPECT_EQ(b.state.blocks.adjustment.row, -1);
    EXPECT_TRUE(b.groups.roots[0].children[0].expanded);
    // Labels: groups and projectors only, cut to 40 characters.
    EXPECT_FALSE(CanEditLabel(NodeData(kNodeOverview, 9)));
    EXPECT_TRUE(EndLabelEdit(b.state, b.groups, 0, NodeData(kNodeGroupOrProjector, 9), std::string(50, 'x')));
    EXPECT_EQ(b.groups.roots[0].children[0].text, std::string(40, 'x'));
}

}  // namespace
}  // namespace ombrix
