// Direct-access adjustment and the comparison of projectors against the simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "DirectBench.h"
#include "directaccess/CompareProjectors.h"

namespace ombrix {
namespace {

using testing::DirectBench;
using testing::DirectBus;
using testing::Request;

// Contrast (number 1, code 0x31) sits in Picture slot 1.
struct ClampCase {
    const char* label;
    int value;
    int32_t min, max;
    int delta;
    int shown;
    int sent;  // the step byte on the wire; -1 when nothing is sent
};

class Clamping : public ::testing::TestWithParam<ClampCase> {};

TEST_P(Clamping, SendsTheClampedStepAndShowsTheNewValue) {
    const ClampCase& c = GetParam();
    DirectBench b({{1, 9, c.min, c.max}});
    b.SetParam(0x31, c.value);
    b.state.direct.page = kPagePicture;
    int shown = -1;
    ASSERT_TRUE(AdjustSlot(b.state, 1, c.delta, &shown));
    EXPECT_EQ(shown, c.shown);
    const auto writes = b.SentOf('y');
    if (c.sent < 0) {
        EXPECT_TRUE(writes.empty());
    } else {
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0], (Request{'y', {0x31, 0, static_cast<uint8_t>(c.sent), 0}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, Clamping,
    ::testing::Values(ClampCase{"step_10_five_below_max", 122, 0, 127, 10, 127, 5},
                      ClampCase{"at_max_sends_nothing", 127, 0, 127, 1, 127, -1},
                      ClampCase{"below_min_goes_to_min", 3, 0, 127, -10, 0, 0xFD},
                      ClampCase{"negative_step_is_twos_complement", 60, 0, 127, -8, 52, 0xF8},
                      ClampCase{"min_above_max_clamps_by_min_last", 45, 50, 40, 10, 50, 5},
                      ClampCase{"far_above_max_never_turns_round", 250, 0, 100, 1, 122, 0x80},
                      ClampCase{"a_step_of_128_is_sent_as_127", 0, 0, 255, 128, 127, 0x7F},
                      ClampCase{"a_step_of_minus_128_fits", 200, 0, 255, -128, 72, 0x80}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DirectAccess, SlotsFollowTheSlotTable) {
    // The Picture rows show what their buttons adjust, so slot 1 is Contrast, slot 4 Brightness.
    EXPECT_EQ(SlotParameter(kPagePicture, 1), 3);
    EXPECT_EQ(SlotParameter(kPagePicture, 4), 0);
    EXPECT_EQ(SlotParameter(kPageGeometry, 4), -1);
    EXPECT_EQ(SlotParameter(kPageAudio, 5), -1);
    EXPECT_EQ(SlotParameter(kPageConvergence, 6), 13);
    DirectBench b({});
    b.state.direct.page = kPageGeometry;
    EXPECT_FALSE(AdjustSlot(b.state, 4, 1, nullptr));
    EXPECT_TRUE(b.Sent().empty());
}

struct AudioCase {
    const char* label;
    const char* status;
    bool sends;
};

class Audio : public ::testing::TestWithParam<AudioCase> {};

TEST_P(Audio, OnlyProjectorsWithSoundAreAdjusted) {
    const AudioCase& c = GetParam();
    DirectBench b({{184, 9, 0, 63}}, DirectBus(c.status));
    b.SetParam(0x35, 20);
    b.state.direct.page = kPageAudio;
    int shown = -1;
    ASSERT_TRUE(AdjustSlot(b.state, 1, 1, &shown));
    EXPECT_EQ(shown, c.sends ? 21 : 0);
    EXPECT_EQ(b.SentOf('y').size(), c.sends ? 1u : 0u);
    EXPECT_EQ(b.SentOf('z').size(), c.sends ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(DirectAccess, Audio,
                         ::testing::Values(AudioCase{"with_sound", "00 00 90 21", true},
                                           AudioCase{"without_sound", "00 00 80 21", false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DirectAccess, APageFillsValuesAndLimitsFromTheActiveBlock) {
    // Sharpness (number 4, slot 2) is missing from the description.
    DirectBench b({{1, 9, 0, 100}, {2, 10, 5, 90}, {0, 8, 0, 127}, {3, 11, 1, 63}});
    b.state.direct.page = kPagePicture;
    BuildTargetList(b.state);
    std::vector<std::string> progress;
    ProgressHooks hooks;
    hooks.begin = [&](int range, const std::string& text) { progress.push_back(text + " " + std::to_string(range)); };
    hooks.step = [&] { progress.push_back("step"); };
    hooks.end = [&] { progress.push_back("end"); };
    const auto rows = InitialisePage(b.state, hooks);
    ASSERT_EQ(rows.size(), 5u);
    struct Expected {
        int slot, value, min, max;
    };
    const Expected want[] = {{1, 0x19, 0, 100}, {2, 0x10, 0, 127}, {3, 0x1A, 5, 90}, {4, 0x18, 0, 127}, {5, 0x1B, 1, 63}};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].slot, want[i].slot);
        EXPECT_EQ(rows[i].value, want[i].value);
        EXPECT_EQ(rows[i].min, want[i].min);
        EXPECT_EQ(rows[i].max, want[i].max);
    }
    EXPECT_EQ(progress.front(), "Initializing values 5");
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "step"), 5);
    EXPECT_EQ(progress.back(), "end");
}

TEST(DirectAccess, AProjectorInStandbyShowsZerosAndIsNotAdjusted) {
    DirectBench b({{1, 9, 0, 127}}, DirectBus("00 00 81 00"));
    b.state.direct.page = kPagePicture;
    b.state.direct.values.fill(7);
    ReadActiveBlockValues(b.state);
    for (uint8_t v : b.state.direct.values) EXPECT_EQ(v, 0);
    int shown = -1;
    AdjustSlot(b.state, 1, 1, &shown);
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(b.Sent().empty());
}

TEST(Comparison, OneProjectorGivesFourColumnsAndUnknownParameters) {
    DirectBench b({{0, 8, 0, 127}, {4, 12, 0, 31}, {2, 10, 5, 90}});
    BuildTargetList(b.state);
    ListModel list;
    ASSERT_TRUE(FillProjectorComparison(b.state, kPagePicture, &list, {}));
    EXPECT_EQ(list.headings, (std::vector<std::string>{"Adjustment", "Projector [1]", "Min", "Max"}));
    ASSERT_EQ(list.rows.size(), 5u);
    // Index order: Brightness, Sharpness, Saturation, Contrast (missing), Tint (missing).
    EXPECT_EQ(list.rows[0], (std::vector<std::string>{"P0", "24", "0", "127"}));
    EXPECT_EQ(list.rows[2], (std::vector<std::string>{"P2", "26", "5", "90"}));
    EXPECT_EQ(list.rows[3], (std::vector<std::string>{"unknown", "16", "0", "127"}));
}

TEST(Comparison, AProjectorWithoutDescriptionStopsTheFill) {
    DirectBench b({});
    b.state.projectors.records[0].projectorType = 9;  // no description serves type 9
    BuildTargetList(b.state);
    ListModel list;
    EXPECT_FALSE(FillProjectorComparison(b.state, kPageAudio, &list, {}));
    EXPECT_TRUE(list.rows.empty());
    const auto shown = b.Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Error  12");
}

}  // namespace
}  // namespace ombrix
