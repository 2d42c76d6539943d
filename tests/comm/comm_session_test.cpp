// The opening of the communication window after its search, the background check
// finding the current projector again, and the information pages, against the
// simulator on the virtual clock.
#include <gtest/gtest.h>

#include "../support/BlockBench.h"
#include "blocks/RamContainer.h"
#include "comm/CommSession.h"
#include "comm/InfoPages.h"
#include "discovery/BackgroundCheck.h"

namespace ombrix {
namespace {

using testing::BlockBench;
using testing::MakeDescription;

// 1: type 5 operating; 3: type 25 operating, long headers; 4: type 8 in standby.
const char kBus[] = R"(
[projector]
address = 1
type = 5 V
version = 3.05
serial = f1 23 45 67
runtime = 300
status = 00 00 90 21
block-length = 20
block = 40 34 01 20 active
free-blocks = 1
[projector]
address = 3
type = 25 V
status = 00 00 80 00
block-length = 20
header-variant = 2
block = 30 32 01 03 09 active
free-blocks = 1
[projector]
address = 4
type = 8 G
status = 00 00 81 00
block-length = 20
)";

const Description kType5 = MakeDescription(5, 'V', 20, 3, 0);
const Description kType25 = MakeDescription(25, 'V', 20, 3, 2);
const Description kDefault = MakeDescription(255, 'X', 20, 3, 0);

struct ChooseCase {
    const char* label;
    std::vector<Description> files;
    bool defaultFile;
    std::vector<int> connected;
    int current;  // index
    int address;
    std::vector<std::string> shown;
    bool isDefault;
};

class ChooseCurrent : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseCurrent, FirstProjectorWithADescription) {
    const ChooseCase& c = GetParam();
    BlockBench b(kBus, c.files);
    if (c.defaultFile) testing::WriteDescription(kDefaultDescriptionName, kDefault);
    b.Connect(c.connected);
    b.ui.Clear();
    EXPECT_EQ(ChooseCurrentProjector(b.state, b.session), c.current);
    EXPECT_EQ(b.state.projectors.currentProjectorIndex, c.current);
    EXPECT_EQ(b.state.link.currentAddress, c.address);
    EXPECT_EQ(b.Shown(), c.shown);
    EXPECT_EQ(b.session.isDefault, c.isDefault);
    ReleaseDescription(&b.session.description);
}

INSTANTIATE_TEST_SUITE_P(
    Comm, ChooseCurrent,
    ::testing::Values(ChooseCase{"first_loads", {kType5, kType25}, false, {1, 3}, 0, 1, {}, false},
                      ChooseCase{"first_missing_second_current", {kType25}, false, {1, 3, 4}, 1, 3,
                                 {"Error  46", "Warning  16"}, false},
                      // In standby the projector is described by the default file.
                      ChooseCase{"standby_takes_the_default", {}, true, {4, 1}, 0, 4, {}, true},
                      ChooseCase{"none_loads", {}, false, {4, 1}, 0, 4,
                                 {"Warning  16", "Error  46", "Warning  16", "Warning  17"}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RamContainers, ANewTypeGetsItsContainerBesideRowsFromAFile) {
    BlockBench b(kBus, {kType5, kType25});
    b.Connect({1});
    BuildRamContainers(b.state, &b.view);
    RAMBlock block;
    block.projectorType = 5;
    block.body.fill(0x5A);
    ASSERT_TRUE(InsertRowsIntoContainer(b.state.blocks, 0, &block, 1));
    RefreshBlockLists(b.state, b.view);
    b.Connect({1, 3});
    EXPECT_TRUE(PrepareRamContainers(b.state, b.view));
    const BlockTables& t = b.state.blocks;
    ASSERT_EQ(t.ramContainerCount, 2);
    EXPECT_EQ(t.ramContainers[1].projectorType, 25);
    EXPECT_EQ(t.ramRowCount, 3);
    EXPECT_EQ(t.ramBlocks[1].body[0], 0x5A);  // the file's row is kept where it was
    EXPECT_TRUE(t.ramBlocks[2].containerTitle);
    EXPECT_EQ(b.view.ramList.rows.size(), 3u);
}

TEST(CheckFindings, TheCurrentProjectorIsFoundAgainByItsAddress) {
    struct Case {
        const char* label;
        std::vector<int> gone;
        int currentBefore;
        int currentAfter;
    };
    const Case cases[] = {{"a_projector_before_it_went", {1}, 2, 1},
                          {"two_went", {1, 3}, 2, 0},
                          {"the_current_one_went", {4}, 2, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        BlockBench b(kBus, {});
        b.Connect({1, 3, 4});
        ProjectorTable& t = b.state.projectors;
        t.currentProjectorIndex = c.currentBefore;
        b.state.link.currentAddress = t.records[static_cast<size_t>(c.currentBefore)].address;
        std::vector<CheckFinding> findings;
        for (int i = 0; i < t.connectedCount; ++i) {
            CheckFinding f;
            f.address = t.records[static_cast<size_t>(i)].address;
            f.answered = std::find(c.gone.begin(), c.gone.end(), f.address) == c.gone.end();
            f.record = t.records[static_cast<size_t>(i)];
            findings.push_back(f);
        }
        ApplyCheckFindings(b.state, findings);
        EXPECT_EQ(t.currentProjectorIndex, c.currentAfter);
    }
}

TEST(InfoPages, OptionLinesInTheirOrderAtMostSeven) {
    ProjectorRecord r;
    r.greenConvergence = r.convergenceStripped = r.magneticFocus = r.iris = r.asic = 1;
    r.nsOnConvergence = r.contrastModulation = r.orbit = 1;
    const auto lines = InstalledOptionLines(r);
    EXPECT_EQ(lines[0], ">> Orbit is installed ");
    EXPECT_EQ(lines[1], ">> Contrast Modulation is installed ");
    EXPECT_EQ(lines[6], ">> Convergence is stripped");
    ProjectorRecord two;
    two.softEdge = two.iris = 1;
    EXPECT_EQ(InstalledOptionLines(two), (std::array<std::string, 7>{">> Soft Edge is installed ",
                                                                     ">> IRIS is installed", "", "", "", "", ""}));
}

TEST(InfoPages, ProjectorInfoAskedLineByLine) {
    BlockBench b(kBus, {kType5});
    b.Connect({1, 3});
    FillProjectorTree(b.state, b.groups);
    b.state.link.currentAddress = 1;
    b.state.projectors.currentProjectorIndex = 0;
    b.ui.Clear();
    ProjectorInfoLines l = FillProjectorInfo(b.state, b.groups, NodeData(kNodeInfo, 1), true);
    EXPECT_EQ(l.version, " 3.05");
    EXPECT_EQ(l.serial.empty(), false);
    EXPECT_EQ(l.address, "1\n");
    EXPECT_EQ(l.status, "Operating");
    EXPECT_EQ(l.runtime.find("300"), 0u);
    EXPECT_EQ(l.text, b.groups.groups[0].members[0].infoText);
    EXPECT_TRUE(b.Shown().empty());

    // A silent projector: identity and serial number report, status and runtime do not.
    b.state.link.currentAddress = 0x1f;
    l = FillProjectorInfo(b.state, b.groups, 0, false);
    EXPECT_EQ(l.type, "Type Unknown");
    EXPECT_EQ(l.version, "Unknown");
    EXPECT_EQ(l.serial, "Unknown");
    EXPECT_EQ(l.address, "1f\n");
    EXPECT_EQ(l.status, "");
    EXPECT_EQ(l.runtime, "Error");
    EXPECT_EQ(l.text, "no text found");
    EXPECT_EQ(b.Shown().size(), 2u);
}

}  // namespace
}  // namespace ombrix
