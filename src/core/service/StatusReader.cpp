#include "service/StatusReader.h"

#include <pthread.h>

#include <algorithm>

#include "link/Commands.h"
#include "service/ProjectorJson.h"

namespace ombrix {

bool StatusRounds::Interrupted(int result, bool* lineLost) {
    if (result == kDone) return false;
    if (link_.backgroundStop.load()) return true;
    if (LineLostShared(link_, true)) {
        *lineLost = true;
        return true;
    }
    return false;
}

std::optional<LiveReading> StatusRounds::ReadConnected(uint8_t address, bool identified, bool* lineLost) {
    LiveReading r;
    r.address = address;
    r.generation = generations_.Current(address);
    uint32_t valid = 0;
    int result = ReadStatus(link_, address, &r.flags, &valid, true);
    if (Interrupted(result, lineLost)) return std::nullopt;
    if (result != kDone) {
        const uint64_t until = link_.clock.TickMs() + kStatusRetryMs;
        while (!link_.backgroundStop.load() && link_.clock.TickMs() < until)
            link_.clock.Nap(static_cast<uint32_t>(std::min<uint64_t>(until - link_.clock.TickMs(), 100)));
        result = ReadStatus(link_, address, &r.flags, &valid, true);
        if (Interrupted(result, lineLost)) return std::nullopt;
    }
    if (result != kDone) {
        standbySeen_.erase(address);
        runtimeReadAt_.erase(address);
        return r;
    }
    r.answered = true;
    Awake(&r, identified);
    return r;
}

std::optional<LiveReading> StatusRounds::ProbeLost(uint8_t address, bool* lineLost) {
    LiveReading r;
    r.address = address;
    r.generation = generations_.Current(address);
    uint32_t valid = 0;
    const int result = ReadStatus(link_, address, &r.flags, &valid, true);
    if (result != kDone) {
        Interrupted(result, lineLost);
        return std::nullopt;
    }
    r.answered = true;
    standbySeen_.erase(address);
    Awake(&r, false);
    return r;
}

void StatusRounds::Awake(LiveReading* r, bool identified) {
    const uint8_t a = r->address;
    const uint64_t now = link_.clock.TickMs();
    const auto seen = standbySeen_.find(a);
    const bool wasAsleep = seen != standbySeen_.end() && seen->second;
    standbySeen_[a] = r->flags.standby != 0;
    if (r->flags.standby) return;
    if (!identified || wasAsleep) {
        KeptIdentity identity;
        std::optional<long> hours;
        if (ReadKeptIdentity(link_, a, true, &identity, &hours)) {
            r->identity = identity;
            r->runtimeHours = hours;
            runtimeReadAt_[a] = now;
        }
        return;
    }
    const auto at = runtimeReadAt_.find(a);
    if (at == runtimeReadAt_.end()) {
        // Read with its identity when it appeared.
        runtimeReadAt_[a] = now;
        return;
    }
    if (now - at->second < kRunningHoursRefreshMs) return;
    std::string text;
    if (ReadRuntime(link_, a, &text, true) == kDone) r->runtimeHours = RuntimeHours(text);
    at->second = now;
}

StatusReader::StatusReader(Link& link, const ProjectorGenerations& generations, Hooks hooks)
    : link_(link), rounds_(link, generations), hooks_(std::move(hooks)) {}

StatusReader::~StatusReader() { Stop(); }

void StatusReader::Start(uint32_t intervalMs) {
    intervalMs_ = intervalMs;
    link_.backgroundStop = false;
    thread_ = std::thread([this] { Loop(); });
}

void StatusReader::SetRoster(Roster roster) {
    std::lock_guard<std::mutex> lock(mutex_);
    roster_ = std::move(roster);
    changed_.notify_all();
}

void StatusReader::Pause(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = on;
        interrupted_ = !Reading();
    }
    changed_.notify_all();
}

void StatusReader::LineBack() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lineDown_ = false;
        kicked_ = true;
        interrupted_ = !Reading();
    }
    changed_.notify_all();
}

void StatusReader::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        interrupted_ = true;
    }
    link_.backgroundStop = true;
    link_.lock.Interrupt();
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool StatusReader::Reading() const { return !stopping_ && !paused_ && !lineDown_; }

void StatusReader::Loop() {
    pthread_setname_np(pthread_self(), "ombrix-reader");
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] {
                return stopping_ || (Reading() && (!roster_.connected.empty() || !roster_.lost.empty()));
            });
            if (stopping_) return;
        }
        // The interval first: whoever set the roster has just read the projectors.
        if (!WaitInterval()) continue;
        Roster roster;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            roster = roster_;
            kicked_ = false;
        }
        bool lineLost = false;
        const uint64_t start = link_.clock.TickMs();
        for (const auto& entry : roster.connected) {
            if (interrupted_ || lineLost) break;
            if (auto r = rounds_.ReadConnected(entry.address, entry.identified, &lineLost)) hooks_.deliver(*r);
        }
        for (uint8_t address : roster.lost) {
            if (interrupted_ || lineLost) break;
            if (auto r = rounds_.ProbeLost(address, &lineLost)) hooks_.deliver(*r);
        }
        if (lineLost) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lineDown_ = true;
                interrupted_ = true;
            }
            if (hooks_.lineLost) hooks_.lineLost();
            continue;
        }
        if (!interrupted_ && hooks_.roundDone) hooks_.roundDone(link_.clock.TickMs() - start);
    }
}

bool StatusReader::WaitInterval() {
    Clock& clock = link_.clock;
    const uint64_t until = clock.TickMs() + intervalMs_;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_ || !Reading()) return false;
        if (kicked_) return true;
        const uint64_t now = clock.TickMs();
        if (now >= until) return true;
        const int64_t realUs = clock.RealMicroseconds(until - now);
        if (realUs < 0) {
            lock.unlock();
            clock.Nap(static_cast<uint32_t>(std::min<uint64_t>(until - now, 50)));
            lock.lock();
            continue;
        }
        changed_.wait_for(lock, std::chrono::microseconds(realUs),
                          [&] { return stopping_ || kicked_ || !Reading(); });
    }
}

}  // namespace ombrix
