// The General window's panels: force toggles, input sources, force block and IRIS.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "DirectBench.h"
#include "../support/WireTiming.h"
#include "directaccess/Force.h"
#include "directaccess/Iris.h"
#include "directaccess/Sources.h"

namespace ombrix {
namespace {

using testing::DirectBench;
using testing::DirectBus;
using testing::Request;

struct ForceCase {
    const char* label;
    const char* status;
    int which;
    uint8_t desired;
    std::vector<uint8_t> keys;
};

class Force : public ::testing::TestWithParam<ForceCase> {};

TEST_P(Force, SendsTheKeyOnlyWhenTheStateDiffers) {
    const ForceCase& c = GetParam();
    DirectBench b({}, DirectBus(c.status));
    ApplyForce(b.state, c.which, c.desired, {});
    std::vector<uint8_t> keys;
    for (uint8_t cmd : b.Commands())
        if (cmd == kKeyPower || cmd == kKeyPause || cmd == kKeyText) keys.push_back(cmd);
    EXPECT_EQ(keys, c.keys);
    // Status before and after every key, and once more for the panel.
    EXPECT_EQ(b.SentOf('K').size(), c.keys.empty() ? 2u : 3u);
}

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, Force,
    ::testing::Values(ForceCase{"pause_on", "00 00 90 21", kForcePause, 1, {kKeyPause}},
                      ForceCase{"pause_already_on", "00 00 92 21", kForcePause, 1, {}},
                      ForceCase{"text_off_already", "00 00 90 21", kForceText, 0, {}},
                      ForceCase{"text_on", "00 00 90 21", kForceText, 1, {kKeyText}},
                      ForceCase{"power_to_standby", "00 00 90 21", kForcePower, 1, {kKeyPower}},
                      ForceCase{"already_operating", "00 00 90 21", kForcePower, 0, {}}),
    [](const auto& info) { return std::string(info.param.label); });

// After a force key the projector gets 400 ms to act on it before its status is asked
// again: from the key's acknowledgement to the next request, nothing else waits there.
TEST(Force, TheKeySettlesFor400MsBeforeTheStatusIsRead) {
    struct Case {
        const char* label;
        int which;
        uint8_t key;
    };
    const Case cases[] = {{"pause", kForcePause, kKeyPause}, {"text", kForceText, kKeyText}, {"power", kForcePower, kKeyPower}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DirectBench b({});
        ApplyForce(b.state, c.which, 1, {});
        const auto frames = testing::WireFrames(b.bus);
        const auto key = testing::FindRequest(frames, c.key);
        ASSERT_TRUE(key);
        ASSERT_LT(*key + 2, frames.size());
        const testing::WireFrame& ack = frames[*key + 1];
        const testing::WireFrame& next = frames[*key + 2];
        ASSERT_FALSE(ack.fromHost);
        ASSERT_TRUE(next.fromHost);
        EXPECT_EQ(next.command, 'K');
        EXPECT_GE(next.time - ack.time, 400u);
        EXPECT_LE(next.time - ack.time, 410u);
    }
}

TEST(Force, WakingAProjectorWaitsTenSecondsAndIdentifiesIt) {
    DirectBench b({}, DirectBus("00 00 81 00", "wake-up-ms = 6000\n"));
    ProjectorRecord& r = b.state.projectors.records[0];
    r.projectorType = -1;
    r.alphaId = 0;
    RefreshForceStatus(b.state);
    EXPECT_EQ(ForceStatusText(b.state.direct, kForcePower), "Off");
    std::vector<std::string> progress;
    ProgressHooks hooks;
    hooks.begin = [&](int range, const std::string& text) { progress.push_back(text + " " + std::to_string(range)); };
    hooks.step = [&] { progress.push_back("step"); };
    int changed = 0;
    hooks.projectorChanged = [&](uint8_t) { ++changed; };
    const uint64_t start = b.clock.TickMs();
    ToggleForce(b.state, kForcePower, hooks);
    EXPECT_GE(b.clock.TickMs() - start, 10400u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "Updating data projector [1] 10");
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "step"), 10);
    EXPECT_EQ(r.standby, 0);
    EXPECT_EQ(r.operating, 1);
    EXPECT_EQ(r.projectorType, 5);
    EXPECT_EQ(r.alphaId, 'V');
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(ForceStatusText(b.state.direct, kForcePower), "On");
    EXPECT_TRUE(b.Shown().empty());
}

TEST(Force, AnUnknownLetterIsReportedAndKept) {
    DirectBench b({}, DirectBus("00 00 81 00", "wake-up-ms = 1000\n"));
    b.bus.With(1, [](sim::SimProjector& p) { p.letter = 'X'; });
    b.state.projectors.records[0].projectorType = -1;
    ApplyForce(b.state, kForcePower, 0, {});
    EXPECT_EQ(b.state.projectors.records[0].alphaId, 'X');
    EXPECT_EQ(b.Shown(), std::vector<std::string>{"Error  49"});
}

TEST(Sources, DigitKeysOfAnInputSlot) {
    struct Case {
        int slot;
        std::vector<uint8_t> keys;
    };
    for (const Case& c : {Case{7, {0x17}}, Case{42, {0x14, 0x12}}, Case{10, {0x11, 0x10}}, Case{99, {0x19, 0x19}}}) {
        EXPECT_EQ(SourceDigitKeys(c.slot), c.keys) << c.slot;
    }
    DirectBench b({});
    SelectSource(b.state, 1, 42, {});
    std::vector<uint64_t> keyTimes;
    for (const auto& e : b.bus.Transcript()) {
        if (e.fromHost && e.bytes.size() == 9 && static_cast<uint8_t>(e.bytes[3] - e.bytes[1]) >= 0x10 &&
            static_cast<uint8_t>(e.bytes[3] - e.bytes[1]) <= 0x19)
            keyTimes.push_back(e.time);
    }
    ASSERT_EQ(keyTimes.size(), 2u);
    EXPECT_GE(keyTimes[1] - keyTimes[0], kDigitGapMs);
    int selected = 0;
    b.bus.With(1, [&](sim::SimProjector& p) { selected = p.selectedInput; });
    EXPECT_EQ(selected, 42);
}

ProgramState& WithSources(DirectBench& b, int count) {
    for (int i = 1; i <= count; ++i) EXPECT_TRUE(InsertSource(b.state, "S" + std::to_string(i), i));
    return b.state;
}

TEST(Sources, DeletingKeepsTheActiveSourcePointingAtTheSameEntry) {
    struct Case {
        const char* label;
        int active, deleted, activeAfter;
        const char* field;
    };
    for (const Case& c : {Case{"active_itself", 2, 2, -1, "Active Source"}, Case{"one_below", 2, 1, 1, "S3 [3]"},
                          Case{"one_above", 1, 2, 1, "S2 [2]"}}) {
        SCOPED_TRACE(c.label);
        DirectBench b({});
        ProgramState& s = WithSources(b, 4);
        MakeSourceActive(s, c.active);
        ASSERT_TRUE(DeleteSource(s, c.deleted));
        EXPECT_EQ(s.direct.activeSource, c.activeAfter);
        EXPECT_EQ(s.options.activeSource, c.activeAfter);
        EXPECT_EQ(SourceFieldText(s, kNoActiveSource), c.field);
        EXPECT_EQ(s.options.sources.size(), 3u);
    }
}

TEST(Sources, TheAddDialogOffersOnlyFreeSlots) {
    DirectBench b({});
    ProgramState& s = WithSources(b, 3);
    EXPECT_EQ(FreeInputSlots(s.options).front(), 4);
    EXPECT_FALSE(InsertSource(s, "Again", 2));
    EXPECT_EQ(b.Shown(), std::vector<std::string>{"Unable to add source"});

    DirectBench full({});
    ProgramState& f = WithSources(full, 99);
    EXPECT_TRUE(FreeInputSlots(f.options).empty());
    EXPECT_FALSE(InsertSource(f, "One more", 0));
    EXPECT_EQ(f.options.sources.size(), 99u);
    EXPECT_EQ(full.Shown(), std::vector<std::string>{"Unable to add source"});
}

TEST(Sources, NamesFitTheirFieldAndKeepTheSlot) {
    const std::string forty(40, 'x');
    const std::string name = ComposeSourceName(forty, 42);
    EXPECT_EQ(name.size(), kSourceNameSize - 1);
    EXPECT_EQ(name.substr(name.size() - 5), " [42]");
    DirectBench b({});
    ASSERT_TRUE(InsertSource(b.state, forty, 42));
    EXPECT_EQ(b.state.options.sources[0].Name(), name);
    EXPECT_FALSE(RenameSource(b.state, 0, ""));
    ASSERT_TRUE(RenameSource(b.state, 0, forty));
    EXPECT_EQ(b.state.options.sources[0].Name(), std::string(39, 'x'));
}

TEST(ForceBlock, SendsNumberAndTypeCode) {
    DirectBench b({});
    b.state.direct.sourceTypeIndex = 3;
    b.state.direct.sourceNumberIndex = 11;
    SendForceBlock(b.state);
    EXPECT_EQ(b.Sent(), (std::vector<Request>{{'t', {12, 0xB0, 0, 0}}}));
    EXPECT_EQ(SourceTypeText(3), "RGsB");
    EXPECT_TRUE(b.Shown().empty());
}

// IRIS against projector 1, the worker run on the test's thread.
struct IrisRun {
    explicit IrisRun(DirectBench& b) : bench(b), iris(b.state, [this](int line, const std::string& text) {
        lines.push_back(std::to_string(line) + ":" + text);
        if (onLine) onLine(line, text);
    }) {}
    std::vector<Request> Iris() const {
        std::vector<Request> out;
        for (const Request& r : bench.Sent())
            if (r.command == 'b' || r.command == 'Q') out.push_back(r);
        return out;
    }
    bool Saw(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    DirectBench& bench;
    std::vector<std::string> lines;
    std::function<void(int, const std::string&)> onLine;
    IrisControl iris;
};

struct IrisStartCase {
    const char* label;
    uint8_t state;
    std::vector<Request> sent;
};

class IrisStart : public ::testing::TestWithParam<IrisStartCase> {};

TEST_P(IrisStart, ReachesIdleThenRunsTheFunctionToItsEnd) {
    const IrisStartCase& c = GetParam();
    DirectBench b({});
    b.bus.With(1, [&](sim::SimProjector& p) { p.irisState = c.state; });
    IrisRun run(b);
    ASSERT_TRUE(run.iris.Start(IrisAction::Autoconvergence));
    EXPECT_TRUE(b.state.direct.irisBusy);
    EXPECT_EQ(run.Iris(), c.sent);
    run.iris.RunWorker();
    EXPECT_TRUE(run.Saw("1:>> Autoconvergence of active source"));
    EXPECT_TRUE(run.Saw("2:busy ..."));
    EXPECT_TRUE(run.Saw("1:Projector finished executing command ... !"));
    EXPECT_EQ(run.lines.back(), "2:");
    EXPECT_FALSE(b.state.direct.irisBusy);
    EXPECT_FALSE(run.iris.Running());
}

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, IrisStart,
    ::testing::Values(IrisStartCase{"idle_skips_mode_change_and_start", 0x1C, {{'b', {3, 0, 0, 0}}}},
                      IrisStartCase{"operational_starts_iris", 0x00, {{'b', {0, 0, 0, 0}}, {'b', {3, 0, 0, 0}}}},
                      IrisStartCase{"other_state_turns_operational_first",
                                    0x05,
                                    {{'Q', {9, 0, 0, 0}}, {'b', {0, 0, 0, 0}}, {'b', {3, 0, 0, 0}}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Iris, ExitDuringARunEndsTheWorkerAsAborted) {
    DirectBench b({});
    IrisRun run(b);
    ASSERT_TRUE(run.iris.Start(IrisAction::Focus));
    run.onLine = [&](int line, const std::string& text) {
        if (line == 2 && text == "busy ...") run.iris.Exit();
    };
    run.iris.RunWorker();
    EXPECT_TRUE(run.Saw("1:>> Exit current IRIS command"));
    EXPECT_TRUE(run.Saw("1:User aborted current command ..."));
    EXPECT_FALSE(b.state.direct.irisBusy);
    uint8_t state = 0xAA;
    b.bus.With(1, [&](sim::SimProjector& p) { state = p.irisState; });
    EXPECT_EQ(state, kIrisIdle);  // the projector stopped where it was
}

TEST(Iris, ThreeFailedQueriesEndTheWorker) {
    DirectBench b({});
    IrisRun run(b);
    ASSERT_TRUE(run.iris.Start(IrisAction::TouchUp));
    b.bus.SetFault(1, sim::Fault{sim::FaultKind::Silence, 0, 3, 0});
    run.iris.RunWorker();
    EXPECT_TRUE(run.Saw("1:Projector doesn't listen ..."));
    EXPECT_TRUE(run.Saw("2:Exiting due to failure !"));
    EXPECT_FALSE(b.state.direct.irisBusy);
    EXPECT_TRUE(b.Shown().empty());
}

size_t CommErrors(const DirectBench& b) {
    size_t n = 0;
    for (const RecordedBox& box : b.ui.Boxes()) n += box.caption == "Error in communication";
    return n;
}

// Every way a start can fail leaves nothing busy and says so once.
struct IrisFailureCase {
    const char* label;
    IrisAction action;
    uint8_t state;
    sim::Fault fault;
    const char* line;
};

class IrisStartFails : public ::testing::TestWithParam<IrisFailureCase> {};

TEST_P(IrisStartFails, ReportsOnceAndFreesTheWindow) {
    const IrisFailureCase& c = GetParam();
    DirectBench b({});
    b.bus.With(1, [&](sim::SimProjector& p) { p.irisState = c.state; });
    b.bus.SetFault(1, c.fault);
    IrisRun run(b);
    EXPECT_FALSE(run.iris.Start(c.action));
    EXPECT_FALSE(b.state.direct.irisBusy);
    EXPECT_FALSE(run.iris.Running());
    EXPECT_EQ(run.lines.back(), c.line);
    EXPECT_EQ(CommErrors(b), 1u);
    EXPECT_EQ(b.Shown().size(), 1u);
}

constexpr sim::Fault kSilent{sim::FaultKind::Silence, 0, -1, 0};
// The state query and the start command are answered, then nothing more.
constexpr sim::Fault kSilentAfterStart{sim::FaultKind::Silence, 0, -1, 2};
constexpr sim::Fault kFunctionRefused{sim::FaultKind::Nack, 0, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, IrisStartFails,
    ::testing::Values(
        IrisFailureCase{"silent_after_the_start_command", IrisAction::Autoconvergence, 0x00, kSilentAfterStart,
                        "1:>> Startup IRIS failed"},
        IrisFailureCase{"silent_from_the_first_query", IrisAction::Focus, 0x00, kSilent, "1:>> Startup IRIS failed"},
        // Touch up's first query goes unreported; the start command that follows does not.
        IrisFailureCase{"touch_up_silent", IrisAction::TouchUp, 0x00, kSilent, "1:>> Startup IRIS failed"},
        IrisFailureCase{"function_refused", IrisAction::Focus, kIrisIdle, kFunctionRefused,
                        "1:>> Focusing Lens failed ..."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Iris, AnExitThatFailsStillEndsTheRun) {
    DirectBench b({});
    IrisRun run(b);
    ASSERT_TRUE(run.iris.Start(IrisAction::Focus));
    run.onLine = [&](int line, const std::string& text) {
        if (line != 2 || text != "busy ...") return;
        b.bus.SetFault(1, kSilent);
        run.iris.Exit();
    };
    run.iris.RunWorker();
    EXPECT_TRUE(run.Saw("1:>> Exiting current IRIS command failed ..."));
    EXPECT_FALSE(run.Saw("1:User aborted current command ..."));
    EXPECT_FALSE(run.Saw("1:Projector doesn't listen ..."));
    EXPECT_FALSE(b.state.direct.irisBusy);
    EXPECT_EQ(CommErrors(b), 1u);
}

TEST(Iris, StoppingARunFreesTheWindowAndALostProjectorIsSeen) {
    DirectBench b({});
    IrisRun run(b);
    ASSERT_TRUE(run.iris.Start(IrisAction::Autoconvergence));
    EXPECT_FALSE(IrisProjectorGone(b.state));
    b.state.projectors.connectedCount = 0;  // as a background check that lost it leaves the table
    EXPECT_TRUE(IrisProjectorGone(b.state));
    run.iris.Stop();
    EXPECT_FALSE(b.state.direct.irisBusy);
    EXPECT_FALSE(IrisProjectorGone(b.state));
}

// A status read that fails is reported and changes nothing the panel or the strip shows.
struct StatusFailureCase {
    const char* label;
    sim::Fault fault;
    size_t boxes;
    std::vector<uint8_t> keys;
};

class ForceStatusFails : public ::testing::TestWithParam<StatusFailureCase> {};

TEST_P(ForceStatusFails, PauseToggleKeepsWhatWasShown) {
    const StatusFailureCase& c = GetParam();
    DirectBench b({});
    ASSERT_EQ(RefreshForceStatus(b.state), 3);
    const ProjectorRecord before = b.state.projectors.records[0];
    b.bus.SetFault(1, c.fault);
    ToggleForce(b.state, kForcePause, {});
    EXPECT_EQ(ForceStatusText(b.state.direct, kForcePause), "Off");
    EXPECT_EQ(b.state.projectors.records[0].pause, before.pause);
    EXPECT_EQ(b.state.projectors.records[0].operating, before.operating);
    EXPECT_EQ(CommErrors(b), c.boxes);
    std::vector<uint8_t> keys;
    for (uint8_t cmd : b.Commands())
        if (cmd == kKeyPause) keys.push_back(cmd);
    EXPECT_EQ(keys, c.keys);
}

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, ForceStatusFails,
    ::testing::Values(
        // The first read is skipped over as before; the panel's refresh says it failed.
        StatusFailureCase{"silent_projector", kSilent, 1, {}},
        // The key went out; the read after it and the panel's refresh both failed.
        StatusFailureCase{"silent_after_the_key", sim::Fault{sim::FaultKind::Silence, 0, -1, 2}, 2, {kKeyPause}}),
    [](const auto& info) { return std::string(info.param.label); });

class SourceStatusFails : public ::testing::TestWithParam<StatusFailureCase> {};

TEST_P(SourceStatusFails, TheActiveSourceStaysAsItWas) {
    const StatusFailureCase& c = GetParam();
    DirectBench b({});
    ProgramState& s = WithSources(b, 2);
    MakeSourceActive(s, 0);
    b.bus.SetFault(1, c.fault);
    EXPECT_FALSE(ChooseSource(s, 1, {}));
    EXPECT_EQ(s.direct.activeSource, 0);
    EXPECT_EQ(s.options.activeSource, 0);
    EXPECT_EQ(SourceFieldText(s, kNoActiveSource), "S1 [1]");
    EXPECT_EQ(CommErrors(b), c.boxes);
    std::vector<uint8_t> keys;
    for (uint8_t cmd : b.Commands())
        if (cmd >= 0x10 && cmd <= 0x19) keys.push_back(cmd);
    EXPECT_EQ(keys, c.keys);
}

INSTANTIATE_TEST_SUITE_P(
    DirectAccess, SourceStatusFails,
    ::testing::Values(StatusFailureCase{"silent_projector_gets_no_digits", kSilent, 1, {}},
                      StatusFailureCase{"silent_after_the_digit", sim::Fault{sim::FaultKind::Silence, 0, -1, 2}, 1,
                                        {0x12}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Sources, ChoosingASourceThatAnswersMakesItActive) {
    DirectBench b({});
    ProgramState& s = WithSources(b, 2);
    EXPECT_TRUE(ChooseSource(s, 1, {}));
    EXPECT_EQ(s.direct.activeSource, 1);
    EXPECT_EQ(s.options.activeSource, 1);
    EXPECT_TRUE(b.Shown().empty());
}

}  // namespace
}  // namespace ombrix
