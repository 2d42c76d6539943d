// The block settings pane and the comparison of two blocks against the simulator on the
// virtual clock: which groups get tabs, which parameters get fields and where, what goes
// on the wire in Direct and Indirect Access, and where Save puts the bytes.
#include <gtest/gtest.h>

#include "PaneBench.h"
#include "../support/WireTiming.h"
#include "directaccess/CompareBlocks.h"
#include "directaccess/SettingsPane.h"

namespace ombrix {
namespace {

using testing::kNackFirst;
using testing::PaneBench;
using testing::Request;
using Bench = PaneBench;
using testing::kAudio;
using testing::kCommon;
using testing::kConvergence;
using testing::kPicture;


TEST(GroupTabs, MaskRules) {
    struct Case {
        const char* label;
        int32_t mask;
        int blockKind;
        bool known;
        uint32_t capability;
        bool shown;
    };
    const Case cases[] = {
        {"ordinary block, no requirement", 0, 0, true, 0, true},
        {"ordinary block, first special kind", 0x4000, 0, true, 0x4000, false},
        {"ordinary block, second special kind, unknown projector", 0x8000, 0, false, 0, false},
        {"ordinary block, option present", 0x41, 0, true, 0x43, true},
        {"ordinary block, option missing", 0x41, 0, true, 0x01, false},
        {"ordinary block, option, unknown projector", 0x41, 0, false, 0, true},
        {"special block, its kind", 0x4000, 0x4000, true, 0x4001, true},
        {"special block, its kind, projector without it", 0x4000, 0x4000, true, 0x0001, false},
        {"special block, kind plus option the projector lacks", 0x4040, 0x4000, true, 0x4000, true},
        {"special block, kind plus option the projector has", 0x4040, 0x4000, true, 0x4040, false},
        {"special block, no requirement", 0, 0x4000, true, 0x4000, false},
        {"special block, other kind", 0x8000, 0x4000, true, 0xC000, false},
        {"special block, unknown projector, its kind", 0x4000, 0x4000, false, 0, true},
        {"special block, unknown projector, kind plus option", 0x4040, 0x4000, false, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GroupShown(c.mask, c.blockKind, c.known, c.capability), c.shown) << c.label;
    }
}

TEST(GroupTabs, OfTheAdjustmentBlock) {
    struct Case {
        const char* label;
        BlockListKind list;
        int row;  // -1: a RAM row of type 6, which no connected projector has
        std::vector<std::string> tabs;
    };
    const Case cases[] = {
        {"ordinary projector block", BlockListKind::Projector, 1, {"Picture", "Convergence", "Audio", "Empty"}},
        {"common block of the projector", BlockListKind::Projector, 5, {"Common", "Focus common"}},
        {"RAM row of an unknown projector",
         BlockListKind::Ram,
         -1,
         {"Picture", "Convergence", "Audio", "Focus", "Focus common", "Empty"}},
    };
    for (const Case& c : cases) {
        Bench b;
        int row = c.row;
        if (row < 0) {
            RAMBlock r;
            r.projectorType = 6;
            r.alphaId = 'V';
            r.containerTitle = 0;
            b.state.blocks.ramBlocks[static_cast<size_t>(b.state.blocks.ramRowCount)] = r;
            row = b.state.blocks.ramRowCount++;
            RefreshBlockLists(b.state, b.view);
        }
        b.Adjust(c.list, row);
        std::vector<SettingsTab> tabs;
        ASSERT_TRUE(AdjustmentTabs(b.state, &tabs)) << c.label;
        std::vector<std::string> names;
        for (const SettingsTab& t : tabs) names.push_back(t.name);
        EXPECT_EQ(names, c.tabs) << c.label;
    }
}

TEST(OpenPane, AccessAndMessages) {
    struct Case {
        const char* label;
        BlockListKind list;
        int row;  // -1: no adjustment block
        int position;
        bool opens;
        int directAccess;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"active projector block", BlockListKind::Projector, 0, kPicture, true, 1, {}},
        {"other projector block", BlockListKind::Projector, 1, kPicture, true, 0, {}},
        {"RAM block", BlockListKind::Ram, 1, kPicture, true, 0, {}},
        {"no adjustment block", BlockListKind::Projector, -1, kPicture, false, 0, {"Warning  35"}},
        {"group without parameters", BlockListKind::Projector, 1, 6, false, 0, {"Warning  41"}},
    };
    for (const Case& c : cases) {
        Bench b;
        if (c.list == BlockListKind::Ram) b.RamRow(0x11);
        if (c.row >= 0) b.Adjust(c.list, c.row);
        EXPECT_EQ(OpenSettingsPane(b.state, &b.pane, c.position), c.opens) << c.label;
        EXPECT_EQ(b.pane.directAccess, c.directAccess) << c.label;
        EXPECT_EQ(b.Shown(), c.shown) << c.label;
        if (c.opens) {
            EXPECT_EQ(AccessText(b.pane), c.directAccess ? "Direct Access" : "Indirect Access") << c.label;
        }
    }
}

// The active block: location, body, then the live value of each field open to direct
// access; the others show the block's own byte and are never stepped on the projector.
TEST(OpenPane, ActiveBlockIsLive) {
    Bench b;
    b.Adjust(BlockListKind::Projector, 0);
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
    std::vector<Request> sent = b.Sent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].command, 'J');
    EXPECT_EQ(sent[1], (Request{'r', {0x40, 0x01, 0x20, 0x34}}));
    EXPECT_EQ(sent[2], (Request{'z', {0x30, 5, 0, 0}}));
    EXPECT_EQ(b.pane.fields[0].value, 200);
    EXPECT_EQ(b.pane.block.working[8], 200);
    // Direct Access outlives the rebuilds.
    ChooseMode(b.state, b.pane, PaneMode::View);
    ShowControlPanel(b.state, b.pane, true);
    EXPECT_EQ(b.pane.directAccess, 1);
    EXPECT_EQ(b.pane.control.title, "Direct Access : Gain");

    b.bus.ClearTranscript();
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kConvergence));
    sent = b.Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2], (Request{'z', {0x0a, 0, 0, 0}}));
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Green H", "6016 Common H"}));
    EXPECT_EQ(b.pane.fields[0].value, 50);
    EXPECT_EQ(b.pane.fields[1].value, 17);
    b.bus.ClearTranscript();
    ShowControlPanel(b.state, b.pane, true);
    Scroll(b.state, b.pane, ScrollAction::LineRight);
    EXPECT_TRUE(b.Sent().empty());
    EXPECT_EQ(b.pane.block.working[17], 18);
}

TEST(OpenPane, FailedReadIsNeverWrittenBack) {
    Bench b;
    b.Adjust(BlockListKind::Projector, 1);
    b.bus.SetFault(1, testing::kNackSecond);
    EXPECT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
    EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Projector sends NACK !", "Error  42"}));
    b.bus.ClearTranscript();
    CloseSettingsPane(b.state, b.pane);
    EXPECT_TRUE(b.Sent().empty());
}

TEST(Fields, PlacedAndRenumberedByTheChoices) {
    Bench b;
    b.Adjust(BlockListKind::Projector, 1);
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kConvergence));
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Green H", "6016 Common H"}));
    ChooseColour(b.state, b.pane, PaneColour::Red);
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Red H", "6016 Common H"}));
    ChooseColour(b.state, b.pane, PaneColour::Green);
    ChooseDirection(b.state, b.pane, PaneDirection::TopBottom);
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Green V", "6016 Common H"}));
    EXPECT_EQ(b.pane.page[static_cast<size_t>(b.pane.currentParameter)].paramNumber, 160);
    // Indirect Access: the block's bytes at their places.
    EXPECT_EQ(b.pane.fields[0].value, 0x14 + 16);

    const PaneLayout l = LayOutPane(b.pane, 6, 13, 20);
    ASSERT_EQ(l.fields.size(), 2u);
    EXPECT_EQ(l.labels[0].x, 5 + 6);
    EXPECT_EQ(l.labels[0].y, 5 + 2 * 13);
    EXPECT_EQ(l.labels[0].w, 13 * 6);
    EXPECT_EQ(l.fields[1].x, 5 + 16 * 6);
    EXPECT_EQ(l.fields[1].y, 5 + 3 * 13);
    EXPECT_EQ(l.fields[1].w, 5 * 7);
    // The frame is at least 300 wide and reaches 15 below the lowest line.
    EXPECT_EQ(l.settingsFrame.w, 300);
    EXPECT_EQ(l.settingsFrame.Bottom(), 5 + 4 * 13 + 15);
    EXPECT_EQ(l.controlRows, (std::vector<std::string>{"Color", "Direction", "Control"}));
    EXPECT_EQ(l.controlFrame.x, l.settingsFrame.Right() + 7 * 6);
}

TEST(Fields, RequirementNotMetGetsNoField) {
    Bench b;
    b.Adjust(BlockListKind::Projector, 1);
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Brightness", "6016 Sharpness", "6017 Gain"}));
    // The projector has sound, so the group needing it has its field.
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kAudio));
    EXPECT_EQ(b.FieldNames(), (std::vector<std::string>{"6015 Volume"}));
}

TEST(ScrollBar, StepsAndClamping) {
    struct Case {
        const char* label;
        ScrollAction action;
        int value, thumb, min, max, result;
    };
    const Case cases[] = {
        {"line left", ScrollAction::LineLeft, 10, 0, 0, 127, 9},
        {"line right", ScrollAction::LineRight, 10, 0, 0, 127, 11},
        {"page left", ScrollAction::PageLeft, 20, 0, 0, 127, 4},
        {"page right", ScrollAction::PageRight, 20, 0, 0, 127, 36},
        {"page left below min", ScrollAction::PageLeft, 20, 0, 10, 127, 10},
        {"page right above max", ScrollAction::PageRight, 120, 0, 0, 127, 127},
        {"line left at min", ScrollAction::LineLeft, 5, 0, 5, 127, 5},
        {"thumb", ScrollAction::Thumb, 20, 77, 0, 127, 77},
        {"thumb past max", ScrollAction::Thumb, 20, 300, 0, 127, 127},
        {"to start", ScrollAction::ToStart, 20, 0, 3, 99, 3},
        {"to end", ScrollAction::ToEnd, 20, 0, 3, 99, 99},
        {"limits crossed: min wins", ScrollAction::LineRight, 20, 0, 50, 40, 50},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollTarget(c.action, c.value, c.thumb, c.min, c.max), c.result) << c.label;
    }
}

// The requests after the live read of a scroll in Direct Access.
TEST(ScrollBar, DirectAccessStepsGoToTheProjector) {
    struct Case {
        const char* label;
        const char* field;
        ScrollAction action;
        int thumb;
        std::vector<Request> sent;
        int live;  // the projector's value afterwards
    };
    const Case cases[] = {
        {"0x34 sends 0 as its second code byte", "Sharpness", ScrollAction::LineRight, 0,
         {{'z', {0x34, 7, 0, 0}}, {'y', {0x34, 0, 1, 0}}}, 21},
        {"other codes send their own", "Brightness", ScrollAction::LineLeft, 0,
         {{'z', {0x30, 5, 0, 0}}, {'y', {0x30, 5, 0xff, 0}}}, 126},
        {"a change beyond a signed byte goes in steps", "Gain", ScrollAction::Thumb, 250,
         {{'z', {0x31, 0, 0, 0}}, {'y', {0x31, 0, 127, 0}}, {'y', {0x31, 0, 113, 0}}}, 250},
        {"a change of exactly 128 is 127 and 1, never -128", "Gain", ScrollAction::Thumb, 138,
         {{'z', {0x31, 0, 0, 0}}, {'y', {0x31, 0, 127, 0}}, {'y', {0x31, 0, 1, 0}}}, 138},
    };
    for (const Case& c : cases) {
        Bench b;
        b.Adjust(BlockListKind::Projector, 0);
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
        ASSERT_TRUE(FocusField(b.state, b.pane, b.FieldId(c.field))) << c.label;
        ShowControlPanel(b.state, b.pane, true);  // Brightness 200 is brought down to 127 here
        b.bus.ClearTranscript();
        const uint64_t before = b.clock.TickMs();
        Scroll(b.state, b.pane, c.action, c.thumb);
        EXPECT_EQ(b.Sent(), c.sent) << c.label;
        EXPECT_GE(b.clock.TickMs() - before, 300u) << c.label;
        int live = 0;
        b.bus.With(1, [&](sim::SimProjector& p) { live = p.params[b.pane.page[static_cast<size_t>(b.pane.currentParameter)].da1].value; });
        EXPECT_EQ(live, c.live) << c.label;
        EXPECT_EQ(b.pane.block.working[static_cast<size_t>(b.pane.page[static_cast<size_t>(b.pane.currentParameter)].placeInBlock)], c.live) << c.label;
    }
}

// The write after a scroll waits 300 ms past the live read. On the wire: the read's
// request, its 300 ms settle and 200 ms closing wait, then those 300 ms, then the write.
TEST(ScrollBar, TheWriteComes300MsAfterTheLiveRead) {
    struct Case {
        const char* label;
        const char* field;
        ScrollAction action;
        int thumb;
    };
    const Case cases[] = {
        {"one line", "Brightness", ScrollAction::LineLeft, 0},
        {"thumb, in two steps", "Gain", ScrollAction::Thumb, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bench b;
        b.Adjust(BlockListKind::Projector, 0);
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
        ASSERT_TRUE(FocusField(b.state, b.pane, b.FieldId(c.field)));
        ShowControlPanel(b.state, b.pane, true);
        b.bus.ClearTranscript();
        Scroll(b.state, b.pane, c.action, c.thumb);
        const auto frames = testing::WireFrames(b.bus);
        const auto read = testing::FindRequest(frames, 'z');
        ASSERT_TRUE(read);
        const auto write = testing::FindRequest(frames, 'y', *read);
        ASSERT_TRUE(write);
        const uint64_t gap = frames[*write].time - frames[*read].time;
        EXPECT_GE(gap, 300u + 200u + 300u);
        EXPECT_LE(gap, 300u + 200u + 300u + 10u);
    }
}

TEST(ScrollBar, ControlPanelBringsALiveValueIntoRange) {
    Bench b;
    b.Adjust(BlockListKind::Projector, 0);
    ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
    ASSERT_TRUE(FocusField(b.state, b.pane, b.FieldId("Brightness")));
    b.bus.ClearTranscript();
    ShowControlPanel(b.state, b.pane, true);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'z', {0x30, 5, 0, 0}}, {'y', {0x30, 5, 0xb7, 0}}}));
    EXPECT_EQ(b.pane.control.position, 127);
    EXPECT_EQ(b.pane.control.max, 127);
}

TEST(SaveRestore, WhereTheBytesGo) {
    {
        SCOPED_TRACE("projector block, saved when the pane closes");
        Bench b;
        b.Adjust(BlockListKind::Projector, 1);
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
        ShowControlPanel(b.state, b.pane, true);  // Gain, place 9, 0x1d in the block
        Scroll(b.state, b.pane, ScrollAction::PageRight);
        b.bus.ClearTranscript();
        CloseSettingsPane(b.state, b.pane);
        EXPECT_EQ(b.Sent(), (std::vector<Request>{{'q', {0x00, 0x02, 0x21, 0x36}}}));
        const std::vector<uint8_t> data = b.SimData(1, 1);
        ASSERT_EQ(data.size(), 20u);
        EXPECT_EQ(data[9], 0x1d + 16);
        EXPECT_EQ(data[8], 0x1c);
        EXPECT_EQ(b.Block(1).body[9], 0x1d + 16);
        EXPECT_FALSE(b.pane.loaded);
    }
    {
        SCOPED_TRACE("RAM row: Restore brings its bytes back, Close writes it, nothing on the line");
        Bench b;
        const int row = b.RamRow(0x11);
        b.Adjust(BlockListKind::Ram, row);
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
        ShowControlPanel(b.state, b.pane, true);
        Scroll(b.state, b.pane, ScrollAction::ToEnd);
        EXPECT_EQ(b.pane.fields.back().value, 255);
        EXPECT_EQ(RestoreBlock(b.state, b.pane), 1);
        EXPECT_EQ(b.pane.fields.back().value, 0x11);
        EXPECT_EQ(b.pane.control.position, 0x11);
        Scroll(b.state, b.pane, ScrollAction::LineLeft);
        CloseSettingsPane(b.state, b.pane);
        EXPECT_TRUE(b.Sent().empty());
        EXPECT_EQ(b.state.blocks.ramBlocks[static_cast<size_t>(row)].body[9], 0x10);
        EXPECT_EQ(b.state.blocks.ramBlocks[static_cast<size_t>(row)].body[8], 0x11);
    }
    {
        SCOPED_TRACE("Restore does nothing in Direct Access");
        Bench b;
        b.Adjust(BlockListKind::Projector, 0);
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, kPicture));
        b.bus.ClearTranscript();
        EXPECT_EQ(RestoreBlock(b.state, b.pane), 0);
        EXPECT_TRUE(b.Sent().empty());
    }
}

TEST(Selections, ProjectorBlockIsReadWhenSelected) {
    Bench b;
    b.Select(BlockListKind::Projector, {1});
    SelectForReference(b.state, b.view, BlockListKind::Projector);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'r', {0x00, 0x02, 0x21, 0x36}}}));
    EXPECT_EQ(b.state.blocks.reference.body[0], 0x14);
    EXPECT_EQ(b.state.blocks.reference.body[19], 0x27);
    EXPECT_EQ(b.state.blocks.reference.body[20], 0);

    Bench failing;
    failing.Select(BlockListKind::Projector, {1});
    failing.bus.SetFault(1, kNackFirst);
    SelectForAdjustment(failing.state, failing.view, BlockListKind::Projector);
    EXPECT_EQ(failing.state.blocks.adjustment.row, -1);
    EXPECT_FALSE(failing.view.settingsEnabled);
}

TEST(Comparison, RowsAndKinds) {
    struct Case {
        const char* label;
        int adjustRow, referenceRow;  // projector rows; 5 is the common block
        bool referenceInRam;          // the reference is a RAM row of type 6
        bool filled;
    };
    const Case cases[] = {
        {"ordinary against ordinary", 1, 0, false, true},
        {"ordinary against special", 1, 5, false, true},
        {"special against ordinary", 5, 1, false, false},
        {"ordinary against a type lacking a parameter", 1, -1, true, true},
    };
    for (const Case& c : cases) {
        Bench b;
        if (c.referenceInRam) {
            RAMBlock r;
            r.projectorType = 6;
            r.alphaId = 'V';
            r.body.fill(0x42);
            b.state.blocks.ramBlocks[static_cast<size_t>(b.state.blocks.ramRowCount)] = r;
            const int row = b.state.blocks.ramRowCount++;
            RefreshBlockLists(b.state, b.view);
            b.Select(BlockListKind::Ram, {row});
            SelectForReference(b.state, b.view, BlockListKind::Ram);
        } else {
            b.Select(BlockListKind::Projector, {c.referenceRow});
            SelectForReference(b.state, b.view, BlockListKind::Projector);
        }
        b.Adjust(BlockListKind::Projector, c.adjustRow);
        const int position = c.adjustRow == 5 ? kCommon : kPicture;
        ASSERT_TRUE(OpenSettingsPane(b.state, &b.pane, position)) << c.label;
        ListModel list;
        EXPECT_EQ(FillBlockComparison(b.state, b.pane, &list), c.filled) << c.label;
        EXPECT_EQ(list.headings.size(), 7u) << c.label;
        if (!c.filled) {
            EXPECT_TRUE(list.rows.empty()) << c.label;
            EXPECT_EQ(b.Shown(), (std::vector<std::string>{"Error  44"})) << c.label;
            continue;
        }
        ASSERT_EQ(list.rows.size(), 4u) << c.label;
        EXPECT_EQ(list.rows[0][0], "Brightness") << c.label;
        EXPECT_EQ(list.rows[0][1], "28") << c.label;  // 0x1c
        EXPECT_EQ(list.rows[0][3], "127") << c.label;
        if (c.referenceInRam) {
            EXPECT_EQ(list.rows[0][4], "66") << c.label;
            EXPECT_EQ(list.rows[3], (std::vector<std::string>{"Gain", "29", "0", "255", "-", "-", "-"})) << c.label;
        } else if (c.referenceRow == 0) {
            EXPECT_EQ(list.rows[0][4], "8") << c.label;
        }
    }
}

}  // namespace
}  // namespace ombrix
