#pragma once
// The program behind ombrix-server: the core's start-up and search, with a thread of its
// own playing the window's UI thread - it owns the program's tables and the live view,
// applies the status reader's readings and runs the clients' commands one at a time.
// Everything the outside sees of it goes through the event hub.
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Metrics.h"
#include "app/Program.h"
#include "platform/Dispatcher.h"
#include "platform/Ui.h"
#include "service/EventHub.h"
#include "service/LiveView.h"
#include "service/SeatHost.h"
#include "service/ServiceCommands.h"
#include "service/StatusReader.h"

namespace ombrix::server {

struct HostPorts {
    Clock* clock = nullptr;
    DeviceOpener* devices = nullptr;
    LibraryLoader* libraries = nullptr;
    // Log lines (one per event, box, line change), already prefixed by the host.
    std::ostream* log = nullptr;
};

struct HostOptions {
    std::string device;
    std::optional<long> baud;
    uint32_t checkIntervalMs = 0;  // 0: options.cfg's interval
    std::chrono::milliseconds lineWait = kLineWaitLimit;
    // How long a program at a seat may hold the line at once.
    uint32_t seatLeaseCapMs = kSeatLeaseCapMs;
    // Where descriptions are looked for after the work folder (block work needs them).
    std::vector<std::string> descriptionFolders;
};

// Boxes the core raises become log lines and "box" events; questions get the default No.
class LogUi final : public Ui {
public:
    explicit LogUi(std::function<void(const std::string&, const std::string&)> onBox) : onBox_(std::move(onBox)) {}
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon) override { onBox_(caption, text); }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        onBox_(caption, text);
        return false;
    }

private:
    std::function<void(const std::string&, const std::string&)> onBox_;
};

class ServiceHost {
public:
    ServiceHost(const HostPorts& ports, const HostOptions& options);
    ~ServiceHost();
    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;

    // On the calling thread, before anything serves: options.cfg, comm.cfg and the COM
    // mapping, the line; then the owner thread starts, idle. False with why when the
    // line cannot be had (a second holder gets the line's "busy" text).
    bool Open(std::string* why);
    // Queues a search on the owner thread, the start-up's or a client's: each projector is
    // published the moment it answers; once it ends, the ones it did not find are lost
    // and the rounds of status reads begin (again). False while one is running.
    bool Search();
    // Open, then Search.
    bool Start(std::string* why);
    // As the window's Exit: a search ends at its next address, the reads stop, queued
    // commands are refused, the line is closed and options.cfg saved. Idempotent.
    void Stop();

    bool Searching() const { return searching_.load(); }
    // Why no command can run now ("the search ... is running", "The line ... was lost."),
    // empty when one can.
    std::string Unavailable() const;

    EventHub& Hub() { return hub_; }
    // {"line", "up", "searching", "socket", "lease_cap_seconds", "seats": [...]}: who sits
    // at the line's seats and who holds it now.
    nlohmann::json LineJson() const;
    SeatCounts Seats() const;
    // Seats over the network as well (after Open); false with why.
    bool ListenForRemoteSeats(const std::string& host, int port, const std::string& token, std::string* why);
    const Metrics& GetMetrics() const { return metrics_; }

    // Runs work on the owner thread with the program's state (see CommandRunner).
    CommandRunner::Outcome Run(const std::function<void(ProgramState&)>& work);

    // {"groups": [{"name", "main", "members": [addresses], "connected": [addresses]}]}:
    // the main group "all" (every connected projector), then the user groups of
    // groups.json (read at start) with the members that are connected now.
    nlohmann::json Groups() const;
    bool GroupKnown(const std::string& name) const;
    // On the owner thread: the connected members of a group, in member order (the target
    // list every group feature takes).
    std::vector<uint8_t> GroupTargets(const ProgramState& state, const std::string& name) const;

    // On the owner thread: an action on targets, its "command" event and the fresh states;
    // LineDown with the line's text when the line is lost. members: a group's plan, skipped
    // members included (targets are the others).
    ActionOutcome Execute(ProgramState& state, const std::vector<uint8_t>& targets, const ActionRequest& request,
                          bool single, const std::vector<MemberOutcome>* members = nullptr);
    // On the owner thread: an action on every member of a group, as Execute does it; a
    // member it cannot reach (not connected, in standby) is listed as skipped.
    ActionOutcome ExecuteGroup(ProgramState& state, const std::string& name, const ActionRequest& request);
    // On the owner thread: serial, id and running hours read fresh; the state as JSON.
    nlohmann::json ReadDetails(ProgramState& state, uint8_t address, int* status);

private:
    void OwnerLoop();
    void RunSearch();
    void StartReader();
    void UpdateRoster();
    void ApplyReading(const LiveReading& reading);
    void OnLineLost();
    void LineBack();
    void OpenSeats();
    void PublishSeatChange(const SeatChange& change);
    void Publish(const std::vector<ServiceEvent>& events);
    void Log(const std::string& line);

    HostPorts ports_;
    HostOptions options_;
    std::mutex logMutex_;
    LogUi ui_;
    ProgramState state_;
    TaskQueue queue_;
    EventHub hub_;
    Metrics metrics_;
    CommandRunner runner_;
    std::thread owner_;
    std::atomic<bool> stopRequested_{false};
    // From Open until the first search has ended, and while any other runs: the list is
    // not whole yet.
    std::atomic<bool> searching_{false};
    std::atomic<bool> searchQueued_{false};
    bool opened_ = false;
    std::string lineName_;  // set in Open, before anything serves
    bool stopped_ = false;
    mutable std::mutex lineMutex_;
    std::string lineLostText_;  // lineMutex_; empty while the line is up
    // Owner thread only.
    // The user groups as read at start; nothing changes them while serving.
    Grouping groups_;
    LiveView live_;
    std::unique_ptr<StatusReader> reader_;
    // Made in Open, before the owner thread; stopped first.
    std::unique_ptr<SeatHost> seats_;
    bool searchAgain_ = false;
};

}  // namespace ombrix::server
