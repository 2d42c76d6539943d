#include "directaccess/Iris.h"

#include <algorithm>
#include <system_error>

#include "directaccess/DirectAccess.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

struct ActionInfo {
    uint8_t function;
    uint32_t t1, t2;
    const char* started;
    const char* failed;
};

ActionInfo Info(IrisAction a) {
    switch (a) {
        case IrisAction::TouchUp:
            return {5, 200, 300, ">> Touch Up", ">> Touch Up failed"};
        case IrisAction::Autoconvergence:
            return {3, 300, 500, ">> Autoconvergence of active source", ">> Autoconvergence of active source failed ..."};
        case IrisAction::Focus:
            break;
    }
    return {1, 300, 500, ">> Focusing Lens ...", ">> Focusing Lens failed ..."};
}

constexpr uint32_t kStartSettleMs = 1500;
constexpr uint32_t kPollMs = 400;
constexpr uint32_t kFailurePauseMs = 1000;
constexpr uint32_t kFinalPauseMs = 2000;
constexpr uint32_t kStopPollMs = 50;

}  // namespace

IrisControl::IrisControl(ProgramState& state, LineFn line) : state_(state), line_(std::move(line)) {
    state_.direct.irisBusy = false;
}

IrisControl::~IrisControl() { Stop(); }

void IrisControl::Line(int line, const std::string& text) {
    if (!stop_ && line_) line_(line, text);
}

void IrisControl::Wait(uint32_t ms, int generation) {
    Clock& clock = state_.link.clock;
    const uint64_t until = clock.TickMs() + ms + 1;
    while (!stop_ && (generation < 0 || generation == generation_) && clock.TickMs() < until) {
        clock.Nap(static_cast<uint32_t>(std::min<uint64_t>(until - clock.TickMs(), kStopPollMs)));
    }
}

bool IrisControl::Start(IrisAction action) {
    if (running_) return false;
    ++generation_;
    const ActionInfo info = Info(action);
    Link& link = state_.link;
    address_ = link.currentAddress;
    state_.direct.irisAddress = address_;
    state_.direct.irisBusy = true;
    abort_ = false;
    // One box for a start that fails: a silent projector fails every step after the first.
    bool reported = false;
    auto report = [&](int r) {
        if (r == 3 || reported) return;
        ReportCommError(state_.env, state_.link, r);
        reported = true;
    };

    uint8_t s = 0;
    int r = ReadIrisState(link, address_, &s);
    if (action != IrisAction::TouchUp) report(r);
    if (s != kIrisIdle) {
        if (s != kIrisOperational) {
            Line(1, ">> Turning the projector to operational mode");
            Wait(info.t1);
            report(IrisFunction(link, address_, 9, 0));
            Wait(info.t2);
        }
        Line(1, ">> Starting IRIS");
        report(IrisCommand(link, address_, 0));
        Wait(kStartSettleMs);
        r = ReadIrisState(link, address_, &s);
        report(r);
    }
    if (r != 3 || s != kIrisIdle) {
        Line(1, ">> Startup IRIS failed");
        Release();
        return false;
    }
    const int f = IrisCommand(link, address_, info.function);
    if (f != 3) {
        report(f);
        Line(1, info.failed);
        Release();
        return false;
    }
    Line(1, info.started);
    running_ = true;
    return true;
}

void IrisControl::Release() {
    running_ = false;
    abort_ = false;
    state_.direct.irisBusy = false;
}

void IrisControl::Exit() {
    const int r = IrisCommand(state_.link, state_.link.currentAddress, kIrisExit);
    if (r == 3) {
        Line(1, ">> Exit current IRIS command");
        abort_ = true;
        state_.direct.irisBusy = false;
        return;
    }
    Line(1, ">> Exiting current IRIS command failed ...");
    ReportCommError(state_.env, state_.link, r);
    // A projector that takes no exit is not followed any longer: the window is the user's again.
    running_ = false;
    abort_ = true;
    state_.direct.irisBusy = false;
}

bool IrisControl::StartWorker() {
    std::lock_guard<std::mutex> lock(threadMutex_);
    // The last worker is at most in its closing pause, which the new command cut short.
    if (worker_.joinable()) worker_.join();
    try {
        worker_ = std::thread([this] { RunWorker(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void IrisControl::RunWorker() {
    workerActive_ = true;
    failures_ = 0;
    const int generation = generation_;
    // Once a new command has started, the flags and lines are its own.
    auto own = [&] { return generation == generation_; };
    Link& link = state_.link;
    while (!stop_ && own()) {
        if (!running_ || abort_) break;
        Line(2, "busy ...");
        while (running_ && !abort_ && !stop_ && own()) {
            uint8_t s = 0;
            if (ReadIrisState(link, address_, &s) != 3) {
                if (++failures_ == kIrisQueryFailuresToQuit) {
                    Line(1, "Projector doesn't listen ...");
                    Line(2, "Exiting due to failure !");
                    running_ = false;
                }
                Wait(kFailurePauseMs, generation);
            } else if (s == kIrisExecuting) {
                Wait(kPollMs, generation);
            } else if (s == kIrisIdle || s == kIrisOperational) {
                // Released only after the exit went out, so a new start cannot cross it.
                IrisCommand(link, address_, kIrisExit);
                Line(1, s == kIrisIdle ? "Projector aborted current command ..."
                                       : "Projector finished executing command ... !");
                Line(2, "");
                running_ = false;
                state_.direct.irisBusy = false;
                Wait(kPollMs, generation);
            } else {
                abort_ = true;
                IrisCommand(link, address_, kIrisExit);
                Wait(kPollMs, generation);
            }
        }
    }
    if (own()) {
        if (abort_ && running_) {
            Line(1, "User aborted current command ...");
            Line(2, "");
        }
        running_ = false;
        abort_ = false;
        state_.direct.irisBusy = false;
    }
    if (!stop_) {
        Wait(kFinalPauseMs, generation);
        if (own()) {
            Line(1, "");
            Line(2, "");
        }
    }
    workerActive_ = false;
}

void IrisControl::Stop() {
    stop_ = true;
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (worker_.joinable()) worker_.join();
    Release();
}

bool IrisProjectorGone(ProgramState& state) {
    return state.direct.irisBusy && !FindConnectedRecord(state, state.direct.irisAddress);
}

std::string IrisEndedText(uint8_t address) {
    return "IRIS command ended: projector " + std::to_string(address) + " is no longer connected";
}

}  // namespace ombrix
