#include "discovery/BackgroundCheck.h"

#include <algorithm>
#include <system_error>

#include "app/ProgramStrings.h"
#include "blocks/BlockList.h"
#include "discovery/Search.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

// Waits in short naps so a stop request is seen within a fraction of a second.
bool Pause(Clock& clock, uint32_t ms, const std::atomic<bool>& stop) {
    const uint64_t until = clock.TickMs() + ms;
    for (;;) {
        if (stop.load()) return false;
        const uint64_t now = clock.TickMs();
        if (now >= until) return true;
        clock.Nap(static_cast<uint32_t>(std::min<uint64_t>(until - now, 50)));
    }
}

void Tip(const Env& env, int line, const std::string& text) {
    if (env.ui) env.ui->TipLine(line, text);
}

bool SameState(const ProjectorRecord& a, const ProjectorRecord& b) {
    return a.standby == b.standby && a.pause == b.pause && a.operating == b.operating;
}

}  // namespace

uint32_t CheckIntervalSeconds(int32_t id) {
    switch (id) {
        case 61776: return 10;
        case 61777: return 30;
        case 61778: return 60;
        case 61779: return 300;
        case 61780: return 900;
        case 61781: return 1800;
        case 61782: return 3600;
        default: return 60;
    }
}

std::vector<CheckFinding> RunCheckPass(Link& link, const Env& env, const std::vector<ProjectorRecord>& snapshot,
                                       bool quiet, const std::atomic<bool>& stop, bool* lineLost) {
    std::vector<CheckFinding> findings;
    for (const ProjectorRecord& before : snapshot) {
        if (!Pause(link.clock, 400, stop)) break;
        CheckFinding f;
        f.address = before.address;
        f.record = before;
        StatusFlags flags;
        const ProbeOutcome p = ProbeAddress(link, env, before.address, &f.record, &flags, true);
        if (stop.load() && !p.answered) break;  // called off, not gone
        if (!p.answered && LineLost(link)) {
            if (lineLost) *lineLost = true;
            break;
        }
        f.answered = p.answered;
        if (p.answered) {
            f.stateChanged = !SameState(before, f.record);
            f.wokeUp = before.standby && !f.record.standby;
        }
        findings.push_back(f);
        if (!quiet) {
            Tip(env, 1, "Searching ...");
            Tip(env, 2, ProbeLine(before.address, p.answered ? " found" : " not found"));
        }
    }
    return findings;
}

CheckApplied ApplyCheckFindings(ProgramState& s, const std::vector<CheckFinding>& findings) {
    CheckApplied out;
    ProjectorTable& t = s.projectors;
    for (const CheckFinding& f : findings) {
        int index = -1;
        for (int i = 0; i < t.connectedCount; ++i) {
            if (t.records[static_cast<size_t>(i)].address == f.address) {
                index = i;
                break;
            }
        }
        if (index < 0) continue;  // already gone
        if (!f.answered) {
            out.removedRecords.push_back(t.records[static_cast<size_t>(index)]);
            std::move(t.records.begin() + index + 1, t.records.begin() + t.connectedCount, t.records.begin() + index);
            --t.connectedCount;
            if (s.options.searchLimit > 0) --s.options.searchLimit;
            out.removed.push_back(f.address);
            out.changed = true;
            continue;
        }
        t.records[static_cast<size_t>(index)] = f.record;
        if (f.stateChanged) {
            out.stateChanged.push_back(f.address);
            out.changed = true;
        }
        if (f.wokeUp) {
            // Identified now that it is awake: its blocks get a RAM container.
            EnsureRamContainer(s, nullptr, index);
            out.wokeUp.push_back(f.address);
        }
    }
    if (!out.removed.empty()) {
        // Records moved up: the current projector is the one at the current address.
        int current = -1;
        for (int i = 0; i < t.connectedCount; ++i) {
            if (t.records[static_cast<size_t>(i)].address == s.link.currentAddress) current = i;
        }
        t.currentProjectorIndex = current >= 0 ? current : std::clamp(t.currentProjectorIndex, 0, std::max(0, t.connectedCount - 1));
    }
    return out;
}

std::string LostProjectorsText(const std::vector<int>& removed) {
    if (removed.empty()) return {};
    std::string who = removed.size() == 1 ? "Projector " : "Projectors ";
    for (size_t i = 0; i < removed.size(); ++i) who += (i ? ", " : "") + std::to_string(removed[i]);
    return who + (removed.size() == 1 ? " no longer answers" : " no longer answer") +
           "; to find it again when it is back, search again: reopen the communication window (F2)";
}

std::vector<std::string> EvaluationItems(const ProjectorRecord& r) {
    struct Item {
        uint8_t ProjectorRecord::*flag;
        int setId;
        const char* clear;  // nullptr: no line when clear
        int clearId;
    };
    static const Item kItems[] = {
        {&ProjectorRecord::operating, 61751, "Projector is not operating", 0},
        {&ProjectorRecord::pause, 61752, "Projector is not in pause", 0},
        {&ProjectorRecord::textOn, 61754, nullptr, 61755},
        {&ProjectorRecord::pcMode, 61756, nullptr, 61757},
        {&ProjectorRecord::soundAvailable, 61758, nullptr, 0},
        {&ProjectorRecord::convergenceStripped, 61760, nullptr, 0},
        {&ProjectorRecord::magneticFocus, 61762, nullptr, 0},
        {&ProjectorRecord::orbit, 61764, nullptr, 0},
        {&ProjectorRecord::softEdge, 61766, nullptr, 0},
        {&ProjectorRecord::contrastModulation, 61768, nullptr, 0},
        {&ProjectorRecord::nsOnConvergence, 61770, nullptr, 0},
        {&ProjectorRecord::asic, 61772, nullptr, 0},
        {&ProjectorRecord::iris, 61774, nullptr, 0},
    };
    std::vector<std::string> out;
    for (const Item& item : kItems) {
        if (r.*item.flag) {
            out.push_back(ProgramString(item.setId));
        } else if (item.clear) {
            out.push_back(item.clear);
        } else if (item.clearId) {
            out.push_back(ProgramString(item.clearId));
        }
    }
    return out;
}

void RunEvaluationPass(const std::vector<ProjectorRecord>& snapshot, bool checkEnabled, const Env& env,
                       const std::atomic<bool>& stop) {
    Clock& clock = *env.clock;
    if (checkEnabled) {
        for (const ProjectorRecord& r : snapshot) {
            Tip(env, 1, "Evaluating Projector with address  " + std::to_string(r.address));
            Tip(env, 2, "Status :");
            Tip(env, 3, "");
            if (r.standby) {
                Tip(env, 3, "Projector in standby, evaluation aborted");
            } else {
                const std::vector<std::string> items = EvaluationItems(r);
                for (size_t i = 0; i < items.size(); ++i) {
                    Tip(env, 3, items[i]);
                    if (!Pause(clock, 1000, stop)) return;
                    // The four state lines always come first; options follow them.
                    if (i == 3) Tip(env, 2, "Available options :");
                }
            }
            Tip(env, 1, "Waiting ...");
            Tip(env, 2, "");
            Tip(env, 3, "");
            if (!Pause(clock, 2000, stop)) return;
        }
    }
    Pause(clock, 1000, stop);
}

void RunCountdown(uint32_t intervalMs, const Env& env, const std::atomic<bool>& stop) {
    Clock& clock = *env.clock;
    const int total = static_cast<int>(intervalMs / 1000);
    env.ui->TipCountdown(total, 0, total);
    int steps = 0;
    for (uint32_t elapsed = 0; elapsed + 1000 < intervalMs;) {
        if (!Pause(clock, 990, stop)) break;
        ++steps;
        elapsed += 1000;
        env.ui->TipCountdown(static_cast<int>((intervalMs - elapsed) / 1000), steps, total);
    }
    env.ui->TipCountdown(0, 0, 0);
}

BackgroundCheck::BackgroundCheck(ProgramState& state, Dispatcher& dispatcher, Hooks hooks)
    : state_(state), dispatcher_(dispatcher), hooks_(std::move(hooks)) {}

BackgroundCheck::~BackgroundCheck() {
    RequestCheckStop();
    if (checkThread_.joinable()) checkThread_.join();
    if (evaluationThread_.joinable()) evaluationThread_.join();
    state_.link.backgroundStop = false;
}

uint32_t BackgroundCheck::IntervalMs() const {
    return intervalOverrideMs_ ? intervalOverrideMs_ : CheckIntervalSeconds(state_.options.checkIntervalId) * 1000;
}

bool BackgroundCheck::Start() {
    const ProgramOptions& o = state_.options;
    if (!o.checkEnabled || SearchSkipped(o) || state_.projectors.connectedCount <= 0) return false;
    if (!o.checkQuiet) Tip(state_.env, 1, "Preparing background check ...");
    ArmCheckTimer();
    return true;
}

bool BackgroundCheck::ShowsTips() const {
    const ProgramOptions& o = state_.options;
    return o.checkEnabled && !o.checkQuiet && !SearchSkipped(o) && state_.projectors.connectedCount > 0;
}

uint32_t BackgroundCheck::ArmCheckTimer() {
    const uint32_t ms = IntervalMs();
    if (hooks_.armTimer) hooks_.armTimer(ms);
    return ms;
}

void BackgroundCheck::RequestCheckStop() {
    checkStop_ = true;
    evaluationStop_ = true;
    state_.link.backgroundStop = true;
    state_.link.lock.Interrupt();
}

void BackgroundCheck::JoinFinished() {
    // The previous cycle's workers have ended (or end at their next checkpoint).
    if (checkThread_.joinable()) checkThread_.join();
    if (evaluationThread_.joinable()) {
        evaluationStop_ = true;
        evaluationThread_.join();
    }
}

void BackgroundCheck::OnCheckTimer() {
    const ProgramOptions& o = state_.options;
    if (!o.checkEnabled || o.checkQuiet) return;
    JoinFinished();
    checkStop_ = false;
    evaluationStop_ = false;
    state_.link.backgroundStop = false;
    Tip(state_.env, 1, "Initializing ...");
    const std::vector<ProjectorRecord> snapshot(
        state_.projectors.records.begin(),
        state_.projectors.records.begin() + std::max(0, state_.projectors.connectedCount));
    const bool quiet = o.checkQuiet != 0;
    std::weak_ptr<int> alive = alive_;
    ++workersAlive_;
    try {
        checkThread_ = std::thread([this, snapshot, quiet, alive] {
            struct Done {
                std::atomic<int>& n;
                ~Done() { --n; }
            } done{workersAlive_};
            if (checkStop_.load()) return;
            checkRunning_ = true;
            if (!quiet) Tip(state_.env, 1, "Searching ...");
            bool lineLost = false;
            std::vector<CheckFinding> findings =
                RunCheckPass(state_.link, state_.env, snapshot, quiet, checkStop_, &lineLost);
            checkRunning_ = false;
            if (checkStop_.load()) return;
            dispatcher_.Post([this, alive, lineLost, findings = std::move(findings)] {
                if (alive.expired()) return;
                const CheckApplied applied = ApplyCheckFindings(state_, findings);
                if (hooks_.applied) hooks_.applied(applied);
                if (lineLost) {
                    OnLineLost();
                } else if (!checkStop_.load()) {
                    StartEvaluation();
                }
            });
        });
    } catch (const std::system_error&) {
        --workersAlive_;
        ShowError(state_.env, 22);
    }
}

// Said once, on the UI thread; the timer is not re-armed, so the check stays quiet until
// whoever reopens the line arms it again.
void BackgroundCheck::OnLineLost() {
    Tip(state_.env, 1, "");
    Tip(state_.env, 2, "");
    if (state_.env.ui && !state_.link.lossTold.exchange(true)) {
        state_.env.ui->ShowBox("Projector RS232", LineLostText(state_.link), BoxIcon::Exclamation);
    }
    if (hooks_.lineLost) hooks_.lineLost();
}

void BackgroundCheck::StartEvaluation() {
    if (checkThread_.joinable()) checkThread_.join();
    if (evaluationThread_.joinable()) evaluationThread_.join();
    const std::vector<ProjectorRecord> snapshot(
        state_.projectors.records.begin(),
        state_.projectors.records.begin() + std::max(0, state_.projectors.connectedCount));
    const bool enabled = state_.options.checkEnabled != 0;
    const uint32_t interval = IntervalMs();
    const bool evaluate = evaluate_;
    std::weak_ptr<int> alive = alive_;
    ++workersAlive_;
    try {
        evaluationThread_ = std::thread([this, snapshot, enabled, interval, evaluate, alive] {
            struct Done {
                std::atomic<int>& n;
                ~Done() { --n; }
            } done{workersAlive_};
            if (evaluationStop_.load()) return;
            evaluationRunning_ = true;
            if (evaluate) RunEvaluationPass(snapshot, enabled, state_.env, evaluationStop_);
            if (!evaluationStop_.load()) {
                dispatcher_.Post([this, alive] {
                    if (!alive.expired()) ArmCheckTimer();
                });
                if (evaluate) RunCountdown(interval, state_.env, evaluationStop_);
            }
            evaluationRunning_ = false;
        });
    } catch (const std::system_error&) {
        --workersAlive_;
        ShowError(state_.env, 22);
    }
}

}  // namespace ombrix
