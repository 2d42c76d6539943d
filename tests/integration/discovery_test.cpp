// The search and the background check against the simulator on the virtual clock: which
// addresses are probed in which order, what is asked of whom, what the files hold after.
#include <gtest/gtest.h>

#include <filesystem>

#include "discovery/AddressSets.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/GroupPlan.h"
#include "discovery/LineRules.h"
#include "discovery/Search.h"
#include "../support/Loaders.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// A program on the in-process bus: projectors at 1 (operating), 2 (standby), 3.
struct Program {
    explicit Program(const char* bus = testing::kThreeProjectors) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(bus, &this->bus, &error)) << error;
        StartProgram(state);
        EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
    }
    // Addresses of the requests with this command byte, in the order sent.
    std::vector<int> Requests(uint8_t command) const {
        std::vector<int> out;
        for (const auto& e : bus.Transcript()) {
            if (!e.fromHost || e.bytes.size() != 9) continue;
            const uint8_t offset = e.bytes[1];
            if (static_cast<uint8_t>(e.bytes[3] - offset) == command) out.push_back(static_cast<uint8_t>(e.bytes[2] - offset));
        }
        return out;
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> c;
        for (const auto& b : ui.Boxes()) c.push_back(b.caption);
        return c;
    }
    std::vector<int> Connected() const {
        std::vector<int> a;
        for (int i = 0; i < state.projectors.connectedCount; ++i) a.push_back(state.projectors.records[static_cast<size_t>(i)].address);
        return a;
    }

    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    testing::SelectiveLoader loader;
    ProgramState state{clock, ui, loader, opener};
};

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int a = first; a <= last; ++a) v.push_back(a);
    return v;
}

std::vector<uint8_t> Addresses(std::initializer_list<int32_t> a) { return AddressFileBytes(std::vector<int32_t>(a)); }

struct SearchCase {
    const char* label;
    std::function<void(ProgramOptions&)> mode;
    std::vector<uint8_t> userFile;       // written when not empty
    std::vector<uint8_t> generatedFile;  // written when not empty
    std::vector<int> probed;
    std::vector<std::string> boxes;
    std::vector<uint8_t> generatedAfter;  // expected addr.cfg
    int32_t searchLimitAfter;
    uint8_t useAddressSetAfter;
};

class Searches : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Searches, ProbesAndFiles) {
    const SearchCase& c = GetParam();
    TempDir dir;
    Program p;
    c.mode(p.state.options);
    if (!c.userFile.empty()) WriteBytes("user_addr.cfg", c.userFile);
    if (!c.generatedFile.empty()) WriteBytes("addr.cfg", c.generatedFile);
    p.bus.ClearTranscript();
    p.ui.Clear();
    const bool found = SearchConnectedProjectors(p.state);
    EXPECT_EQ(p.Requests('K'), c.probed);
    EXPECT_EQ(p.Captions(), c.boxes);
    EXPECT_EQ(ReadBytes("addr.cfg"), c.generatedAfter);
    EXPECT_EQ(p.state.options.searchLimit, c.searchLimitAfter);
    EXPECT_EQ(p.state.options.useAddressSet, c.useAddressSetAfter);
    EXPECT_EQ(p.state.projectors.connectedCount, c.searchLimitAfter);
    EXPECT_EQ(found, c.searchLimitAfter > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Discovery, Searches,
    ::testing::Values(
        SearchCase{"check_to_16", [](ProgramOptions& o) { SetSearchMode(o, kCmdCheckTo16); }, {}, {}, Range(1, 16), {},
                   Addresses({1, 2, 3}), 3, 1},
        SearchCase{"range_10_to_12",
                   [](ProgramOptions& o) {
                       o.rangeStart = 1, o.rangeEnd = 3;
                       SetSearchMode(o, kCmdCheckRange);
                   },
                   {}, {}, {1, 2, 3}, {}, Addresses({1, 2, 3}), 3, 1},
        SearchCase{"user_defined_set_in_file_order",
                   [](ProgramOptions& o) {
                       o.userAddressCount = 3;
                       SetSearchMode(o, kCmdUserDefinedSet);
                   },
                   Addresses({3, 9, 1}), {}, {3, 9, 1}, {}, Addresses({3, 1}), 2, 1},
        // The set is what the file holds; a count that went astray hides nothing.
        SearchCase{"user_set_is_its_whole_file",
                   [](ProgramOptions& o) {
                       o.userAddressCount = 1;
                       SetSearchMode(o, kCmdUserDefinedSet);
                   },
                   Addresses({2, 1}), {}, {2, 1}, {}, Addresses({2, 1}), 2, 1},
        SearchCase{"user_set_counted_0_is_still_searched",
                   [](ProgramOptions& o) {
                       o.userAddressCount = 0;
                       SetSearchMode(o, kCmdUserDefinedSet);
                   },
                   Addresses({3}), {}, {3}, {}, Addresses({3}), 1, 1},
        // Out-of-range entries are skipped and said; each address is probed once.
        SearchCase{"user_set_skips_what_is_no_address",
                   [](ProgramOptions& o) { SetSearchMode(o, kCmdUserDefinedSet); },
                   Addresses({257, 3, -1, 3, 1, 1000000}), {}, {3, 1}, {"Addresset"}, Addresses({3, 1}), 2, 1},
        // A generated set is searched whole, whatever searchLimit says, and left as it is.
        SearchCase{"generated_set_searched_whole_and_untouched",
                   [](ProgramOptions& o) {
                       o.searchLimit = 2;
                       SetSearchMode(o, kCmdGeneratedSet);
                   },
                   {}, Addresses({3, 7, 1}), {3, 7, 1}, {}, Addresses({3, 7, 1}), 2, 1},
        SearchCase{"generated_set_after_nothing_found",
                   [](ProgramOptions& o) {
                       o.searchLimit = 0;
                       SetSearchMode(o, kCmdGeneratedSet);
                   },
                   {}, Addresses({3}), {3}, {}, Addresses({3}), 1, 1},
        SearchCase{"user_set_missing_falls_back_to_15",
                   [](ProgramOptions& o) {
                       o.userAddressCount = 4;
                       o.rangeStart = 1;
                       SetSearchMode(o, kCmdUserDefinedSet);
                   },
                   {}, {}, Range(1, 15), {"Error  0"}, Addresses({1, 2, 3}), 3, 1},
        SearchCase{"generated_set_missing_falls_back_to_15",
                   [](ProgramOptions& o) {
                       o.searchLimit = 3;
                       o.rangeStart = 2;
                       SetSearchMode(o, kCmdGeneratedSet);
                   },
                   {}, {}, Range(2, 16), {"Error  2"}, Addresses({2, 3}), 2, 1},
        SearchCase{"empty_user_set_uses_defaults",
                   [](ProgramOptions& o) {
                       o.userAddressCount = 0;
                       SetSearchMode(o, kCmdUserDefinedSet);
                       WriteBytes("user_addr.cfg", {});
                   },
                   {}, {}, Range(0, 15), {"Error  45"}, Addresses({1, 2, 3}), 3, 1},
        SearchCase{"empty_range_uses_defaults",
                   [](ProgramOptions& o) {
                       o.rangeStart = 20, o.rangeEnd = 10;
                       SetSearchMode(o, kCmdCheckRange);
                   },
                   {}, {}, Range(0, 15), {"Error  45"}, Addresses({1, 2, 3}), 3, 1},
        SearchCase{"nobody_answers",
                   [](ProgramOptions& o) {
                       o.rangeStart = 100, o.rangeEnd = 101;
                       SetSearchMode(o, kCmdCheckRange);
                   },
                   {}, {}, {100, 101}, {}, Addresses({}), 0, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Search, ReplacesEveryRecordOfAnEarlierSearch) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    // Projector 1 goes: the new first record must not keep its identity.
    p.bus.Control("power 1 off", 0, nullptr);
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    EXPECT_EQ(p.Connected(), (std::vector<int>{2, 3}));
    const ProjectorRecord& standby = p.state.projectors.records[0];
    EXPECT_EQ(standby.projectorType, -1);
    EXPECT_EQ(standby.alphaId, 0);
    EXPECT_EQ(standby.idNumber, -1);
    EXPECT_EQ(standby.softwareVersion, 255);
}

TEST(Search, IdentityIsAskedOnlyOfProjectorsNotInStandby) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    EXPECT_EQ(p.Requests('L'), (std::vector<int>{1, 3}));
    EXPECT_EQ(p.Requests('I'), (std::vector<int>{1, 3}));
    EXPECT_EQ(p.state.projectors.records[0].projectorType, 5);
    EXPECT_EQ(p.state.projectors.records[2].idNumber, -2147483647);
}

TEST(Search, CtrlBreakKeepsWhatWasFound) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    p.ui.CancelAfter(2);  // stops before the third address
    p.bus.ClearTranscript();
    EXPECT_TRUE(SearchConnectedProjectors(p.state));
    EXPECT_EQ(p.Requests('K'), (std::vector<int>{1, 2}));
    EXPECT_EQ(p.Connected(), (std::vector<int>{1, 2}));
    EXPECT_EQ(ReadBytes("addr.cfg"), Addresses({1, 2}));
    EXPECT_EQ(p.state.options.searchLimit, 2);
    EXPECT_EQ(SearchModeText(p.state.options), "Use generated addressset");
}

TEST(Search, ProgressBoxLines) {
    TempDir dir;
    Program p;
    p.state.options.rangeStart = 2;
    p.state.options.rangeEnd = 4;
    SetSearchMode(p.state.options, kCmdCheckRange);
    SearchConnectedProjectors(p.state);
    const std::vector<std::string> expected = {
        "open Initializing connected projectors | Cancel or Ctrl+Break | 3",
        "line1 Initializing ...",
        "line1 Searching ...", "line2 Projector with address 2 found ...", "step",
        "line1 Searching ...", "line2 Projector with address 3 found ...", "step",
        "line1 Searching ...", "line2 Projector with address 4 not found ...", "step",
        "close"};
    EXPECT_EQ(p.ui.Events(), expected);
}

TEST(Search, UnknownLetterIsReportedAndKept) {
    TempDir dir;
    Program p("[projector]\naddress = 5\ntype = 9 Q\n");
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    EXPECT_EQ(p.Captions(), (std::vector<std::string>{"Error  49"}));
    EXPECT_EQ(p.state.projectors.records[0].alphaId, 'Q');
}

TEST(Search, NoGeneratedSetCanBeWrittenIsError2) {
    TempDir dir;
    std::filesystem::create_directory("gone");
    std::filesystem::current_path("gone");
    std::filesystem::remove(std::filesystem::path(dir.Path()) / "gone");  // the folder vanishes under us
    Program p;
    p.ui.Clear();
    p.bus.ClearTranscript();
    p.state.options.userAddressCount = 2;
    SetSearchMode(p.state.options, kCmdUserDefinedSet);
    EXPECT_FALSE(SearchConnectedProjectors(p.state));
    EXPECT_EQ(p.Captions(), (std::vector<std::string>{"Error  0", "Error  2"}));
    EXPECT_TRUE(p.Requests('K').empty());
    std::filesystem::current_path(dir.Path());
}

struct ModeCase {
    const char* label;
    int command;
    int32_t limit;
    uint8_t rangeEnd;
    uint8_t useSet;
    uint8_t userSet;
    const char* text;
};

class SearchModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SearchModes, OptionsTextAndCheckMark) {
    const ModeCase& c = GetParam();
    ProgramOptions o;
    o.rangeStart = 10;
    o.rangeEnd = 20;
    o.useAddressSet = 1;
    SetSearchMode(o, c.command);
    EXPECT_EQ(o.searchLimit, c.limit);
    EXPECT_EQ(o.rangeEnd, c.rangeEnd);
    EXPECT_EQ(o.useAddressSet, c.useSet);
    EXPECT_EQ(o.userDefinedSet, c.userSet);
    EXPECT_EQ(SearchModeText(o), c.text);
    EXPECT_EQ(CheckedSearchCommand(o), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Discovery, SearchModes,
    ::testing::Values(ModeCase{"to_16", kCmdCheckTo16, 16, 16, 0, 0, "Check to address 16"},
                      ModeCase{"to_128", kCmdCheckTo128, 128, 128, 0, 0, "Check to address 128"},
                      ModeCase{"to_256_stores_255", kCmdCheckTo256, 256, 255, 0, 0, "Check to address 256"},
                      ModeCase{"range_10_to_20_is_11", kCmdCheckRange, 11, 20, 0, 0, "Check within range"},
                      ModeCase{"user_set", kCmdUserDefinedSet, 16, 20, 1, 1, "Use userdefined addressset"},
                      ModeCase{"generated_set", kCmdGeneratedSet, 16, 20, 1, 0, "Use generated addressset"},
                      ModeCase{"skip", kCmdSkipSearch, 0, 20, 0, 0, "Skip Search"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AddressSetDialog, AddDeleteAndDuplicates) {
    TempDir dir;
    Program p;
    p.ui.Clear();
    AddressSetDialog d(p.state);
    d.Open();
    EXPECT_EQ(p.Captions(), (std::vector<std::string>{"Error  0"}));  // no file yet
    p.ui.Clear();
    d.Add(7);
    EXPECT_EQ(ReadBytes("user_addr.cfg"), Addresses({7}));
    d.Add(3);
    d.Add(7);
    EXPECT_EQ(p.Captions(), (std::vector<std::string>{"Warning  1"}));
    EXPECT_EQ(ReadBytes("user_addr.cfg"), Addresses({7, 3}));
    EXPECT_EQ(p.state.options.userAddressCount, 2);
    EXPECT_EQ(d.Shown(), (std::vector<int32_t>{7, 3}));
    d.Remove(7);
    d.Remove(99);  // not there: nothing happens
    EXPECT_EQ(ReadBytes("user_addr.cfg"), Addresses({3}));
    d.Remove(3);
    EXPECT_TRUE(std::filesystem::exists("user_addr.cfg"));
    EXPECT_EQ(ReadBytes("user_addr.cfg").size(), 0u);
    EXPECT_EQ(p.state.options.userAddressCount, 0);
}

TEST(AddressSetDialog, GeneratedViewShowsTheWholeFileAndIsReadOnly) {
    TempDir dir;
    Program p;
    WriteBytes("addr.cfg", Addresses({4, 8, 15, 16}));
    p.state.options.searchLimit = 3;
    AddressSetDialog d(p.state);
    d.Open();
    d.ShowGenerated();
    EXPECT_EQ(d.Shown(), (std::vector<int32_t>{4, 8, 15, 16}));
    EXPECT_FALSE(d.EditingEnabled());
    d.Add(9);
    EXPECT_FALSE(std::filesystem::exists("user_addr.cfg"));
}

TEST(AddressSetDialog, ShowsAndEditsWhatTheFileHoldsWhateverTheCount) {
    TempDir dir;
    Program p;
    WriteBytes("user_addr.cfg", Addresses({5}));
    p.state.options.userAddressCount = 4;
    AddressSetDialog d(p.state);
    d.Open();
    EXPECT_EQ(d.Shown(), (std::vector<int32_t>{5}));
    d.Add(6);
    EXPECT_EQ(ReadBytes("user_addr.cfg"), Addresses({5, 6}));
    EXPECT_EQ(p.state.options.userAddressCount, 2);
    // A count of 0 (left by a search on the default addresses) loses nothing on Add.
    p.state.options.userAddressCount = 0;
    AddressSetDialog again(p.state);
    again.Open();
    EXPECT_EQ(again.Shown(), (std::vector<int32_t>{5, 6}));
    again.Add(7);
    EXPECT_EQ(ReadBytes("user_addr.cfg"), Addresses({5, 6, 7}));
}

struct FieldCase {
    const char* label;
    const char* start;
    const char* end;
    bool ok;
    const char* message;  // why it is refused
};

class RangeFields : public ::testing::TestWithParam<FieldCase> {};

// OK with a range that is none keeps the dialog open, says why and stores nothing;
// Cancel stores only a valid range, silently.
TEST_P(RangeFields, OkAndCancel) {
    const FieldCase& c = GetParam();
    TempDir dir;
    Program p;
    p.state.options.rangeStart = 2, p.state.options.rangeEnd = 9;
    AddressSetDialog d(p.state);
    p.ui.Clear();
    EXPECT_EQ(d.Close(c.start, c.end, true), c.ok);
    const std::vector<RecordedBox> boxes = p.ui.Boxes();
    if (c.ok) {
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(p.state.options.rangeStart, std::stoi(c.start));
        EXPECT_EQ(p.state.options.rangeEnd, std::stoi(c.end));
        return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_EQ(p.state.options.rangeStart, 2);
    EXPECT_EQ(p.state.options.rangeEnd, 9);
    p.ui.Clear();
    EXPECT_TRUE(d.Close(c.start, c.end, false));
    EXPECT_TRUE(p.ui.Boxes().empty());
    EXPECT_EQ(p.state.options.rangeEnd, 9);
}

INSTANTIATE_TEST_SUITE_P(
    Discovery, RangeFields,
    ::testing::Values(FieldCase{"plain", "10", "12", true, ""}, FieldCase{"whole_range", "1", "255", true, ""},
                      FieldCase{"one_address", "7", "7", true, ""},
                      FieldCase{"end_past_255", "1", "300", false,
                                "The end address must be a number from 1 to 255, not \"300\"."},
                      FieldCase{"letters", "12a", "20", false,
                                "The start address must be a number from 1 to 255, not \"12a\"."},
                      FieldCase{"zero", "0", "20", false,
                                "The start address must be a number from 1 to 255, not \"0\"."},
                      FieldCase{"empty_end", "5", "", false,
                                "The end address must be a number from 1 to 255, not \"\"."},
                      FieldCase{"reversed", "20", "10", false, "The end address 10 lies below the start address 20."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AddressSetDialog, StartAndEndButtonsStoreAtOnce) {
    TempDir dir;
    Program p;
    AddressSetDialog d(p.state);
    d.SetStart(42);
    EXPECT_EQ(p.state.options.rangeStart, 42);
    d.SetEnd(200);
    EXPECT_EQ(p.state.options.rangeEnd, 200);
}

// The check pass on one thread: the silent projector is asked twice, 2000 ms apart,
// and then dropped; the one behind it moves up.
TEST(CheckPass, RemovesASilentProjectorAfterOneRetry) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    p.bus.Control("power 1 off", 0, nullptr);
    p.bus.ClearTranscript();
    std::atomic<bool> stop{false};
    const std::vector<ProjectorRecord> snapshot(p.state.projectors.records.begin(), p.state.projectors.records.begin() + 3);
    const auto findings = RunCheckPass(p.state.link, p.state.env, snapshot, false, stop);
    EXPECT_EQ(p.Requests('K'), (std::vector<int>{1, 1, 2, 3}));
    std::vector<uint64_t> times;
    for (const auto& e : p.bus.Transcript()) {
        if (e.fromHost) times.push_back(e.time);
    }
    ASSERT_GE(times.size(), 2u);
    // The first status fails after 2000 ms plus its own 400 + 300 ms of waits; the retry
    // comes 2000 ms after that.
    EXPECT_EQ(times[1] - times[0], 2000u + 401u + 301u + 2001u);
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_FALSE(findings[0].answered);
    EXPECT_TRUE(findings[1].answered);

    const CheckApplied applied = ApplyCheckFindings(p.state, findings);
    EXPECT_EQ(p.Connected(), (std::vector<int>{2, 3}));
    EXPECT_EQ(p.state.options.searchLimit, 2);
    EXPECT_EQ(applied.removed, (std::vector<int>{1}));
    EXPECT_TRUE(applied.changed);
}

TEST(CheckPass, StateChangesAreFlaggedAndWakingProjectorsNoted) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(SearchConnectedProjectors(p.state));
    p.bus.Control("standby 1 on", 0, nullptr);
    p.bus.Control("standby 2 off", 0, nullptr);
    std::atomic<bool> stop{false};
    const std::vector<ProjectorRecord> snapshot(p.state.projectors.records.begin(), p.state.projectors.records.begin() + 3);
    const auto findings = RunCheckPass(p.state.link, p.state.env, snapshot, true, stop);
    const CheckApplied applied = ApplyCheckFindings(p.state, findings);
    EXPECT_EQ(applied.stateChanged, (std::vector<int>{1, 2}));
    EXPECT_EQ(applied.wokeUp, (std::vector<int>{2}));
    EXPECT_EQ(p.Connected(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(p.state.projectors.records[1].projectorType, 16);  // identified once awake
    bool containerFor16 = false;
    for (int k = 0; k < p.state.blocks.ramContainerCount; ++k) {
        containerFor16 = containerFor16 || p.state.blocks.ramContainers[static_cast<size_t>(k)].projectorType == 16;
    }
    EXPECT_TRUE(containerFor16);
    EXPECT_EQ(p.state.projectors.records[0].standby, 1);
}

struct IntervalCase {
    const char* label;
    int32_t id;
    uint32_t seconds;
};

class Intervals : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(Intervals, Seconds) { EXPECT_EQ(CheckIntervalSeconds(GetParam().id), GetParam().seconds); }

INSTANTIATE_TEST_SUITE_P(Discovery, Intervals,
                         ::testing::Values(IntervalCase{"ten_seconds", 61776, 10}, IntervalCase{"one_minute", 61778, 60},
                                           IntervalCase{"five_minutes", 61779, 300},
                                           IntervalCase{"fifteen_minutes", 61780, 900},
                                           IntervalCase{"thirty_minutes", 61781, 1800},
                                           IntervalCase{"one_hour", 61782, 3600},
                                           IntervalCase{"unknown", 12345, 60}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Evaluation, ItemsInOrder) {
    ProjectorRecord r;
    r.operating = 1;
    r.soundAvailable = 1;
    EXPECT_EQ(EvaluationItems(r),
              (std::vector<std::string>{"Projector is Operating", "Projector is not in pause", "Text is off",
                                        "Projector is not in PC_mode", "Sound is available"}));
    r = ProjectorRecord{};
    r.pause = 1, r.textOn = 1, r.pcMode = 1, r.iris = 1, r.orbit = 1;
    EXPECT_EQ(EvaluationItems(r),
              (std::vector<std::string>{"Projector is not operating", "Projector in Pause", "Text is on",
                                        "Projector is in PC-mode", "Orbit is installed", "IRIS is installed"}));
}

TEST(Evaluation, TipLinesOfAPass) {
    VirtualClock clock;
    RecordingUi ui;
    Env env;
    env.clock = &clock;
    env.ui = &ui;
    ProjectorRecord standby;
    standby.address = 7;
    standby.standby = 1;
    ProjectorRecord operating;
    operating.address = 1;
    operating.operating = 1;
    std::atomic<bool> stop{false};
    const uint64_t t0 = clock.TickMs();
    RunEvaluationPass({standby, operating}, true, env, stop);
    const std::vector<std::string> expected = {
        "tip1 Evaluating Projector with address  7", "tip2 Status :", "tip3 ",
        "tip3 Projector in standby, evaluation aborted", "tip1 Waiting ...", "tip2 ", "tip3 ",
        "tip1 Evaluating Projector with address  1", "tip2 Status :", "tip3 ",
        "tip3 Projector is Operating", "tip3 Projector is not in pause", "tip3 Text is off",
        "tip3 Projector is not in PC_mode", "tip2 Available options :", "tip1 Waiting ...", "tip2 ", "tip3 "};
    EXPECT_EQ(ui.Events(), expected);
    EXPECT_EQ(clock.TickMs() - t0, 2000u + 4 * 1000u + 2000u + 1000u);
}

TEST(Evaluation, CountdownSteps) {
    VirtualClock clock;
    RecordingUi ui;
    Env env;
    env.clock = &clock;
    env.ui = &ui;
    std::atomic<bool> stop{false};
    RunCountdown(4000, env, stop);
    EXPECT_EQ(ui.Events(), (std::vector<std::string>{"countdown 4 0/4", "countdown 3 1/4", "countdown 2 2/4",
                                                     "countdown 1 3/4", "countdown 0 0/0"}));
}

// What a search concludes, the same in every program: only one that asked every address
// and heard nobody switches the search off; a line that failed meanwhile leaves the mode
// as it was, so the next start searches again.
TEST(SearchRule, WhatASearchConcludes) {
    struct Case {
        const char* label;
        int first, last;    // the range searched
        int dropBefore;     // the line goes before this address is asked (0: never)
        int abandonAt;      // the program ends before this address (0: never)
        bool skipMode;      // "Skip Search" before the search
        SearchVerdict verdict;
        size_t boxes;
        int32_t limitAfter;  // searchLimit after; kSame: as it was
    };
    constexpr int32_t kSame = -1;
    const Case cases[] = {
        {"found", 1, 3, 0, 0, false, SearchVerdict::Found, 0, 3},
        {"nobody_answers", 5, 6, 0, 0, false, SearchVerdict::NobodyThere, 1, 0},
        {"line_lost_before_any_answer", 5, 6, 5, 0, false, SearchVerdict::LineLost, 1, kSame},
        {"line_lost_after_one_found", 1, 3, 2, 0, false, SearchVerdict::LineLost, 1, kSame},
        {"abandoned", 5, 6, 0, 6, false, SearchVerdict::Abandoned, 0, kSame},
        {"skip_search_mode", 1, 3, 0, 0, true, SearchVerdict::Skipped, 0, kSame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        Program p;
        p.state.options.rangeStart = c.first;
        p.state.options.rangeEnd = c.last;
        SetSearchMode(p.state.options, c.skipMode ? kCmdSkipSearch : kCmdCheckRange);
        const int32_t limitBefore = p.state.options.searchLimit;
        p.bus.ClearTranscript();
        p.ui.Clear();
        int asking = 0;
        const SearchVerdict v = RunSearchRule(
            p.state,
            [&](int32_t address, ProjectorRecord* record) {
                if (address == c.dropBefore) p.bus.DropLine();
                return ProbeAddress(p.state.link, p.state.env, address, record, &p.state.statusFlags, false);
            },
            [&] { return ++asking + c.first - 1 == c.abandonAt; });
        EXPECT_EQ(v, c.verdict);
        EXPECT_EQ(p.ui.Boxes().size(), c.boxes) << ::testing::PrintToString(p.Captions());
        EXPECT_EQ(p.state.options.searchLimit, c.limitAfter == kSame ? limitBefore : c.limitAfter);
        if (c.skipMode) {
            EXPECT_TRUE(p.Requests('K').empty());
        }
    }
}

// Which members of a group a command reaches, asked on the line (1 operating, 2 in
// standby, 9 silent): only a command that needs them at work asks, and leaves out the
// silent and the sleeping; a stop leaves the rest unasked.
TEST(GroupPlanRule, WhoGetsTheCommand) {
    constexpr MemberSkip kNone = MemberSkip::None, kSilent = MemberSkip::NotConnected, kAsleep = MemberSkip::Standby;
    struct Case {
        const char* label;
        bool needsOperating;
        int stopAfter;  // members asked before the stop (-1: never)
        std::vector<MemberSkip> skipped;
        size_t asked;
    };
    const Case cases[] = {
        {"needs_operating", true, -1, {kNone, kAsleep, kSilent, kNone}, 4},
        {"question_or_wake_asks_nobody", false, -1, {kNone, kNone, kNone, kNone}, 0},
        {"stopped_after_two", true, 2, {kNone, kAsleep, kNone, kNone}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        Program p;
        p.bus.ClearTranscript();
        int asked = 0;
        const std::vector<MemberOutcome> plan =
            PlanGroupMembers(p.state.link, {1, 2, 9, 3}, c.needsOperating, [&] { return asked++ == c.stopAfter; });
        std::vector<MemberSkip> skipped;
        for (const MemberOutcome& m : plan) skipped.push_back(m.skipped);
        EXPECT_EQ(skipped, c.skipped);
        EXPECT_EQ(p.Requests('K').size(), c.asked);
        EXPECT_TRUE(p.ui.Boxes().empty());
    }
}

// A lost line is tried again every 3 s, quietly, until it answers.
TEST(ReopenRule, TriesEveryFewSecondsUntilTheLineIsBack) {
    constexpr uint64_t kNever = 0;
    struct Case {
        const char* label;
        uint64_t restoredAt;  // ms after the loss
        uint64_t backAt;      // the try that has it back, kNever within 10 s
    };
    const Case cases[] = {
        {"back_before_the_first_try", 1000, 3000},
        // Each try waits for the line to settle before the next 3 s begin.
        {"back_between_tries", 4000, 3000 + kSettleAfterReopenMs + 3000},
        {"never_back", kNever, kNever},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        Program p;
        p.bus.DropLine();
        p.ui.Clear();
        TaskQueue queue(p.clock);
        const uint64_t t0 = p.clock.TickMs();
        uint64_t backAt = kNever;
        KeepReopening(queue, 2, p.state.env, p.state.link, kOwnerCommWindow, false,
                      [&] { backAt = p.clock.TickMs() - t0 - kSettleAfterReopenMs; });
        if (c.restoredAt != kNever) queue.StartTimer(3, static_cast<uint32_t>(c.restoredAt), [&] { p.bus.RestoreLine(); });
        queue.RunUntil(t0 + 10000, [&] { return backAt != kNever; });
        queue.KillTimer(2);
        if (c.backAt == kNever) {
            EXPECT_EQ(backAt, kNever);
        } else {
            EXPECT_GE(backAt, c.backAt);
            EXPECT_LT(backAt, c.backAt + 100);
        }
        EXPECT_TRUE(p.ui.Boxes().empty());
    }
}

}  // namespace
}  // namespace ombrix
