#pragma once
// Snapshots on the line: a projector's blocks read as a backup reads them and kept in the
// history, the projector now compared with its latest complete snapshot (drift), and a
// snapshot's blocks brought back - after a snapshot of what is there, so every restore
// can be undone.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "blocks/BlockWork.h"
#include "history/BlockDiff.h"
#include "history/HistoryStore.h"

namespace ombrix {

// The open projector as a snapshot records it. Its serial number is read afresh ("?" when
// it does not answer) unless known says it already: the same type and identification
// number at the same address are the same projector.
ProjectorIdentity ReadProjectorIdentity(BlockWork& work, const ProjectorIdentity* known = nullptr);

// Every block of the open projector's list as a snapshot keeps it: blocks in use read as
// a backup reads them, free ones by their header; special blocks are left out. False
// when a block in use could not be read, with which in *detail (the blocks read are kept).
bool ReadBlockSide(BlockWork& work, BlockSide* out, std::string* detail);

struct SnapshotTaken {
    bool stored = false;  // listed in the history, complete or not
    int64_t id = 0;
    bool complete = false;
    bool repeated = false;  // counted again on the latest snapshot, which found the same
    int blocks = 0;         // in use
    std::string detail;     // why it is incomplete
    std::string failure;    // why nothing was stored
    // Against the projector's reference snapshot before it (by hand or by schedule,
    // complete); a snapshot before a restore or a write is not compared.
    int64_t previousId = 0;
    BlockDiff changes;
};
// On an open BlockWork.
SnapshotTaken TakeSnapshot(BlockWork& work, HistoryStore& store, SnapshotReason reason, const std::string& note,
                           int64_t nowMs);

// The open projector now against its reference: its latest complete snapshot taken by
// hand, by a schedule or after a restore. compared false with the reason in failure when
// there is none or the projector cannot be read whole.
struct DriftCheck {
    bool compared = false;
    SnapshotInfo reference;
    BlockDiff diff;
    std::string failure;
};
DriftCheck CheckDrift(BlockWork& work, HistoryStore& store);

// The description of a side's type, quietly (no box when there is none); false without.
bool LoadSideDescription(const ProgramState& state, const ProjectorIdentity& projector, Description* out);

struct SnapshotRestoreOutcome {
    BlockReport report;
    int64_t beforeId = 0;  // the snapshot of what was there
    SnapshotTaken before;
    // The snapshot of the restored settings, the projector's reference from then on.
    int64_t afterId = 0;
    SnapshotTaken after;
    // Turned away before anything was asked or written: another type, another projector,
    // a block the snapshot does not hold.
    bool refused = false;
};
// Brings the snapshot's blocks in use (or those with the given headers) back to the open
// projector: a block the projector holds under that header is overwritten, one it does
// not hold goes into a free block (all or none); each is read back. One question first
// unless the caller has had its confirmation (the state's Ui; No changes nothing), then
// the snapshot "before restore". Refused when the projector is of another type, or
// (unless addressGiven) is another projector than the snapshot's by its serial number.
SnapshotRestoreOutcome RestoreSnapshot(BlockWork& work, HistoryStore& store, const SnapshotRecord& snapshot,
                                       const std::vector<std::array<uint8_t, 4>>& only, bool addressGiven,
                                       int64_t nowMs, bool confirmed = false);

}  // namespace ombrix
