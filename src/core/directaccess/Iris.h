#pragma once
// The projector's automatic convergence functions: starting one (mode change, IRIS
// start, the function) and a worker that follows the state byte to the end.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/Program.h"

namespace ombrix {

enum class IrisAction { TouchUp, Autoconvergence, Focus };

constexpr uint8_t kIrisOperational = 0x00;
constexpr uint8_t kIrisIdle = 0x1C;
constexpr uint8_t kIrisExecuting = 0x1E;
constexpr uint8_t kIrisExit = 0xFF;
constexpr int kIrisQueryFailuresToQuit = 3;

class IrisControl {
public:
    // line: 1 the command's progress, 2 the worker's state. Called from the worker too.
    using LineFn = std::function<void(int line, const std::string& text)>;

    IrisControl(ProgramState& state, LineFn line);
    ~IrisControl();
    IrisControl(const IrisControl&) = delete;
    IrisControl& operator=(const IrisControl&) = delete;

    // On the caller's thread. True when the function runs and the worker is to follow it.
    // A start that fails reports its first failed exchange and leaves nothing busy.
    bool Start(IrisAction action);
    // Whether or not the projector takes it, the run is over for the window afterwards.
    void Exit();
    // Runs the worker on its own thread; false when it could not be started.
    bool StartWorker();
    // The worker's procedure, for a caller that runs it itself.
    void RunWorker();
    // Ends the worker without its final pause and waits for it; its lines stay silent and
    // nothing stays busy.
    void Stop();

    bool Running() const { return running_.load(); }
    bool Aborted() const { return abort_.load(); }
    bool WorkerActive() const { return workerActive_.load(); }

private:
    void Line(int line, const std::string& text);
    void Release();
    // Waits ms, or less once stop is asked for or (given a generation) a new command starts.
    void Wait(uint32_t ms, int generation = -1);

    ProgramState& state_;
    uint8_t address_ = 0;
    LineFn line_;
    std::atomic<bool> running_{false};
    std::atomic<bool> abort_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> workerActive_{false};
    int failures_ = 0;
    std::atomic<int> generation_{0};
    std::mutex threadMutex_;
    std::thread worker_;
};

// While a run is busy the tree says why it takes no clicks.
constexpr const char* kIrisBusyText = "An IRIS command is running: Exit ends it";
// The projector of a busy run is no longer connected (a background check lost it).
bool IrisProjectorGone(ProgramState& state);
std::string IrisEndedText(uint8_t address);

}  // namespace ombrix
