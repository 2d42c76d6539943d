#pragma once
// The block history of a work folder: history.sqlite, one reader and writer. Snapshots
// of each projector's blocks over time, each with when, which projector, why and a note.
// Identical block bodies are stored once, identical block lists once, and a snapshot
// that finds a projector as its latest snapshot left it (same reason and note) counts
// again on that snapshot instead of adding one, so a nightly snapshot of an unchanged site
// costs no new rows.
//
// Several programs may use one store at a time (WAL, a busy time-out); every write is one
// transaction. A file that is not a store of ours, or a damaged one, is refused with the
// reason and moved aside, never written over.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

class SqliteDb;

constexpr const char* kHistoryFileName = "history.sqlite";
constexpr int kHistorySchemaVersion = 1;
// "OMBX": a store of ours, whatever its version.
constexpr int32_t kHistoryApplicationId = 0x4F4D4258;
// How long a write waits for another program's write to finish.
constexpr int kHistoryBusyMs = 15000;
constexpr size_t kMaxSnapshotNote = 200;

// Restored: the settings a restore brought back, taken right after it; a reference like
// ByHand and Schedule.
enum class SnapshotReason { ByHand, Schedule, BeforeRestore, BeforeWrite, Restored };
// "manual", "schedule", "before-restore", "before-write", "restored": as stored and as the
// API gives it.
const char* ReasonKey(SnapshotReason reason);
// "by hand", "schedule", "before restore", "before a block write", "restored".
const char* ReasonText(SnapshotReason reason);
bool ParseReasonKey(const std::string& key, SnapshotReason* out);

// taking: begun, not (yet) finished - a program killed meanwhile leaves it so.
enum class SnapshotState { Taking, Complete, Incomplete };
const char* StateKey(SnapshotState state);  // "taking", "complete", "incomplete"

struct ProjectorIdentity {
    int address = 0;
    std::string serial;
    std::string model;
    int typeCode = -1;
    char letter = 0;
    std::string version;
    int64_t idNumber = -1;
    int blockLength = 0;
    int headerVariant = 0;
    bool operator==(const ProjectorIdentity&) const = default;
};

// One block of the projector's list as read: its place in the list (from 0), the four
// bytes the projector addresses it by and the long header's fifth byte, whether it is
// free, its name and signal type as the lists show them, and its body (empty when free).
struct HistoryBlock {
    int position = 0;
    std::array<uint8_t, 4> wire{};
    uint8_t extra = 0;
    bool free = false;
    std::string name;
    std::string type;
    std::vector<uint8_t> body;
    bool operator==(const HistoryBlock&) const = default;
};

struct SnapshotInfo {
    int64_t id = 0;
    ProjectorIdentity projector;
    int64_t firstMs = 0;  // milliseconds since the epoch
    int64_t lastMs = 0;   // the latest time it was found so
    int64_t times = 1;
    SnapshotReason reason = SnapshotReason::ByHand;
    std::string note;
    SnapshotState state = SnapshotState::Taking;
    std::string detail;  // why it is incomplete
    int blockCount = 0;  // blocks in use
};

struct SnapshotRecord {
    SnapshotInfo info;
    std::vector<HistoryBlock> blocks;
};

// How a snapshot was kept.
struct SnapshotSaved {
    int64_t id = 0;
    bool repeated = false;  // counted again on the latest snapshot, which found the same
};

class HistoryStore {
public:
    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens folder/history.sqlite, creating it (or bringing an older schema up to date).
    // A file that is not a store of ours, or is damaged, is moved aside (the new name in
    // *movedTo, a fresh store taking its place) with the reason in *refused. False with
    // *why when no store can be used (busy, a newer version's store, no permission, ...).
    // check false: the file was checked whole by this program already (the server checks
    // it once at its start, then opens it for each of its threads).
    bool Open(const std::string& folder, std::string* why, std::string* refused = nullptr,
              std::string* movedTo = nullptr, bool check = true);
    bool IsOpen() const;

    // A snapshot begun: listed as "taking" until Finish. 0 with *why on failure.
    int64_t Begin(const ProjectorIdentity& projector, SnapshotReason reason, const std::string& note, int64_t nowMs,
                  std::string* why);
    // The blocks read; complete when every block in use was read, else incomplete with
    // detail. A complete snapshot that finds what the projector's latest snapshot found
    // (same projector, reason, note and blocks) is counted on that one instead.
    bool Finish(int64_t id, const std::vector<HistoryBlock>& blocks, bool complete, const std::string& detail,
                SnapshotSaved* saved, std::string* why);

    // A begun snapshot that could not be finished: incomplete, with why.
    bool Abandon(int64_t id, const std::string& detail);

    // Newest first; one projector's (by address) when given. A page: at most limit (0: all)
    // of those older than beforeId (0: from the newest).
    bool List(std::optional<int> address, std::vector<SnapshotInfo>* out, std::string* why, int limit = 0,
              int64_t beforeId = 0);
    // False with "there is no snapshot N" and *missing when there is none.
    bool Get(int64_t id, SnapshotRecord* out, std::string* why, bool* missing = nullptr);
    // The latest complete snapshot of the projector at this address older than beforeId
    // (0: any) taken by hand or by a schedule - the ones taken before a restore or a write
    // keep what was left on purpose; *found false when there is none.
    bool LatestReference(int address, int64_t beforeId, SnapshotRecord* out, bool* found, std::string* why);
    // The projector as the latest snapshot at this address knew it; *found false when none.
    bool LatestProjector(int address, ProjectorIdentity* out, bool* found, std::string* why);
    // Snapshots last found before cutoffMs go, except each projector's latest snapshot and
    // its latest reference (see LatestReference); block lists and bodies no snapshot uses
    // go with them.
    bool Prune(int64_t cutoffMs, int* removed, int* kept, std::string* why);

    // Rows of a table, for the checks of what dedup keeps.
    int64_t CountRows(const std::string& table);

private:
    bool Ensure(std::string* reason, std::string* leave, bool check);
    bool ReadBlocks(int64_t setId, std::vector<HistoryBlock>* out, std::string* why);
    int64_t StoreBody(const std::vector<uint8_t>& body, std::string* why);
    int64_t StoreSet(const std::vector<HistoryBlock>& blocks, std::string* why);
    int64_t StoreProjector(const ProjectorIdentity& p, std::string* why);
    bool Fail(const std::string& what, int rc, std::string* why);

    std::unique_ptr<SqliteDb> db_;
    std::string path_;
};

// FNV-1a, 64 bits: the key under which bodies and block lists are looked up (a hit is
// compared in full, so a collision costs a row, never a wrong body).
uint64_t HistoryHash(const uint8_t* data, size_t size, uint64_t seed = 14695981039346656037ull);

}  // namespace ombrix
