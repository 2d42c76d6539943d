#include "history/HistoryPane.h"

#include "blocks/BlockWork.h"
#include "history/BlockDiff.h"
#include "history/HistoryJson.h"
#include "history/Snapshots.h"

namespace ombrix {
namespace {

HistoryOutcome Failed(const std::string& why) { return {false, false, {why}}; }

// The projector's blocks now; false with the reason.
bool LiveSide(BlockWork& work, uint8_t address, const ProjectorIdentity* known, BlockSide* side, std::string* why) {
    if (!work.Open(address, true, why)) {
        if (work.InStandby()) {
            *why = "projector " + std::to_string(address) + " is in standby";
        } else if (why->empty()) {
            *why = "the blocks of projector " + std::to_string(address) + " cannot be read";
        }
        return false;
    }
    side->projector = ReadProjectorIdentity(work, known);
    side->label = "projector " + std::to_string(address) + " now";
    std::string detail;
    if (ReadBlockSide(work, side, &detail)) return true;
    *why = "projector " + std::to_string(address) + " could not be read whole: " + detail;
    return false;
}

void AddDiff(const BlockDiff& diff, HistoryOutcome* out) {
    const std::vector<std::string> lines = DiffLines(diff);
    out->lines.insert(out->lines.end(), lines.begin(), lines.end());
    out->differ = !diff.Empty();
    if (diff.Empty()) out->lines.push_back("no differences");
}

}  // namespace

HistoryPane::HistoryPane(ProgramState& state, uint8_t address, std::string folder)
    : state_(state), address_(address), folder_(std::move(folder)) {}

bool HistoryPane::Ready(HistoryOutcome* out) {
    if (store_.IsOpen()) return true;
    std::string why, refused, movedTo;
    if (!store_.Open(folder_, &why, &refused, &movedTo)) {
        *out = Failed(why);
        return false;
    }
    if (!refused.empty()) {
        out->lines.push_back(std::string(kHistoryFileName) + " was refused (" + refused + "); it was moved to " +
                             movedTo + " and a new history begins");
    }
    return true;
}

HistoryOutcome HistoryPane::Reload() {
    HistoryOutcome out;
    rows_.clear();
    if (!Ready(&out)) return out;
    std::vector<SnapshotInfo> list;
    std::string why;
    if (!store_.List(address_, &list, &why)) return Failed(why);
    for (const SnapshotInfo& s : list) {
        HistoryRowTexts r;
        r.id = s.id;
        r.when = LocalTimeText(s.firstMs);
        r.reason = ReasonText(s.reason);
        r.note = s.note;
        r.complete = s.state == SnapshotState::Complete ? "yes"
                     : s.state == SnapshotState::Taking ? "no: not finished"
                                                        : "no: " + s.detail;
        rows_.push_back(std::move(r));
    }
    out.ok = true;
    return out;
}

std::vector<HistoryBlockChoice> HistoryPane::Blocks(int64_t id) {
    std::vector<HistoryBlockChoice> out;
    HistoryOutcome unused;
    SnapshotRecord rec;
    std::string why;
    if (!Ready(&unused) || !store_.Get(id, &rec, &why)) return out;
    for (const HistoryBlock& b : rec.blocks) {
        if (b.free) continue;
        uint8_t wire[4] = {b.wire[0], b.wire[1], b.wire[2], b.wire[3]};
        out.push_back({"block " + std::to_string(b.position + 1) + " [" + WireText(wire) + "] '" + b.name + "'", b.wire});
    }
    return out;
}

HistoryOutcome HistoryPane::Take(const std::string& note, int64_t nowMs) {
    HistoryOutcome out;
    if (!Ready(&out)) return out;
    BlockWork work(state_);
    std::string why;
    if (!work.Open(address_, true, &why)) {
        return Failed(work.InStandby() ? "projector " + std::to_string(address_) + " is in standby; nothing was kept"
                                       : why.empty() ? "the blocks cannot be read; nothing was kept" : why);
    }
    const SnapshotTaken taken = TakeSnapshot(work, store_, SnapshotReason::ByHand, note.substr(0, kMaxSnapshotNote), nowMs);
    if (!taken.stored) return Failed("no snapshot was kept: " + taken.failure);
    out.ok = taken.complete;
    out.lines.push_back(SnapshotTakenText(address_, taken));
    for (const std::string& l : DiffLines(taken.changes)) out.lines.push_back("  " + l);
    return out;
}

HistoryOutcome HistoryPane::Compare(int64_t from, int64_t to) {
    HistoryOutcome out;
    if (!Ready(&out)) return out;
    SnapshotRecord a, b;
    std::string why;
    if (!store_.Get(from, &a, &why)) return Failed(why);
    BlockSide sides[2];
    sides[0] = {a.info.projector, a.blocks, "snapshot " + std::to_string(from), false};
    BlockWork work(state_);
    if (to) {
        if (!store_.Get(to, &b, &why)) return Failed(why);
        sides[1] = {b.info.projector, b.blocks, "snapshot " + std::to_string(to), false};
    } else if (!LiveSide(work, address_, &a.info.projector, &sides[1], &why)) {
        return Failed(why);
    }
    Description description;
    const bool named = LoadSideDescription(state_, sides[1].projector, &description);
    out.lines.push_back("from " + sides[0].label + " to " + sides[1].label + ":");
    AddDiff(DiffBlocks(sides[0], sides[1], named ? &description : nullptr), &out);
    out.ok = true;
    return out;
}

HistoryOutcome HistoryPane::Drift() {
    HistoryOutcome out;
    if (!Ready(&out)) return out;
    BlockWork work(state_);
    std::string why;
    if (!work.Open(address_, true, &why)) {
        return Failed(work.InStandby() ? "projector " + std::to_string(address_) + " is in standby"
                                       : why.empty() ? "the blocks cannot be read" : why);
    }
    const DriftCheck check = CheckDrift(work, store_);
    if (!check.compared) return Failed(check.failure);
    const BlockDiff& diff = check.diff;
    const std::string since =
        "snapshot " + std::to_string(check.reference.id) + " (" + LocalTimeText(check.reference.lastMs) + ")";
    out.lines.push_back(diff.Empty() ? "no drift since " + since : "drift since " + since + ":");
    if (!diff.Empty()) AddDiff(diff, &out);
    out.differ = !diff.Empty();
    out.ok = true;
    return out;
}

HistoryOutcome HistoryPane::Restore(int64_t id, const std::vector<std::array<uint8_t, 4>>& only, int64_t nowMs) {
    HistoryOutcome out;
    if (!Ready(&out)) return out;
    SnapshotRecord snap;
    std::string why;
    if (!store_.Get(id, &snap, &why)) return Failed(why);
    BlockWork work(state_);
    if (!work.Open(address_, true, &why)) {
        return Failed(work.InStandby() ? "projector " + std::to_string(address_) + " is in standby; nothing was restored"
                                       : why.empty() ? "the blocks cannot be read; nothing was restored" : why);
    }
    const SnapshotRestoreOutcome r = RestoreSnapshot(work, store_, snap, only, false, nowMs);
    for (const BlockLine& l : r.report.lines) out.lines.push_back(l.block + ": " + l.text);
    if (!r.report.failure.empty()) out.lines.push_back(r.report.failure);
    if (!r.report.note.empty()) out.lines.push_back(r.report.note);
    if (r.afterId) {
        out.lines.push_back("snapshot " + std::to_string(r.afterId) + " holds the restored settings (restored from snapshot " +
                            std::to_string(id) + ")");
    }
    out.ok = r.report.ok;
    return out;
}

}  // namespace ombrix
