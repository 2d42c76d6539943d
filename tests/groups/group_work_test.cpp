// Work on a group of projectors against the in-process simulator: a press, a source
// switch, the comparison and matching to a reference member; the tree and the window's
// group commands with their boxes and groups.json.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "../directaccess/DirectBench.h"
#include "blocks/BlockOperations.h"
#include "blocks/GroupTree.h"
#include "directaccess/CompareProjectors.h"
#include "directaccess/GroupWork.h"
#include "remote/RemoteKeys.h"

namespace ombrix {
namespace {

using testing::BlockBench;
using testing::DirectDescription;

std::string Projector(int address, const std::string& status = "00 00 90 21") {
    return "[projector]\naddress = " + std::to_string(address) + "\ntype = 5 V\nstatus = " + status +
           "\nblock-length = 16\nblock = 40 34 01 20 active data=" + std::to_string(address) +
           "0111213141516171819" + "1a1b1c1d1e1f\n\n";
}

// Projectors 1, 2 and 3 of one type; the grouping holds "Dome" of 3, 2, 1 (not in
// address order) and the selection is Dome.
class GroupBench : public BlockBench {
public:
    GroupBench()
        : BlockBench(Projector(1) + Projector(2) + Projector(3), {DirectDescription(5, 'V', {{1, 9, 10, 100}})}) {
        Connect({1, 2, 3});
        state.link.currentAddress = 1;
        state.projectors.currentProjectorIndex = 0;
        state.groups.groups.push_back(UserGroup{"Dome", {3, 2, 1}, {}});
        state.direct.selection = {SelectionKind::Group, "Dome"};
        state.direct.page = kPagePicture;
        bus.ClearTranscript();
        ui.Clear();
    }
    void SetParam(uint8_t address, uint8_t code, int value) {
        bus.With(address, [&](sim::SimProjector& p) { p.params[code] = sim::SimParam{value, 0, 255}; });
    }
    int Param(uint8_t address, uint8_t code) {
        int v = -1;
        bus.With(address, [&](sim::SimProjector& p) { v = p.params[code].value; });
        return v;
    }
    // (address, command) of every request frame, in order.
    std::vector<std::pair<int, char>> Frames() const {
        std::vector<std::pair<int, char>> out;
        for (const auto& e : bus.Transcript()) {
            if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
            out.emplace_back(static_cast<uint8_t>(e.bytes[2] - e.bytes[1]), static_cast<char>(e.bytes[3] - e.bytes[1]));
        }
        return out;
    }
};

ProgressHooks Recorder(std::vector<std::string>* texts) {
    ProgressHooks h;
    h.text = [texts](const std::string& t) {
        if (!t.empty()) texts->push_back(t);
    };
    return h;
}

TEST(GroupWork, APressReachesEveryMemberAndASilentOneIsToldOnce) {
    GroupBench b;
    for (uint8_t a : {1, 2, 3}) b.SetParam(a, 0x31, 50);
    b.bus.SetFault(2, sim::Fault{sim::FaultKind::Silence});
    std::vector<std::string> texts;
    int shown = -1;
    ASSERT_TRUE(AdjustSlot(b.state, 1, 1, &shown, Recorder(&texts)));  // slot 1: Contrast, code 0x31
    EXPECT_EQ(shown, 51);
    // Read and step for 3 and 1 in member order; 2 is asked once and left alone.
    EXPECT_EQ(b.Frames(), (std::vector<std::pair<int, char>>{{3, 'z'}, {3, 'y'}, {2, 'z'}, {1, 'z'}, {1, 'y'}}));
    EXPECT_EQ(b.Param(3, 0x31), 51);
    EXPECT_EQ(b.Param(1, 0x31), 51);
    EXPECT_EQ(b.ui.Boxes().size(), 1u);
    EXPECT_EQ(texts, (std::vector<std::string>{"Projector [3] ...", "Projector [2] ...", "Projector [1] ..."}));
}

TEST(GroupWork, DefaultStaysOneProjectorWithItsSilentReadUntold) {
    GroupBench b;
    b.state.direct.selection = {};
    b.bus.SetFault(1, sim::Fault{sim::FaultKind::Silence});
    int shown = -1;
    AdjustSlot(b.state, 1, 1, &shown);
    EXPECT_TRUE(b.ui.Boxes().empty());
    for (const auto& f : b.Frames()) EXPECT_EQ(f.first, 1);
}

TEST(GroupWork, ASourceSwitchSendsTheDigitsToEachMember) {
    GroupBench b;
    std::vector<std::string> texts;
    SelectSourceOnTargets(b.state, 42, Recorder(&texts));
    std::vector<std::tuple<int, int, uint64_t>> digits;  // address, key, time
    for (const auto& e : b.bus.Transcript()) {
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        const int key = static_cast<uint8_t>(e.bytes[3] - e.bytes[1]);
        if (key >= 0x10 && key <= 0x19) digits.emplace_back(static_cast<uint8_t>(e.bytes[2] - e.bytes[1]), key, e.time);
    }
    ASSERT_EQ(digits.size(), 6u);
    const int order[] = {3, 2, 1};
    for (size_t m = 0; m < 3; ++m) {
        SCOPED_TRACE(m);
        const auto& tens = digits[2 * m];
        const auto& units = digits[2 * m + 1];
        EXPECT_EQ(std::get<0>(tens), order[m]);
        EXPECT_EQ(std::get<1>(tens), 0x14);
        EXPECT_EQ(std::get<0>(units), order[m]);
        EXPECT_EQ(std::get<1>(units), 0x12);
        EXPECT_GE(std::get<2>(units) - std::get<2>(tens), 50u);
        int selected = 0;
        b.bus.With(static_cast<uint8_t>(order[m]), [&](sim::SimProjector& p) { selected = p.selectedInput; });
        EXPECT_EQ(selected, 42);
    }
    EXPECT_EQ(texts.front(), "Projector [3] ...");
}

TEST(GroupWork, TheComparisonPutsAllMembersSideBySide) {
    GroupBench b;
    BuildTargetList(b.state);
    ListModel list;
    ASSERT_TRUE(FillProjectorComparison(b.state, kPagePicture, &list, {}));
    ASSERT_EQ(list.headings.size(), 10u);
    EXPECT_EQ(list.headings[1], "Projector [3]");
    EXPECT_EQ(list.headings[4], "Projector [2]");
    EXPECT_EQ(list.headings[7], "Projector [1]");
    // Sharpness is not described: place 0, each projector's own first byte.
    EXPECT_EQ(list.rows[1][0], "unknown");
    EXPECT_EQ(list.rows[1][1], "48");
    EXPECT_EQ(list.rows[1][4], "32");
    EXPECT_EQ(list.rows[1][7], "16");
    // Contrast sits at place 9 (0x19 in every block), with its limits.
    const auto& contrast = list.rows[3];
    EXPECT_EQ(contrast[0], "P1");
    for (size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(contrast[1 + 3 * j], "25");
        EXPECT_EQ(contrast[2 + 3 * j], "10");
        EXPECT_EQ(contrast[3 + 3 * j], "100");
    }
}

// A member whose values cannot be read shows "-", never a value it does not hold.
TEST(GroupWork, TheComparisonGoesOnPastAMemberItCannotRead) {
    struct Case {
        const char* label;
        std::function<void(sim::SimBus&)> after;  // once the target list was made
        size_t boxes;
    } cases[] = {
        {"silent: its location told once", [](sim::SimBus& bus) { bus.SetFault(2, sim::Fault{sim::FaultKind::Silence}); }, 1},
        {"gone into standby", [](sim::SimBus& bus) { bus.With(2, [](sim::SimProjector& p) { p.status[2] = 0x81; }); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GroupBench b;
        BuildTargetList(b.state);
        c.after(b.bus);
        ListModel list;
        ASSERT_TRUE(FillProjectorComparison(b.state, kPagePicture, &list, {}));
        EXPECT_EQ(list.rows[3][1], "25");
        EXPECT_EQ(list.rows[3][4], "-");
        EXPECT_EQ(list.rows[3][7], "25");
        EXPECT_EQ(b.ui.Boxes().size(), c.boxes);
    }
}

struct MatchCase {
    const char* label;
    int reference;  // value of projector 3
    int member;     // value of projectors 2 and 1
    int reached;
    bool limited;
    std::vector<int> steps;  // step bytes sent to each member, as signed values
};

class Matching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Matching, BringsTheOthersToTheReferenceWithinTheirLimits) {
    const MatchCase& c = GetParam();
    GroupBench b;
    b.SetParam(3, 0x31, c.reference);
    b.SetParam(2, 0x31, c.member);
    b.SetParam(1, 0x31, c.member);
    const auto lines = MatchToReference(b.state, kPagePicture, 3, 3, {});
    ASSERT_EQ(lines.size(), 2u);
    for (const MatchLine& l : lines) {
        EXPECT_EQ(l.before, c.member);
        EXPECT_EQ(l.reached, c.reached);
        EXPECT_EQ(l.limited, c.limited);
        EXPECT_EQ(b.Param(l.address, 0x31), c.reached);
    }
    std::vector<int> steps;
    for (const auto& e : b.bus.Transcript()) {
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        if (static_cast<char>(e.bytes[3] - e.bytes[1]) != 'y' || static_cast<uint8_t>(e.bytes[2] - e.bytes[1]) != 2)
            continue;
        steps.push_back(static_cast<int8_t>(static_cast<uint8_t>(e.bytes[6] - e.bytes[1])));
    }
    EXPECT_EQ(steps, c.steps);
    if (c.limited) {
        EXPECT_NE(MatchLineText(lines[0], 3).find("its maximum 100"), std::string::npos) << MatchLineText(lines[0], 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    GroupWork, Matching,
    ::testing::Values(MatchCase{"up", 60, 52, 60, false, {8}}, MatchCase{"down", 20, 52, 20, false, {-32}},
                      MatchCase{"equal_sends_nothing", 52, 52, 52, false, {}},
                      MatchCase{"above_the_members_maximum", 200, 52, 100, true, {48}},
                      MatchCase{"from_far_below_its_minimum", 90, 0, 90, false, {90}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(GroupWork, MatchingThePageNamesEachMemberAndParameter) {
    GroupBench b;
    for (uint8_t a : {1, 2, 3}) {
        for (uint8_t code = 0x30; code <= 0x34; ++code) b.SetParam(a, code, 128);
    }
    const auto lines = MatchToReference(b.state, kPagePicture, -1, 1, {});
    ASSERT_EQ(lines.size(), 10u);  // five parameters, two other members
    // Only Contrast is described: the others keep 0..127 and cannot reach the simulator's 128.
    EXPECT_EQ(MatchLineText(lines[0], 1), "Projector [3] : Brightness 128 -> 127 (its maximum 127; Projector [1] is at 128)");
    EXPECT_EQ(MatchLineText(lines[2], 1), "Projector [3] : Sharpness 128 -> 127 (its maximum 127; Projector [1] is at 128)");
}

// ---- the handset aimed at a group ----

// Member 8 is off and left out; 1 is in standby: a source digit wakes it, as direct access
// sends it, and any other key but power passes it over.
TEST(GroupWork, TheHandsetSendsEachKeyToEveryMemberWithItsPause) {
    struct Case {
        const char* label;
        int control;
        int code;
        std::vector<int> reached;
    };
    for (const Case& c : {Case{"single key", 1011, 0x21, {3}}, Case{"digit key", 1022, 0x11, {3, 1}}}) {
        SCOPED_TRACE(c.label);
        GroupBench b;
        b.state.groups.groups[0].members = {3, 8, 1};
        b.state.projectors.records[0].standby = 1;
        RemoteWindowEntry window;
        window.address = 2;
        window.remoteAddress = 2;
        AimRemoteAtGroup(window, b.state.groups.groups[0]);
        EXPECT_EQ(RemoteWindowTitle(window), "Remote Control [Dome]");
        PressRemoteKey(b.state, window, c.control);
        std::vector<std::pair<int, uint64_t>> sent;
        for (const auto& e : b.bus.Transcript()) {
            if (e.fromHost && e.bytes.size() == 9 && e.bytes[0] == 0x02 && static_cast<uint8_t>(e.bytes[3] - e.bytes[1]) == c.code)
                sent.emplace_back(static_cast<uint8_t>(e.bytes[2] - e.bytes[1]), e.time);
        }
        ASSERT_EQ(sent.size(), c.reached.size());
        for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].first, c.reached[i]);
        if (sent.size() == 2) {
            EXPECT_GE(sent[1].second - sent[0].second, 120u);
        }
    }
    // The address key ends the group: the title names the address again.
    GroupBench b;
    RemoteWindowEntry window;
    AimRemoteAtGroup(window, b.state.groups.groups[0]);
    PressRemoteKey(b.state, window, 1013);
    EXPECT_EQ(RemoteWindowTitle(window), "Remote Control [0]");
}

// ---- the tree and the window's group commands ----

std::vector<std::string> Texts(const TreeNode& group) {
    std::vector<std::string> out;
    for (const TreeNode& n : group.children) out.push_back(n.text + (n.dimmed ? " (greyed)" : ""));
    return out;
}

TEST(GroupTree, UserGroupsFollowTheMainGroupAndKeepMembersThatAreOff) {
    GroupBench b;
    b.state.groups.groups[0].members = {3, 7, 1};
    FillProjectorTree(b.state, b.groups);
    ASSERT_EQ(b.groups.roots.size(), 2u);
    EXPECT_EQ(b.groups.roots[1].text, "Dome");
    const auto texts = Texts(b.groups.roots[1]);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Projector [7] (greyed)");
    EXPECT_TRUE(b.groups.roots[1].children[1].children.empty());
    EXPECT_EQ(b.groups.roots[1].children[0].children.size(), 4u);  // its views
    EXPECT_EQ(b.groups.roots[0].children.size(), 3u);
    // Projector 7 comes back: the same group shows it whole again.
    b.state.projectors.connectedCount = 2;
    FillProjectorTree(b.state, b.groups);
    EXPECT_EQ(Texts(b.groups.roots[1]).size(), 3u);
    EXPECT_EQ(b.groups.roots[0].children.size(), 2u);
}

TEST(GroupTree, CommandsShowTheirBoxesAndSaveEveryChange) {
    struct Step {
        const char* label;
        std::function<bool(ProgramState&)> run;
        bool done;
        std::vector<std::string> shown;
        const char* groups;  // groups.json's group names and members afterwards
    };
    const std::vector<Step> steps = {
        {"new group", [](ProgramState& s) { return NewGroup(s, "Wall").empty(); }, true, {}, "Dome:3,2,1 Wall:"},
        {"new duplicate stays in the dialog", [](ProgramState& s) { return NewGroup(s, "Wall").empty(); }, false, {},
         "Dome:3,2,1 Wall:"},
        {"add to wall", [](ProgramState& s) { return AddToTreeGroup(s, 2, {2, 3}); }, true, {}, "Dome:3,2,1 Wall:2,3"},
        {"add a member again", [](ProgramState& s) { return AddToTreeGroup(s, 2, {1, 3}); }, false, {"Error  5"},
         "Dome:3,2,1 Wall:2,3"},
        {"add nothing", [](ProgramState& s) { return AddToTreeGroup(s, 2, {}); }, false, {"Error  35"},
         "Dome:3,2,1 Wall:2,3"},
        {"add without a group", [](ProgramState& s) { return AddToTreeGroup(s, -1, {1}); }, false, {"Warning  31"},
         "Dome:3,2,1 Wall:2,3"},
        {"add to the main group", [](ProgramState& s) { return AddToTreeGroup(s, 0, {1}); }, false, {"Error  34"},
         "Dome:3,2,1 Wall:2,3"},
        {"remove from main", [](ProgramState& s) { return RemoveFromTreeGroup(s, 0, 1); }, false, {"Warning  4"},
         "Dome:3,2,1 Wall:2,3"},
        {"remove", [](ProgramState& s) { return RemoveFromTreeGroup(s, 1, 2); }, true, {}, "Dome:3,1 Wall:2,3"},
        {"delete main", [](ProgramState& s) { return DeleteTreeGroup(s, 0); }, false, {"Warning  26"},
         "Dome:3,1 Wall:2,3"},
        {"delete none", [](ProgramState& s) { return DeleteTreeGroup(s, -1); }, false, {"Warning  28"},
         "Dome:3,1 Wall:2,3"},
        {"rename taken", [](ProgramState& s) { return RenameTreeGroup(s, 2, "Dome"); }, false,
         {"A group named \"Dome\" exists already"}, "Dome:3,1 Wall:2,3"},
        {"rename", [](ProgramState& s) { return RenameTreeGroup(s, 1, "Big dome"); }, true, {},
         "Big dome:3,1 Wall:2,3"},
    };
    GroupBench b;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        b.ui.Clear();
        EXPECT_EQ(s.run(b.state), s.done);
        EXPECT_EQ(b.Shown(), s.shown);
        Grouping onDisk;
        std::string got;
        if (LoadGroupsFile(kGroupsFileName, &onDisk).ok) {
            for (const UserGroup& g : onDisk.groups) {
                got += (got.empty() ? "" : " ") + g.name + ":";
                for (size_t i = 0; i < g.members.size(); ++i) got += (i ? "," : "") + std::to_string(g.members[i]);
            }
        }
        EXPECT_EQ(got, s.groups);
    }
    // The selection follows its group's new name.
    EXPECT_EQ(b.state.direct.selection.group, "Big dome");
    // Delete asks first; No keeps the group.
    b.ui.Clear();
    EXPECT_FALSE(DeleteTreeGroup(b.state, 2));
    ASSERT_EQ(b.ui.Boxes().size(), 1u);
    EXPECT_EQ(b.ui.Boxes()[0].text, "Delete group Wall ?");
    EXPECT_EQ(b.state.groups.groups.size(), 2u);
}

TEST(GroupTree, BackingUpAGroupFillsOneContainerPerType) {
    // Projector 1 (type 5): two ordinary blocks in use; projector 3 (type 25): two.
    BlockBench b(testing::kTwoTypesBus,
                 {testing::MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}}),
                  testing::MakeDescription(25, 'V', 20, 4, 2, {{0xef, 0, 0x7f, 0}}, 6.25e-7f)});
    b.Connect({1, 3});
    b.Open(1);
    b.state.groups.groups.push_back(UserGroup{"Pair", {3, 1, 8}, {}});
    const auto lines = BackupGroupToRam(b.state, b.session, b.view, 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(GroupBackupText(lines[0]), "Projector [3] : 2 blocks added");
    EXPECT_EQ(GroupBackupText(lines[1]), "Projector [1] : 2 blocks added");
    EXPECT_EQ(GroupBackupText(lines[2]), "Projector [8] : skipped: not connected");
    // Two containers, each a title row and its two blocks, and projector 1 current again.
    const BlockTables& t = b.state.blocks;
    EXPECT_EQ(t.ramRowCount, 6);
    int titles = 0;
    for (int i = 0; i < t.ramRowCount; ++i) titles += t.ramBlocks[static_cast<size_t>(i)].containerTitle != 0;
    EXPECT_EQ(titles, 2);
    EXPECT_EQ(b.state.link.currentAddress, 1);
    const std::vector<std::string> events = b.ui.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "line1 Reading blocks of projector [3]"), events.end());
}

// Projectors 1, 4 and 5 of type 5, 6 of type 5 in standby; 9 is not on the bus. 5 holds
// another block under the header of 1's second block.
const char kCopyBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
block-length = 20
block = 40 34 01 20 active seed=1
block = 00 36 02 21 seed=2
free-blocks = 2
special = ef 7f 00 00
[projector]
address = 4
type = 5 V
status = 00 00 90 00
block-length = 20
block = 40 34 01 20 active seed=4
free-blocks = 2
special = ef 7f 00 00
[projector]
address = 5
type = 5 V
status = 00 00 90 00
block-length = 20
block = 00 36 02 21 active seed=5
free-blocks = 2
special = ef 7f 00 00
[projector]
address = 6
type = 5 V
status = 00 00 81 00
block-length = 20
free-blocks = 2
[projector]
address = 7
type = 8 G
status = 00 00 90 00
block-length = 20
free-blocks = 2
)";

TEST(GroupTree, ARamBlockGoesToEveryMemberThatCanTakeItAfterOneQuestion) {
    BlockBench b(kCopyBus, {testing::MakeDescription(5, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}})});
    b.Connect({1, 4, 5, 6, 7});
    b.Open(1);
    b.state.groups.groups.push_back(UserGroup{"Dome", {4, 5, 6, 1, 9, 7}, {}});
    ASSERT_EQ(AddBlocksToRam(b.state, b.view, {1}).added, 1);
    int row = 0;  // the block just added, below its container's title
    while (row < b.state.blocks.ramRowCount && b.state.blocks.ramBlocks[static_cast<size_t>(row)].containerTitle) ++row;
    ASSERT_LT(row, b.state.blocks.ramRowCount);
    b.ui.Clear();
    b.ui.QueueAnswer(true);
    const std::vector<MemberOutcome> members = CopyRamBlockToGroup(b.state, b.session, b.view, "Dome", row);
    std::vector<std::string> lines;
    for (const MemberOutcome& m : members) lines.push_back(MemberOutcomeLine(m));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "projector 4 done: written and read back the same",
                         "projector 5 failed: holds another block under this header; not overwritten",
                         "projector 6 skipped: in standby",
                         "projector 1 done: holds this block already",
                         "projector 9 skipped: not connected",
                         "projector 7 left alone: another type",
                     }));
    EXPECT_EQ(GroupOutcomeText(members).substr(0, 11), "2 of 6 done");
    size_t questions = 0;
    for (const auto& box : b.ui.Boxes()) questions += box.question;
    EXPECT_EQ(questions, 1u);
    // Projector 4 holds 1's block, byte for byte; 5 keeps its own; 1 is current again.
    std::vector<uint8_t> of1, of4, of5;
    auto second = [](const sim::SimProjector& p, std::vector<uint8_t>* out) {
        for (const sim::SimBlock& k : p.blocks)
            if (k.fh == 0x00 && k.fv == 0x36 && k.source == 0x02 && k.config == 0x21) *out = k.data;
    };
    b.bus.With(1, [&](sim::SimProjector& p) { second(p, &of1); });
    b.bus.With(4, [&](sim::SimProjector& p) { second(p, &of4); });
    b.bus.With(5, [&](sim::SimProjector& p) { second(p, &of5); });
    EXPECT_FALSE(of1.empty());
    EXPECT_EQ(of4, of1);
    EXPECT_NE(of5, of1);
    EXPECT_EQ(b.state.link.currentAddress, 1);
    // No: nothing is written anywhere.
    b.ui.QueueAnswer(false);
    b.bus.ClearTranscript();
    EXPECT_TRUE(CopyRamBlockToGroup(b.state, b.session, b.view, "Dome", row).empty());
    for (const auto& r : b.Sent()) EXPECT_NE(r.command, 'q');
}

TEST(GroupTree, ADamagedGroupsFileIsToldAtStartAndKeptAside) {
    GroupBench b;
    testing::WriteBytes(kGroupsFileName, {'{', 'x'});
    LoadWorkGroups(b.state);
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Error  24"}));
    EXPECT_TRUE(b.state.groups.groups.empty());
    EXPECT_EQ(testing::ReadBytes(kGroupsFileName), (std::vector<uint8_t>{'{', 'x'}));
    ASSERT_TRUE(NewGroup(b.state, "Dome").empty());
    EXPECT_EQ(testing::ReadBytes(std::string(kGroupsFileName) + ".refused"), (std::vector<uint8_t>{'{', 'x'}));
    Grouping g;
    EXPECT_TRUE(LoadGroupsFile(kGroupsFileName, &g).ok);
    // Load grouping of a damaged file changes nothing.
    testing::WriteBytes("other.json", {'[', ']'});
    b.ui.Clear();
    EXPECT_FALSE(LoadGroupingFrom(b.state, "other.json"));
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Error  24"}));
    EXPECT_EQ(b.state.groups.groups.size(), 1u);
}

}  // namespace
}  // namespace ombrix
