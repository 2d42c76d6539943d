#include "history/Snapshots.h"

#include <algorithm>
#include <map>

#include "blocks/BlockOperations.h"
#include "blocks/RamContainer.h"
#include "data/Formatting.h"
#include "discovery/ProjectorListRow.h"
#include "link/Frame.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

// Forwards boxes, and answers its questions Yes: the question was asked once already.
class AnsweredUi final : public Ui {
public:
    explicit AnsweredUi(Ui* inner) : inner_(inner) {}
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override {
        if (inner_) inner_->ShowBox(caption, text, icon);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }

private:
    Ui* inner_;
};

bool LongHeader(const BlockWork& w) { return w.TypeDescription().headerVariant == 2; }

HistoryBlock BlockOfRow(const BlockWork& w, const ProjectorBlock& b, int row) {
    HistoryBlock h;
    h.position = row;
    uint8_t wire[4];
    BlockWire(w, b.header, wire);
    std::copy(wire, wire + 4, h.wire.begin());
    h.extra = static_cast<uint8_t>(b.header.flags >> 8);
    h.free = HeaderIsFree(b.header, b.longHeader != 0);
    h.name = BlockSignalName(b.header, b.fhBase, b.fvBase, b.longHeader != 0);
    h.type = SignalTypeText(b.header.signalType, b.longHeader != 0);
    return h;
}

std::string Name(const HistoryBlock& b) {
    uint8_t wire[4] = {b.wire[0], b.wire[1], b.wire[2], b.wire[3]};
    return "block " + std::to_string(b.position + 1) + " [" + WireText(wire) + "]";
}

std::array<uint8_t, 4> InUseKey(const std::array<uint8_t, 4>& wire, bool longHeader) {
    std::array<uint8_t, 4> k = wire;
    if (longHeader) {
        k[3] = static_cast<uint8_t>(k[3] & ~0x04);
    } else {
        k[1] = static_cast<uint8_t>(k[1] & 0x7F);
    }
    return k;
}

std::string PlacesText(const std::vector<int>& places) {
    std::string text;
    for (size_t i = 0; i < places.size(); ++i) text += (i ? ", " : "") + std::to_string(places[i]);
    return text;
}

std::string ReadFailure(int result) {
    const char* text = CommErrorText(result);
    return text ? std::string(text) : "result " + std::to_string(result);
}

// Reads the block under its wire header back and compares it with what was written.
std::string ReadBack(BlockWork& w, const std::array<uint8_t, 4>& wire, const std::vector<uint8_t>& body, bool* ok) {
    ProgramState& st = w.State();
    std::vector<uint8_t> read(body.size());
    const int r = ReadBlockData(st.link, w.Address(), read.data(), wire[0], wire[1], wire[2], wire[3], read.size());
    ReportCommError(st.env, st.link, r);
    *ok = false;
    if (r != kDone) return "written, but the read-back failed (" + ReadFailure(r) + ")";
    std::vector<int> places;
    for (size_t i = 0; i < body.size(); ++i)
        if (read[i] != body[i]) places.push_back(static_cast<int>(i));
    if (!places.empty()) return "written, but reads back different at places " + PlacesText(places);
    *ok = true;
    return "restored";
}

}  // namespace

ProjectorIdentity ReadProjectorIdentity(BlockWork& work, const ProjectorIdentity* known) {
    ProgramState& st = work.State();
    const ProjectorRecord& r = work.Record();
    ProjectorIdentity p;
    p.address = work.Address();
    if (known && known->address == p.address && known->idNumber == r.idNumber && r.idNumber != -1 &&
        known->typeCode == r.projectorType && known->letter == r.alphaId && known->serial != "?") {
        p.serial = known->serial;
    } else {
        std::string serial;
        p.serial = ReadSerialNumber(st.link, work.Address(), &serial) == kDone ? serial : "?";
    }
    const struct ProjectorRowTexts texts = ProjectorListRow(st.env, r);
    p.model = texts.model;
    p.version = texts.version;
    p.typeCode = r.projectorType;
    p.letter = r.alphaId;
    p.idNumber = r.idNumber;
    p.blockLength = st.blocks.geometry.blockLength;
    p.headerVariant = work.TypeDescription().headerVariant;
    return p;
}

bool ReadBlockSide(BlockWork& work, BlockSide* out, std::string* detail) {
    ProgramState& st = work.State();
    BlockTables& t = st.blocks;
    ClearRamContainer(t);
    out->blocks.clear();
    const auto L = static_cast<size_t>(std::max(t.geometry.blockLength, 0));
    int wanted = 0, failed = 0;
    std::string failedNames;
    for (int row = 0; row < t.projectorRowCount; ++row) {
        const ProjectorBlock& b = t.projectorBlocks[Index(row)];
        if (b.specialKind != 0) continue;
        HistoryBlock h = BlockOfRow(work, b, row);
        if (!h.free) {
            ++wanted;
            if (LineLost(st.link)) {
                ++failed;
                continue;
            }
            // One at a time, so each body is known to be its row's.
            const BlockReadOutcome read = BackupBlocks(work, {row});
            if (read.read != 1) {
                ++failed;
                failedNames += (failedNames.empty() ? "" : ", ") + Name(h);
                continue;
            }
            h.body.assign(t.projectorBlocks[Index(row)].body.begin(), t.projectorBlocks[Index(row)].body.begin() + static_cast<long>(L));
        }
        out->blocks.push_back(std::move(h));
    }
    ClearRamContainer(t);
    if (!failed) return true;
    *detail = std::to_string(failed) + " of " + std::to_string(wanted) + " blocks could not be read";
    if (LineLost(st.link)) {
        *detail += " (the line was lost)";
    } else {
        *detail += " (" + failedNames + ")";
    }
    return false;
}

SnapshotTaken TakeSnapshot(BlockWork& work, HistoryStore& store, SnapshotReason reason, const std::string& note,
                           int64_t nowMs) {
    SnapshotTaken out;
    BlockSide side;
    ProjectorIdentity latest;
    bool known = false;
    store.LatestProjector(work.Address(), &latest, &known, &out.failure);
    side.projector = ReadProjectorIdentity(work, known ? &latest : nullptr);
    const int64_t id = store.Begin(side.projector, reason, note, nowMs, &out.failure);
    if (!id) return out;
    out.complete = ReadBlockSide(work, &side, &out.detail);
    out.blocks = static_cast<int>(std::count_if(side.blocks.begin(), side.blocks.end(),
                                                [](const HistoryBlock& b) { return !b.free; }));
    SnapshotSaved saved;
    if (!store.Finish(id, side.blocks, out.complete, out.detail, &saved, &out.failure)) return out;
    out.stored = true;
    out.id = saved.id;
    out.repeated = saved.repeated;
    if (!out.complete || out.repeated) return out;
    SnapshotRecord previous;
    bool found = false;
    std::string why;
    if (store.LatestReference(side.projector.address, out.id, &previous, &found, &why) && found) {
        out.previousId = previous.info.id;
        BlockSide before{previous.info.projector, previous.blocks, "snapshot " + std::to_string(previous.info.id), false};
        out.changes = DiffBlocks(before, side, &work.TypeDescription());
    }
    return out;
}

bool LoadSideDescription(const ProgramState& state, const ProjectorIdentity& projector, Description* out) {
    if (projector.typeCode < 0 || projector.letter == 0) return false;
    Env quiet = state.env;
    quiet.ui = nullptr;
    const std::string directory = state.startDirectory.empty() ? "." : state.startDirectory;
    return LoadDescription(quiet, directory, projector.typeCode, projector.letter, out);
}

SnapshotRestoreOutcome RestoreSnapshot(BlockWork& work, HistoryStore& store, const SnapshotRecord& snapshot,
                                       const std::vector<std::array<uint8_t, 4>>& only, bool addressGiven,
                                       int64_t nowMs, bool confirmed) {
    SnapshotRestoreOutcome out;
    BlockReport& report = out.report;
    ProgramState& st = work.State();
    const ProjectorRecord& rec = work.Record();
    const ProjectorIdentity& was = snapshot.info.projector;
    const std::string address = std::to_string(work.Address());
    const std::string snap = "snapshot " + std::to_string(snapshot.info.id);
    const bool longHeader = LongHeader(work);
    if (rec.projectorType != was.typeCode || rec.alphaId != was.letter ||
        st.blocks.geometry.blockLength != was.blockLength || work.TypeDescription().headerVariant != was.headerVariant) {
        report.failure = "projector " + address + " is of type " + std::to_string(rec.projectorType) + " " +
                         std::string(1, rec.alphaId ? rec.alphaId : '?') + ", " + snap + " of type " +
                         std::to_string(was.typeCode) + " " + std::string(1, was.letter ? was.letter : '?') +
                         "; nothing was restored";
        out.refused = true;
        return out;
    }
    if (!addressGiven) {
        std::string serial;
        if (ReadSerialNumber(st.link, work.Address(), &serial) == kDone && was.serial != "?" && serial != was.serial) {
            report.failure = "projector " + address + " is another projector now (serial " + serial + "; " + snap +
                             " was taken of serial " + was.serial + "); naming the address restores it there anyway";
            out.refused = true;
            return out;
        }
    }

    std::vector<const HistoryBlock*> chosen;
    for (const HistoryBlock& b : snapshot.blocks) {
        if (b.free) continue;
        const auto key = InUseKey(b.wire, longHeader);
        if (only.empty() || std::any_of(only.begin(), only.end(), [&](const auto& w) {
                return InUseKey(w, longHeader) == key;
            })) {
            chosen.push_back(&b);
        }
    }
    for (const auto& w : only) {
        if (std::none_of(chosen.begin(), chosen.end(),
                         [&](const HistoryBlock* b) { return InUseKey(b->wire, longHeader) == InUseKey(w, longHeader); })) {
            uint8_t wire[4] = {w[0], w[1], w[2], w[3]};
            report.failure = snap + " holds no block [" + WireText(wire) + "] in use; nothing was restored";
            out.refused = true;
            return out;
        }
    }
    if (chosen.empty()) {
        report.failure = snap + " holds no block in use; nothing was restored";
        out.refused = true;
        return out;
    }

    // What the projector holds now under each header decides how a block comes back.
    const BlockTables& t = st.blocks;
    std::map<std::array<uint8_t, 4>, int> inUse;
    for (int row = 0; row < t.projectorRowCount; ++row) {
        const ProjectorBlock& b = t.projectorBlocks[Index(row)];
        if (b.specialKind != 0 || HeaderIsFree(b.header, b.longHeader != 0)) continue;
        uint8_t wire[4];
        BlockWire(work, b.header, wire);
        inUse[{wire[0], wire[1], wire[2], wire[3]}] = row;
    }
    std::vector<const HistoryBlock*> overwrite, intoFree;
    std::map<const HistoryBlock*, BlockLine> lines;
    for (const HistoryBlock* b : chosen) {
        if (!inUse.count(InUseKey(b->wire, longHeader))) {
            intoFree.push_back(b);
            continue;
        }
        std::vector<uint8_t> now(b->body.size());
        const int r = ReadBlockData(st.link, work.Address(), now.data(), b->wire[0], b->wire[1], b->wire[2],
                                    b->wire[3], now.size());
        ReportCommError(st.env, st.link, r);
        if (r != kDone) {
            if (LineLost(st.link)) {
                report.failure = "nothing was restored";
                return out;
            }
            lines[b] = {Name(*b), "not restored: reading the projector's block failed (" + ReadFailure(r) + ")", false, {}};
        } else if (now == b->body) {
            lines[b] = {Name(*b), "already in the projector", true, {}};
        } else {
            overwrite.push_back(b);
        }
    }

    if (!overwrite.empty() || !intoFree.empty()) {
        const size_t count = overwrite.size() + intoFree.size();
        std::string text = "Are you sure you want to restore " + std::to_string(count) + (count == 1 ? " block" : " blocks") +
                           " of " + snap + " to projector " + address + "?";
        if (!overwrite.empty()) {
            text += " Overwritten:";
            for (size_t i = 0; i < overwrite.size(); ++i) text += (i ? ", " : " ") + Name(*overwrite[i]);
            text += ".";
        }
        if (!intoFree.empty()) {
            text += " Into free blocks:";
            for (size_t i = 0; i < intoFree.size(); ++i) text += (i ? ", " : " ") + Name(*intoFree[i]);
            text += ".";
        }
        text += " A snapshot of the projector as it is now is taken first.";
        if (!confirmed && (!st.env.ui || !st.env.ui->AskYesNo("Confirmation", text))) {
            report.failure = "nothing was restored";
            return out;
        }
        out.before = TakeSnapshot(work, store, SnapshotReason::BeforeRestore, "before restoring " + snap, nowMs);
        const SnapshotTaken& before = out.before;
        if (!before.stored || !before.complete) {
            report.failure = "the snapshot of what is there could not be taken whole (" +
                             (before.stored ? before.detail : before.failure) + "); nothing was restored";
            return out;
        }
        out.beforeId = before.id;
    }

    for (const HistoryBlock* b : overwrite) {
        if (LineLost(st.link)) {
            lines[b] = {Name(*b), "not written: the line was lost", false, {}};
            continue;
        }
        const int r = WriteBlockData(st.link, work.Address(), b->body.data(), b->wire[0], b->wire[1], b->wire[2],
                                     b->wire[3], b->body.size());
        ReportCommError(st.env, st.link, r);
        if (r != kDone) {
            lines[b] = {Name(*b), "not written", false, {}};
            continue;
        }
        bool ok = false;
        const std::string text = ReadBack(work, b->wire, b->body, &ok);
        lines[b] = {Name(*b), text, ok, {}};
    }

    if (!intoFree.empty()) {
        // Into the RAM container of the projector's type, then as a restore copies them.
        BlockTables& tables = st.blocks;
        ClearRamContainer(tables);
        EnsureRamContainer(st, &work.View(), st.projectors.currentProjectorIndex);
        std::vector<int> rows;
        for (const HistoryBlock* b : intoFree) {
            RAMBlock row;
            row.header = HeaderOfWire(b->wire, b->extra, longHeader);
            std::copy(b->body.begin(), b->body.begin() + static_cast<long>(std::min(b->body.size(), row.body.size())),
                      row.body.begin());
            row.projectorType = rec.projectorType;
            row.alphaId = rec.alphaId;
            row.serial = rec.idNumber;
            row.longHeader = longHeader ? 1 : 0;
            row.fhBase = work.TypeDescription().fhBase;
            row.fvBase = work.TypeDescription().fvBase;
            rows.push_back(tables.ramRowCount);
            tables.ramBlocks[Index(tables.ramRowCount++)] = row;
        }
        AnsweredUi answered(st.env.ui);
        Ui* asked = st.env.ui;
        st.env.ui = &answered;
        const CopyToFreeResult copied = CopyRamRowsToFreeBlocks(st, work.View(), rows);
        st.env.ui = asked;
        auto of = [&](int row) { return intoFree[Index(row - rows.front())]; };
        if (!copied.confirmed) {
            for (const HistoryBlock* b : intoFree) lines[b] = {Name(*b), "not restored: too few free blocks", false, {}};
        }
        for (int row : copied.written) {
            const HistoryBlock* b = of(row);
            bool ok = false;
            const std::string text = LineLost(st.link) ? "written (acknowledged), not read back: the line was lost"
                                                       : ReadBack(work, b->wire, b->body, &ok);
            lines[b] = {Name(*b), text, ok, {}};
        }
        for (int row : copied.duplicates) lines[of(row)] = {Name(*of(row)), "not restored: the projector holds a block with this header", false, {}};
        for (int row : copied.failed) lines[of(row)] = {Name(*of(row)), "not written", false, {}};
        ClearRamContainer(tables);
    }

    report.ok = true;
    for (const HistoryBlock* b : chosen) {
        const auto it = lines.find(b);
        const BlockLine line = it != lines.end() ? it->second : BlockLine{Name(*b), "not written", false, {}};
        report.ok = report.ok && line.ok;
        report.lines.push_back(line);
    }
    if (out.beforeId) report.note = "snapshot " + std::to_string(out.beforeId) + " holds what was there before";
    return out;
}

}  // namespace ombrix
