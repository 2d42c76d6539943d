#pragma once
// A service's rounds of status reads, on a thread of its own: each connected projector's
// status in turn, then one question to each lost address, then the interval. Identity
// is read only when a projector appears or leaves standby; the running hours every ten
// minutes while it operates. Every exchange takes the line as the background check does,
// after any command waiting for it. Each reading goes to the owner the moment it is
// taken; the owner applies it (LiveView::Apply), dropping it when a command to the same
// projector ended meanwhile.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/Link.h"
#include "service/LiveView.h"

namespace ombrix {

constexpr uint32_t kRunningHoursRefreshMs = 10 * 60 * 1000;
// A connected projector that does not answer is asked once more after this, as the
// window's check does, before it counts as lost.
constexpr uint32_t kStatusRetryMs = 2000;

// The reading steps, without a thread: what each projector needs asked is decided from
// what this reader saw of it before. Exchanges are called off by link.backgroundStop.
class StatusRounds {
public:
    StatusRounds(Link& link, const ProjectorGenerations& generations) : link_(link), generations_(generations) {}

    // A connected projector: its status (once more after kStatusRetryMs when it does not
    // answer), then its identity when it left standby or was never identified, else its
    // running hours when they are due. Nothing when called off, or when the line went
    // (*lineLost set).
    std::optional<LiveReading> ReadConnected(uint8_t address, bool identified, bool* lineLost);
    // A lost address: one status question; its identity when it answers awake. Nothing
    // when it stays silent.
    std::optional<LiveReading> ProbeLost(uint8_t address, bool* lineLost);

private:
    bool Interrupted(int result, bool* lineLost);
    void Awake(LiveReading* reading, bool identified);

    Link& link_;
    const ProjectorGenerations& generations_;
    std::map<uint8_t, bool> standbySeen_;
    std::map<uint8_t, uint64_t> runtimeReadAt_;
};

class StatusReader {
public:
    struct Roster {
        struct Entry {
            uint8_t address = 0;
            bool identified = false;
        };
        std::vector<Entry> connected;  // in table order
        std::vector<uint8_t> lost;
    };
    struct Hooks {
        std::function<void(const LiveReading&)> deliver;
        // The line went: the reader has stopped reading until LineBack().
        std::function<void()> lineLost;
        // A whole round has been read; how long it took, in clock milliseconds.
        std::function<void(uint64_t ms)> roundDone;
    };

    StatusReader(Link& link, const ProjectorGenerations& generations, Hooks hooks);
    ~StatusReader();
    StatusReader(const StatusReader&) = delete;
    StatusReader& operator=(const StatusReader&) = delete;

    void Start(uint32_t intervalMs);
    // From the owner, whenever a projector comes or goes.
    void SetRoster(Roster roster);
    // A search holds the line meanwhile: no reading is begun. Once it ends, the next
    // round comes after the interval (the search has just read every projector).
    void Pause(bool on);
    // The line is open again: a round begins at once.
    void LineBack();
    // Calls the current exchange off and ends the thread.
    void Stop();

private:
    void Loop();
    bool Reading() const;  // mutex_ held
    // False when reading stops meanwhile (paused, line down, stopping); true at the end
    // of the interval or when a round is asked for at once.
    bool WaitInterval();

    Link& link_;
    StatusRounds rounds_;
    Hooks hooks_;
    uint32_t intervalMs_ = 60000;
    std::mutex mutex_;
    std::condition_variable changed_;
    Roster roster_;
    bool paused_ = false;
    bool lineDown_ = false;
    bool kicked_ = false;
    bool stopping_ = false;
    std::atomic<bool> interrupted_{false};
    std::thread thread_;
};

}  // namespace ombrix
