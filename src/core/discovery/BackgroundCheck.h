#pragma once
// The background connection check: at each tick of the check timer a worker probes the
// connected projectors, hands what it found to the UI thread, then a second worker
// shows each projector's state in the tip window and counts down to the next tick.
// Workers never touch the projector table or widgets; they talk through the Ui port
// and the Dispatcher.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Program.h"
#include "platform/Dispatcher.h"

namespace ombrix {

// Seconds between checks for a check-interval id; unknown ids give one minute.
uint32_t CheckIntervalSeconds(int32_t intervalId);

struct CheckFinding {
    int address = 0;
    bool answered = false;
    ProjectorRecord record;   // refilled when answered
    bool stateChanged = false;  // standby, pause or operating differ
    bool wokeUp = false;        // was in standby, answered out of it
};

// The check pass over the projectors connected when it starts; runs on a worker. When
// the line itself goes, the pass ends there and sets *lineLost: the projectors not yet
// probed are not taken for gone.
std::vector<CheckFinding> RunCheckPass(Link& link, const Env& env, const std::vector<ProjectorRecord>& snapshot,
                                       bool quiet, const std::atomic<bool>& stop, bool* lineLost = nullptr);

struct CheckApplied {
    bool changed = false;
    std::vector<int> removed;  // addresses no longer connected
    std::vector<ProjectorRecord> removedRecords;  // as they were
    std::vector<int> stateChanged;
    std::vector<int> wokeUp;   // out of standby: their types got a RAM container
};

// On the UI thread, in order: drops the projectors that did not answer (connectedCount
// and searchLimit follow), refreshes the ones that did, and gives a projector that came
// out of standby a RAM container for its type.
CheckApplied ApplyCheckFindings(ProgramState& state, const std::vector<CheckFinding>& findings);

// What the window says when the check dropped projectors: the check asks only those the
// search found, so one that comes back is found by a new search.
std::string LostProjectorsText(const std::vector<int>& removed);

// The evaluation texts of one projector, in the order the tip window shows them.
std::vector<std::string> EvaluationItems(const ProjectorRecord& record);
void RunEvaluationPass(const std::vector<ProjectorRecord>& snapshot, bool checkEnabled, const Env& env,
                       const std::atomic<bool>& stop);
void RunCountdown(uint32_t intervalMs, const Env& env, const std::atomic<bool>& stop);

class BackgroundCheck {
public:
    struct Hooks {
        // Arms (or re-arms) the window's check timer; its tick calls OnCheckTimer.
        std::function<void(uint32_t ms)> armTimer;
        // The window refreshes itself after a change.
        std::function<void(const CheckApplied&)> applied;
        // The line went away: the check has said so once and stopped; ArmCheckTimer
        // starts it again once the line is back.
        std::function<void()> lineLost;
    };

    BackgroundCheck(ProgramState& state, Dispatcher& dispatcher, Hooks hooks);
    ~BackgroundCheck();
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    // When the window opens: arms the timer if the check is enabled, the search was not
    // skipped and projectors are connected. False when no check will run.
    bool Start();
    // Whether the tip window is shown: the check runs and its tips are not suppressed.
    bool ShowsTips() const;
    uint32_t ArmCheckTimer();
    void OnCheckTimer();
    // Asks both workers to stop at their next checkpoint, countdown included.
    void RequestCheckStop();
    bool CheckRunning() const { return checkRunning_.load(); }
    bool EvaluationRunning() const { return evaluationRunning_.load(); }
    // True once both workers have returned; a shell that serves the workers' boxes on
    // its own thread pumps events until then instead of blocking in the destructor.
    bool WorkersDone() const { return workersAlive_.load() == 0; }
    // Overrides the interval of the options (command-line watch).
    void SetIntervalOverride(uint32_t ms) { intervalOverrideMs_ = ms; }
    // Skips the evaluation and countdown (command-line watch prints its own lines).
    void SetEvaluate(bool on) { evaluate_ = on; }
    uint32_t IntervalMs() const;

private:
    void StartEvaluation();
    void JoinFinished();
    void OnLineLost();

    ProgramState& state_;
    Dispatcher& dispatcher_;
    Hooks hooks_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::thread checkThread_;
    std::thread evaluationThread_;
    std::atomic<bool> checkStop_{false};
    std::atomic<bool> evaluationStop_{false};
    std::atomic<bool> checkRunning_{false};
    std::atomic<bool> evaluationRunning_{false};
    std::atomic<int> workersAlive_{0};
    uint32_t intervalOverrideMs_ = 0;
    bool evaluate_ = true;
};

}  // namespace ombrix
