#pragma once
// The block work and the block history as the service gives them: a projector's block
// list, its backup as a settings file, a verification against one, snapshots with their
// events, the history, diffs and a restore. Functions that use the line run on the thread
// that owns the program's state; the history alone may be read from any thread.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Program.h"
#include "history/HistoryStore.h"
#include "history/Snapshots.h"
#include "service/EventHub.h"

namespace ombrix {

// What became of a request, as each shell tells it (the server as HTTP statuses, a
// schedule as done or failed): decided where it happened, never from a message's words.
enum class HistoryResult {
    Done,
    BadRequest,        // the request itself is wrong
    NotFound,          // no such snapshot (or group member)
    ProjectorFailed,   // the projector could not be read or written whole
    Refused,           // another projector or type than the snapshot's
    StoreUnavailable,  // the history cannot be read or written now
};

struct HistoryReply {
    HistoryResult result = HistoryResult::Done;
    nlohmann::json body = nlohmann::json::object();
};

// The server's store, checked whole once (at its start): false with why when it cannot be
// used; a refused file is moved aside and said in *said.
bool CheckHistoryStore(std::string* why, std::string* said);

// The most snapshots one page of the history listing holds, and how many it holds unless asked.
constexpr int kHistoryPageMax = 1000;
constexpr int kHistoryPageDefault = 200;

// The domain results below are what every shell builds its answer from: the server its
// JSON and statuses, ombrix-cli its lines, JSON and exit status. store is the caller's
// open history; hub, when given, gets the "snapshot taken" and "drift" events.

// Why a projector's blocks could not be had: work.Open's reason (may be empty), the last
// box shown meanwhile, and whether the projector is in standby.
struct ProjectorNotOpened {
    std::string why;
    std::string box;
    bool standby = false;
};

// The reason, else the box, else that the blocks cannot be read.
std::string NotOpenedText(const ProjectorNotOpened& notOpened);

// The service's history for the calling thread, opened on its first use (the file was
// checked whole at the start); null with why when it cannot be opened.
HistoryStore* ServiceHistoryStore(std::string* why);

// One projector of a snapshot request: passed over (opened false) or its snapshot taken.
struct SnapshotOutcome {
    uint8_t address = 0;
    bool opened = false;
    ProjectorNotOpened notOpened;
    SnapshotTaken taken;
};
// Each target in turn, each outcome given to each (when set) as soon as it is known.
std::vector<SnapshotOutcome> TakeSnapshots(ProgramState& state, HistoryStore& store, EventHub* hub,
                                           const std::vector<uint8_t>& targets, SnapshotReason reason,
                                           const std::string& note,
                                           const std::function<void(const SnapshotOutcome&)>& each = {});

// A diff's sides: a snapshot id, "live:ADDR" (the projector now), or - only when files
// are allowed - the path of a settings file, read for the other side's type.
struct DiffOutcome {
    enum class Stop {
        None,
        BadSide,          // a side that is none of these
        SnapshotMissing,  // detail: the store's words
        StoreFailed,      // the history could not be read; detail says why
        NotOpened,        // the live side's projector: notOpened says why
        NotRead,          // the live side could not be read whole; detail says which block
        FileRefused,      // detail: why the file is no settings file
        FileEmpty,        // the file holds no block of the other side's type
    };
    Stop stop = Stop::None;
    int stopSide = 0;  // 0 from, 1 to
    std::string detail;
    ProjectorNotOpened notOpened;
    BlockSide sides[2];          // labelled "snapshot ID", "projector ADDR now" or the path
    SnapshotInfo snapshots[2];   // of a snapshot side
    BlockDiff diff;
};
// lineReady, when set, is called before the first live side is read (false stops with
// Stop::NotOpened and nothing said).
DiffOutcome DiffSpecs(ProgramState& state, HistoryStore& store, const std::string& from, const std::string& to,
                      bool filesAllowed, const std::function<bool()>& lineReady = {});

// A snapshot's blocks brought back to a projector (the snapshot's, or address).
struct RestoreRequest {
    int64_t id = 0;
    std::vector<std::array<uint8_t, 4>> only;  // none: every block in use
    std::optional<uint8_t> address;
    // The caller has its confirmation: no question is asked. Otherwise the state's Ui asks.
    bool confirmed = false;
    // Called with the snapshot before the line is used; false stops (Stop::Stopped).
    std::function<bool(const SnapshotRecord&)> found;
};
struct RestoreOutcome {
    enum class Stop { None, SnapshotMissing, StoreFailed, Stopped, NotOpened };
    Stop stop = Stop::None;
    std::string detail;  // the store's words
    ProjectorNotOpened notOpened;
    uint8_t target = 0;
    SnapshotRestoreOutcome restored;
};
RestoreOutcome RestoreFromHistory(ProgramState& state, HistoryStore& store, EventHub* hub,
                                  const RestoreRequest& request);

// {"address", "blocks": [{"block", "header", "source", "type", "fh", "fv", "config",
// "active", "free", "special"}]}
HistoryReply ProjectorBlocksReply(ProgramState& state, uint8_t address);
// The projector's ordinary blocks in use as a settings file; Done with *file, else the
// reason in the body.
HistoryReply BackupReply(ProgramState& state, uint8_t address, std::vector<uint8_t>* file);
// {"identical", "blocks": [{"block", "text", "ok", "places"}]}; BadRequest for bytes that
// are not a settings file.
HistoryReply VerifyReply(ProgramState& state, uint8_t address, const std::string& fileBytes);

// Each target in turn: {"results": [{"address", "ok", "snapshot", ...}]}; Done when each
// was taken whole, else ProjectorFailed (a member in standby: "skipped": "standby"). Each snapshot kept is a "snapshot taken" event, and one that
// differs from the projector's reference snapshot before it a "drift" event too.
HistoryReply SnapshotReply(ProgramState& state, EventHub& hub, const std::vector<uint8_t>& targets,
                           SnapshotReason reason, const std::string& note);
// A body of {"note": "..."} or nothing; false with the reason.
bool ParseSnapshotBody(const std::string& body, std::string* note, std::string* why);

// Any thread: {"snapshots": [...], "next": ID} newest first, one projector's when given:
// at most limit of those older than beforeId (0: from the newest); "next", when more
// follow, is the beforeId of the next page.
HistoryReply HistoryListReply(std::optional<int> address, int limit = kHistoryPageDefault, int64_t beforeId = 0);
HistoryReply HistoryEntryReply(int64_t id);
// from and to: a snapshot id or "live:ADDR" (then on the owner's thread).
HistoryReply DiffReply(ProgramState& state, const std::string& from, const std::string& to);
// Body {"blocks": ["3f 02 21 36", ...] (none or empty: every block in use),
// "address": N (another projector of the type)}; the request is the confirmation. A
// snapshot of what is there is taken first ("snapshot taken" event), and one of the restored
// settings after it ("after"). Refused when the projector is another one or of another type.
HistoryReply RestoreReply(ProgramState& state, EventHub& hub, int64_t id, const std::string& body);

// "snapshot taken" and "drift" events of one snapshot, as every live feed gets them.
std::vector<ServiceEvent> SnapshotEvents(int address, SnapshotReason reason, const nlohmann::json& taken,
                                         const std::vector<std::string>& lines);

}  // namespace ombrix
