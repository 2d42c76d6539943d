#pragma once
// The simulator as an ordinary serial device, in the same process: what a test opens
// instead of a tty. Waiting for input moves the clock to the next reply, so on a
// virtual clock a 2000 ms time-out costs nothing.
#include <atomic>
#include <deque>
#include <memory>

#include "SimBus.h"
#include "platform/Clock.h"
#include "platform/SerialDevice.h"

namespace ombrix::sim {

class InProcessDevice final : public SerialDevice {
public:
    // quietUntil: where holders of this bus hand over the time a late reply may come.
    InProcessDevice(SimBus& bus, Clock& clock, std::atomic<uint64_t>* quietUntil = nullptr)
        : bus_(bus), clock_(clock), quietUntil_(quietUntil) {}
    bool HandOverQuiet(uint32_t quietMs) override {
        if (!quietUntil_) return false;
        *quietUntil_ = clock_.TickMs() + quietMs;
        return true;
    }
    uint32_t QuietLeft() override {
        const uint64_t now = clock_.TickMs();
        return quietUntil_ && *quietUntil_ > now ? static_cast<uint32_t>(*quietUntil_ - now) : 0;
    }
    bool Configure(const LineSettings& settings, SysError*) override {
        settings_ = settings;
        return true;
    }
    bool PutByte(uint8_t byte) override {
        bus_.Receive(byte, clock_.TickMs());
        return true;
    }
    int InputCount() override {
        Pull();
        return static_cast<int>(queue_.size());
    }
    bool LineDropped() override { return queue_.empty() && bus_.LineDropped(); }
    int GetByte() override {
        Pull();
        if (queue_.empty()) return -1;
        const int b = queue_.front();
        queue_.pop_front();
        return b;
    }
    void WaitInput(uint32_t maxMs) override {
        const uint64_t now = clock_.TickMs();
        uint64_t until = now + maxMs;
        if (auto next = bus_.NextDue()) until = std::min(until, std::max(*next, now));
        clock_.SleepUntil(until);
    }
    void Purge() override {
        Pull();
        queue_.clear();
    }
    void SetDtr(bool) override {}
    const LineSettings& Settings() const { return settings_; }

private:
    void Pull() {
        for (uint8_t b : bus_.TakeDue(clock_.TickMs())) queue_.push_back(b);
    }

    SimBus& bus_;
    Clock& clock_;
    std::atomic<uint64_t>* quietUntil_;
    std::deque<uint8_t> queue_;
    LineSettings settings_;
};

// Opens the in-process bus under any name; a name in `refuse` fails as a missing device.
class InProcessOpener final : public DeviceOpener {
public:
    InProcessOpener(SimBus& bus, Clock& clock) : bus_(bus), clock_(clock) {}
    std::unique_ptr<SerialDevice> Open(const std::string& path, SysError* error) override {
        lastPath = path;
        if (fail) {
            if (error) *error = MakeSysError(SysErrorCode::NotFound, path);
            return nullptr;
        }
        return std::make_unique<InProcessDevice>(bus_, clock_, &quietUntil);
    }
    std::atomic<bool> fail{false};  // may be switched while a worker reopens the line
    std::string lastPath;
    // What the last holder of the line handed over, as a tty's holders do.
    std::atomic<uint64_t> quietUntil{0};

private:
    SimBus& bus_;
    Clock& clock_;
};

}  // namespace ombrix::sim
