#pragma once
// A service's own live view of each projector, beside the projector table: the last
// identity it read (kept through standby and loss), the running hours, whether the
// projector is lost, whether the line is up, and what was last published of it. A
// reading taken off the owning thread carries the projector's generation from when it
// began; a command bumps the generation when it ends, so a reading older than the
// command's result is dropped instead of overwriting it. Owned by the thread that owns
// the projector table; only the generations are read from other threads.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Program.h"
#include "service/EventHub.h"

namespace ombrix {

// What a projector said of itself when last asked while awake.
struct KeptIdentity {
    char letter = 0;
    int32_t type = -1;
    std::string version;  // as the projector gives it and ombrix-cli prints it: "3.05"
    int32_t idNumber = -1;
    std::string serial;
    // Read whole by ReadKeptIdentity, not only taken from a record (whose version is a
    // number and which has no serial): nothing more to ask until it leaves standby.
    bool complete = false;
    bool Known() const { return type >= 0; }
    bool operator==(const KeptIdentity&) const = default;
};

// Identity, id number and serial number, then the running hours, each read fresh. False
// when the identity itself did not come (the rest is then not asked).
bool ReadKeptIdentity(Link& link, uint8_t address, bool fromBackground, KeptIdentity* identity,
                      std::optional<long>* runtimeHours);
// The same after a search's probe has read the identity and id number into the record
// (version: the text it read): only the serial number and running hours are asked.
// False when the probe did not read the identity.
bool CompleteKeptIdentity(Link& link, const ProjectorRecord& record, const std::string& version,
                          KeptIdentity* identity, std::optional<long>* runtimeHours);

// One reading of one projector, taken by a thread that does not own the table.
struct LiveReading {
    uint8_t address = 0;
    uint32_t generation = 0;  // the projector's generation when the reading began
    bool answered = false;
    StatusFlags flags;
    std::optional<KeptIdentity> identity;  // read with it: it appeared or left standby
    std::optional<long> runtimeHours;
};

class ProjectorGenerations {
public:
    uint32_t Current(uint8_t address) const { return g_[address].load(); }
    void Bump(uint8_t address) { ++g_[address]; }
    void BumpAll() {
        for (auto& g : g_) ++g;
    }

private:
    std::array<std::atomic<uint32_t>, 256> g_{};
};

// The state word of every projector while the line is down.
constexpr const char* kUnknownStateText = "unknown";

class LiveView {
public:
    using GroupNames = std::function<std::vector<std::string>(int address)>;
    LiveView(const Env& env, GroupNames groups) : env_(env), groups_(std::move(groups)) {}

    ProjectorGenerations& Generations() { return generations_; }

    // The projector as the API, the events and MQTT give it: the record with its kept
    // identity when the record has none (standby), the running hours and serial, the
    // version as read, "standby" and "lost" flags; state "Lost" for a lost projector and
    // "unknown" for every projector while the line is down.
    nlohmann::json Json(const ProjectorRecord& record) const;

    // A projector that answered a search or a probe, with what was read of it then. A
    // record without identity (standby) takes the one kept for its address. The "found"
    // event.
    ServiceEvent Found(ProjectorRecord* record, const std::optional<KeptIdentity>& identity,
                       std::optional<long> runtimeHours);
    // A search has ended with this table: every projector known before that it did not
    // find is lost ("lost" events).
    std::vector<ServiceEvent> SearchEnded(const ProgramState& state);

    // On the owning thread: a reading applied to the table, with its events. Nothing
    // when it is older than a command to its projector (*dropped set), or is about an
    // address neither connected nor lost. A connected projector that did not answer is
    // taken out of the table and kept as lost; a lost one that answers goes back in.
    std::vector<ServiceEvent> Apply(ProgramState& state, const LiveReading& reading, bool* dropped = nullptr);

    // After a command or a fresh read changed the record: the record's identity is kept
    // when it has one, and "state change" (state, text, options, standby) or "details"
    // (identity, running hours) when what was last published differs. `extra` fields go
    // into each event.
    std::vector<ServiceEvent> Changed(const ProjectorRecord& record, const std::string& headKind = "",
                                      const nlohmann::json& extra = nlohmann::json::object());

    // "line lost" / "line back" and, while it is down, every projector "unknown".
    std::vector<ServiceEvent> LineChanged(bool up, const std::string& text, const ProgramState& state);
    bool LineUp() const { return lineUp_; }

    void SetRuntime(int address, long hours) { entries_[address].runtimeHours = hours; }
    void SetSerial(int address, const std::string& serial) { entries_[address].identity.serial = serial; }
    const KeptIdentity* Identity(int address) const;
    bool Lost(int address) const;
    std::vector<uint8_t> LostAddresses() const;

private:
    struct Entry {
        KeptIdentity identity;
        std::optional<long> runtimeHours;
        bool lost = false;
        ProjectorRecord last;   // as last known: what a lost projector is shown with
        nlohmann::json published;
    };
    // The event that makes `state` the published one, or none when nothing changed.
    std::optional<ServiceEvent> Publishing(int address, const nlohmann::json& state, const std::string& kind = "");
    void Keep(const ProjectorRecord& record);
    void FillIdentity(ProjectorRecord* record) const;

    const Env& env_;
    GroupNames groups_;
    ProjectorGenerations generations_;
    std::map<int, Entry> entries_;
    bool lineUp_ = true;
};

}  // namespace ombrix
