// The quick search against the simulator on the virtual clock: it must leave exactly what
// the ordinary search leaves for every projector that answers, and cost only the short
// time-out on each silent address.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "discovery/QuickSearch.h"
#include "discovery/Search.h"
#include "../support/CliBench.h"
#include "../support/Loaders.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::string Projector(int address, const char* status, const char* type = "5 V") {
    return "[projector]\naddress = " + std::to_string(address) + "\ntype = " + type +
           "\nversion = 3.05\nid = " + std::to_string(1000 + address) + "\nstatus = " + status + "\n";
}
constexpr const char* kOperating = "40 00 90 21";
constexpr const char* kStandby = "00 00 81 00";

std::string EveryAddress(int last) {
    std::string bus;
    for (int a = 1; a <= last; ++a) bus += Projector(a, "40 00 90 21");
    return bus;
}

// What a search leaves behind, for comparing one search with another.
struct Outcome {
    std::vector<std::string> events;
    std::vector<std::string> boxes;
    std::vector<ProjectorRecord> records;
    std::vector<uint8_t> generated;
    int32_t searchLimit = 0;
    uint8_t useAddressSet = 0;
    bool found = false;
    uint64_t elapsedMs = 0;
};

struct Bus {
    std::string bus;
    std::function<void(sim::SimBus&)> faults;
    int mode = kCmdCheckTo256;
};

Outcome Search(const Bus& r, const QuickSearchOptions* quick) {
    TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    std::string error;
    EXPECT_TRUE(sim::ParseBusText(r.bus, &bus, &error)) << error;
    if (r.faults) r.faults(bus);
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    testing::SelectiveLoader loader;
    ProgramState state{clock, ui, loader, opener};
    StartProgram(state);
    EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
    SetSearchMode(state.options, r.mode);
    ui.Clear();
    Outcome o;
    const uint64_t start = clock.TickMs();
    o.found = quick ? QuickSearchConnectedProjectors(state, *quick) : SearchConnectedProjectors(state);
    o.elapsedMs = clock.TickMs() - start;
    o.events = ui.Events();
    for (const auto& b : ui.Boxes()) o.boxes.push_back(b.caption + "|" + b.text);
    for (int i = 0; i < state.projectors.connectedCount; ++i) o.records.push_back(state.projectors.records[static_cast<size_t>(i)]);
    o.generated = ReadBytes("addr.cfg");
    o.searchLimit = state.options.searchLimit;
    o.useAddressSet = state.options.useAddressSet;
    CloseConnection(state.link, kOwnerCommWindow);
    return o;
}

void ExpectSameRecords(const std::vector<ProjectorRecord>& a, const std::vector<ProjectorRecord>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(std::memcmp(&a[i], &b[i], sizeof a[i]), 0) << "record " << i << " (address " << int(a[i].address) << ")";
    }
}

struct SameCase {
    const char* label;
    Bus run;
    size_t expectFound;
};

class QuickMatchesOrdinary : public ::testing::TestWithParam<SameCase> {};

TEST_P(QuickMatchesOrdinary, SameTableFilesAndProgress) {
    const SameCase& c = GetParam();
    const QuickSearchOptions quick{true, kQuickDefaultMarginMs};
    const Outcome ordinary = Search(c.run, nullptr);
    const Outcome fast = Search(c.run, &quick);
    EXPECT_EQ(ordinary.records.size(), c.expectFound);
    ExpectSameRecords(fast.records, ordinary.records);
    EXPECT_EQ(fast.events, ordinary.events);
    EXPECT_EQ(fast.boxes, ordinary.boxes);
    EXPECT_EQ(fast.generated, ordinary.generated);
    EXPECT_EQ(fast.searchLimit, ordinary.searchLimit);
    EXPECT_EQ(fast.useAddressSet, ordinary.useAddressSet);
    EXPECT_EQ(fast.found, ordinary.found);
    EXPECT_LT(fast.elapsedMs, ordinary.elapsedMs);
}

INSTANTIATE_TEST_SUITE_P(
    Buses, QuickMatchesOrdinary,
    ::testing::Values(
        SameCase{"start_middle_end", {Projector(1, kOperating) + Projector(128, kOperating) + Projector(255, kOperating), {}}, 3},
        SameCase{"standby_and_unknown_letter", {Projector(3, kStandby) + Projector(9, kOperating, "7 X"), {}}, 2},
        SameCase{"late_answer",
                 {Projector(4, kOperating) + Projector(5, kOperating),
                  [](sim::SimBus& b) { b.SetFault(4, {sim::FaultKind::LateAnswer, 1500}); }},
                 2},
        SameCase{"stray_bytes_after_the_answer",
                 {Projector(6, kOperating) + Projector(7, kOperating),
                  [](sim::SimBus& b) { b.SetFault(6, {sim::FaultKind::GarbageAfter, 40}); }},
                 2},
        // A stray byte before the acknowledgement spoils the exchange: neither search counts
        // a projector whose answer cannot be trusted.
        SameCase{"junk_before_the_ack",
                 {Projector(6, kOperating) + Projector(7, kOperating),
                  [](sim::SimBus& b) { b.SetFault(6, {sim::FaultKind::GarbageBefore, 3}); }},
                 1},
        // Refused: probed like any other answer and reported not found by both.
        SameCase{"nacking_projector",
                 {Projector(8, kOperating) + Projector(10, kOperating),
                  [](sim::SimBus& b) { b.SetFault(8, {sim::FaultKind::Nack, 0}); }},
                 1},
        SameCase{"nobody_answers", {Projector(20, kOperating), {}, kCmdCheckTo16}, 0},
        // Nothing silent to save time on: an address that answered is not asked again.
        SameCase{"every_address_answers", {EveryAddress(16), {}, kCmdCheckTo16}, 16}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(QuickSearch, SilentAddressCostsOnlyTheShortTimeout) {
    const Bus silent{Projector(200, kOperating), {}, kCmdCheckTo16};
    const QuickSearchOptions quick{true, kQuickDefaultMarginMs};
    const uint32_t ack = QuickAckTimeoutMs(CommSettings{}, quick.marginMs);
    const Outcome ordinary = Search(silent, nullptr);
    const Outcome fast = Search(silent, &quick);
    // Both end with the progress box's 500 ms; a wait ends 1 ms past its time.
    const double ordinaryPer = (ordinary.elapsedMs - 501) / 16.0;
    const double quickPer = (fast.elapsedMs - 501) / 16.0;
    EXPECT_GE(ordinaryPer, 2700.0);
    EXPECT_LE(quickPer, ack + 1.0);
    EXPECT_GE(ordinaryPer - quickPer, 2600.0);
}

// A reply later than the short time-out is missed, and as the line carries replies one
// after another it delays the next projector's too: what the quick search reports must
// still be true. A margin that covers the delay finds them all.
TEST(QuickSearch, LateReplyNeedsTheMargin) {
    const Bus late{Projector(2, kOperating) + Projector(3, kOperating),
                   [](sim::SimBus& b) { b.SetFault(2, {sim::FaultKind::LateReply, 300}); }, kCmdCheckTo16};
    const QuickSearchOptions tight{true, kQuickDefaultMarginMs};
    const QuickSearchOptions wide{true, 400};
    const Outcome ordinary = Search(late, nullptr);
    const Outcome missed = Search(late, &tight);
    const Outcome found = Search(late, &wide);
    ASSERT_EQ(ordinary.records.size(), 2u);
    EXPECT_LT(missed.records.size(), 2u);
    for (const ProjectorRecord& r : missed.records) {
        EXPECT_EQ(std::memcmp(&r, &ordinary.records[r.address - 2u], sizeof r), 0) << int(r.address);
    }
    ExpectSameRecords(found.records, ordinary.records);
    EXPECT_EQ(found.events, ordinary.events);
    // The overrun margin is said; a margin that covers the delay says nothing.
    const std::string overrun = std::string(kQuickOverrunCaption) + "|" + QuickOverrunText(tight.marginMs);
    EXPECT_NE(std::find(missed.boxes.begin(), missed.boxes.end(), overrun), missed.boxes.end());
    EXPECT_TRUE(found.boxes.empty());
}

TEST(QuickSearch, AckTimeoutFollowsTheLine) {
    struct Case {
        const char* label;
        uint32_t baud;
        uint8_t parity, stopBits;
        uint32_t margin, expect;
    };
    const Case cases[] = {
        {"9600_8N1", 9600, 0, 0, 50, 61},    // 10 chars x 10 bits = 10.4 ms
        {"9600_8E2", 9600, 2, 2, 50, 63},    // 12 bits a char
        {"1200_8N1", 1200, 0, 0, 50, 134},   // 83.4 ms on the wire
        {"115200_no_margin", 115200, 0, 0, 0, 50},
        {"margin_capped", 9600, 0, 0, 100000, 11 + kQuickMaxMarginMs},
        {"baud_0_does_not_divide_by_zero", 0, 0, 0, 50, 100050},
    };
    for (const Case& c : cases) {
        CommSettings s;
        s.baudRate = c.baud;
        s.parity = c.parity;
        s.stopBits = c.stopBits;
        EXPECT_EQ(QuickAckTimeoutMs(s, c.margin), c.expect) << c.label;
    }
}

TEST(QuickSearch, OptionsFile) {
    struct Case {
        const char* label;
        const char* text;  // nullptr: no file
        bool ok, enabled;
        uint32_t margin;
    };
    const Case cases[] = {
        {"missing_file_is_off", nullptr, true, false, 50},
        {"on_with_margin", "quick-search = on\nmargin-ms = 120\n", true, true, 120},
        {"comments_and_blanks", "# quick\n\n  quick-search=on  \r\n", true, true, 50},
        {"unknown_key", "quick-search = on\nspeed = 3\n", false, false, 50},
        {"bad_switch", "quick-search = yes\n", false, false, 50},
        {"margin_too_large", "quick-search = on\nmargin-ms = 2001\n", false, false, 50},
        {"margin_not_a_number", "quick-search = on\nmargin-ms = -5\n", false, false, 50},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.text) testing::WriteBytes(kQuickSearchFileName, std::vector<uint8_t>(c.text, c.text + std::strlen(c.text)));
        QuickSearchOptions o{true, 7};
        EXPECT_EQ(LoadQuickSearchOptions(kQuickSearchFileName, &o), c.ok) << c.label;
        EXPECT_EQ(o.enabled, c.enabled) << c.label;
        EXPECT_EQ(o.marginMs, c.margin) << c.label;
    }
}

TEST(QuickSearch, ToggleKeepsTheMarginAndLeavesOptionsAlone) {
    TempDir dir;
    ASSERT_TRUE(SaveQuickSearchOptions(kQuickSearchFileName, {false, 80}, nullptr));
    bool saved = false;
    EXPECT_TRUE(ToggleQuickSearch(kQuickSearchFileName, &saved));
    EXPECT_TRUE(saved);
    QuickSearchOptions o;
    ASSERT_TRUE(LoadQuickSearchOptions(kQuickSearchFileName, &o));
    EXPECT_TRUE(o.enabled);
    EXPECT_EQ(o.marginMs, 80u);
    EXPECT_FALSE(ToggleQuickSearch(kQuickSearchFileName, &saved));
    EXPECT_FALSE(std::filesystem::exists("options.cfg"));
}

TEST(QuickSearch, CliSearchQuickPrintsWhatSearchPrints) {
    std::string ordinary, quick;
    for (auto* out : {&ordinary, &quick}) {
        testing::CliBench cli;
        std::vector<std::string> args = {"--device", "sim", "search"};
        if (out == &quick) args.push_back("--quick");
        const testing::CliRun r = cli.Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        *out = r.out;
    }
    EXPECT_NE(ordinary.find("Projector with address 3 found ..."), std::string::npos);
    EXPECT_EQ(quick, ordinary);
}

TEST(QuickSearch, CliRejectsBadArguments) {
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--margin", "x"}, {"--margin"}, {"--fast"}}) {
        testing::CliBench cli;
        std::vector<std::string> args = {"--device", "sim", "search", "--quick"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_NE(cli.Run(args).status, 0) << extra[0];
    }
}

}  // namespace
}  // namespace ombrix
