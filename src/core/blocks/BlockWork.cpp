#include "blocks/BlockWork.h"

#include <cstdio>
#include <map>

#include "blocks/BlockOperations.h"
#include "blocks/RamContainer.h"
#include "discovery/Search.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

std::string PlacesText(const std::vector<int>& places) {
    std::string text;
    for (size_t i = 0; i < places.size(); ++i) text += (i ? ", " : "") + std::to_string(places[i]);
    return text;
}

// The row of the projector list that carries this header, -1 when none.
int ProjectorRowWithHeader(const BlockTables& t, const BlockHeader& h) {
    for (int i = 0; i < t.projectorRowCount; ++i) {
        if (SameHeaderFields(t.projectorBlocks[Index(i)].header, h)) return i;
    }
    return -1;
}

enum class Comparison { Identical, Different, Unreadable };

// Reads the projector's block under this header and compares its L bytes with body.
Comparison CompareWithProjector(BlockWork& w, const BlockHeader& header, const BlockBody& body,
                                std::vector<int>* places, int* readResult) {
    ProgramState& st = w.State();
    const auto L = static_cast<size_t>(st.blocks.geometry.blockLength);
    uint8_t wire[4];
    BlockWire(w, header, wire);
    BlockBody read{};
    const int r = ReadBlockData(st.link, w.Address(), read.data(), wire[0], wire[1], wire[2], wire[3], L);
    ReportCommError(st.env, st.link, r);
    if (readResult) *readResult = r;
    if (r != kDone) return Comparison::Unreadable;
    for (size_t i = 0; i < L; ++i) {
        if (read[i] != body[i]) places->push_back(static_cast<int>(i));
    }
    return places->empty() ? Comparison::Identical : Comparison::Different;
}

// What a failed read of a block came to, in the words of the communication error.
std::string ReadFailure(int result) {
    const char* text = CommErrorText(result);
    return text ? std::string(text) : "result " + std::to_string(result);
}

// How to free the projector's block under this header with the line commands.
std::string FreeHint(const BlockWork& w, const BlockHeader& header) {
    uint8_t wire[4];
    BlockWire(w, header, wire);
    char text[64];
    std::snprintf(text, sizeof text, "ombrix-cli free-block %d 0x%02x 0x%02x 0x%02x 0x%02x", w.Address(), wire[0],
                  wire[1], wire[2], wire[3]);
    return text;
}

std::string NoBlockForType(BlockWork& w, const std::string& fileName) {
    return fileName + " holds no block for type " + std::to_string(w.Record().projectorType);
}

}  // namespace

std::string WhyUnanswered(Link& link, int result, int address) {
    if (std::string trouble = LineTroubleText(link); !trouble.empty()) return trouble;
    const std::string at = " at address " + std::to_string(address);
    switch (result) {
        case kNacked: return "the projector" + at + " refuses the question (NACK)";
        case kNoAnswer: return "the projector" + at + " acknowledges but gives no valid answer";
        default: {
            // A byte in the acknowledgement's place is no silence: it is named.
            const std::string stray = StrayReplyText(link);
            return "no projector answers" + at + (stray.empty() ? std::string() : ": " + stray);
        }
    }
}

std::string WireText(const uint8_t wire[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x %02x %02x %02x", wire[0], wire[1], wire[2], wire[3]);
    return text;
}

void BlockWire(const BlockWork& work, const BlockHeader& header, uint8_t out[4]) {
    WireHeader(header, work.TypeDescription().headerVariant == 2, out);
}

BlockWork::BlockWork(ProgramState& state) : state_(state) {}

BlockWork::~BlockWork() {
    if (!lent_) return;
    ProjectorTable& t = state_.projectors;
    t.records[Index(slot_)] = savedRecord_;
    t.connectedCount = savedCount_;
    t.currentProjectorIndex = savedCurrent_;
    state_.link.currentAddress = savedAddress_;
    state_.blocks = *savedBlocks_;
}

const ProjectorRecord& BlockWork::Record() const { return state_.projectors.records[Index(std::max(slot_, 0))]; }

bool BlockWork::Open(uint8_t address, bool needEveryBlock, std::string* why) {
    why->clear();
    ProgramState& st = state_;
    address_ = address;
    ProjectorRecord record;
    const ProbeOutcome probe = ProbeAddress(st.link, st.env, address, &record, &st.statusFlags, false);
    if (!probe.answered) {
        *why = WhyUnanswered(st.link, probe.result, address);
        return false;
    }
    // Lent from here on: the projector's own slot when the table knows it, else the next one.
    ProjectorTable& t = st.projectors;
    if (!lent_) {
        savedBlocks_ = std::make_unique<BlockTables>(st.blocks);
        savedCount_ = t.connectedCount;
        savedCurrent_ = t.currentProjectorIndex;
        savedAddress_ = st.link.currentAddress;
        slot_ = t.connectedCount < kProjectorTableSize ? t.connectedCount : kProjectorTableSize - 1;
        for (int i = 0; i < t.connectedCount; ++i) {
            if (t.records[Index(i)].address == address) slot_ = i;
        }
        savedRecord_ = t.records[Index(slot_)];
        lent_ = true;
    }
    t.records[Index(slot_)] = record;
    if (slot_ >= t.connectedCount) t.connectedCount = slot_ + 1;
    t.currentProjectorIndex = slot_;
    st.link.currentAddress = address;
    standby_ = record.standby != 0;
    if (record.standby) {
        ShowWarning(st.env, 24);
        return false;
    }
    if (record.projectorType < 0) {
        *why = "the projector at address " + std::to_string(address) + " did not tell its type";
        return false;
    }
    const std::string directory = st.startDirectory.empty() ? "." : st.startDirectory;
    if (!LoadDescription(st.env, directory, record.projectorType, record.alphaId, &description_)) {
        ShowWarning(st.env, 16);
        return false;
    }
    SetBlockGeometry(st.blocks.geometry, description_, &t.records[Index(slot_)]);
    ClearRamContainer(st.blocks);
    BuildProjectorBlocks(st, view_, description_);
    const BlockGeometry& g = st.blocks.geometry;
    if (g.rowCount > 0 && st.blocks.projectorRowCount == 0) {
        *why = "the header table of projector " + std::to_string(address) + " could not be read";
        return false;
    }
    if (needEveryBlock && !GeometryAllowsTransfers(g)) {
        *why = "not every block of projector " + std::to_string(address) + " can be listed";
        return false;
    }
    return true;
}

std::string BlockWork::RamBlockName(int row) const {
    const BlockTables& t = state_.blocks;
    const int k = ContainerOfRow(t, row);
    const int first = k < 0 ? 0 : t.ramContainers[Index(k)].firstRow;
    uint8_t wire[4];
    BlockWire(*this, t.ramBlocks[Index(row)].header, wire);
    return "block " + std::to_string(row - first) + " [" + WireText(wire) + "]";
}

std::string BlockWork::ProjectorBlockName(int row) const {
    uint8_t wire[4];
    BlockWire(*this, state_.blocks.projectorBlocks[Index(row)].header, wire);
    return "block " + std::to_string(row + 1) + " [" + WireText(wire) + "]";
}

std::vector<int> OrdinaryRowsInUse(const BlockTables& t) {
    std::vector<int> rows;
    for (int i = 0; i < t.projectorRowCount; ++i) {
        const ProjectorBlock& b = t.projectorBlocks[Index(i)];
        if (b.specialKind == 0 && !HeaderIsFree(b.header, b.longHeader != 0)) rows.push_back(i);
    }
    return rows;
}

BlockReadOutcome BackupBlocks(BlockWork& work, const std::vector<int>& rows) {
    BlockReadOutcome out;
    out.wanted = static_cast<int>(rows.size());
    ProgramState& st = work.State();
    if (!EnsureRamContainer(st, &work.View(), st.projectors.currentProjectorIndex)) {
        ShowWarning(st.env, 6);
        out.noContainer = true;
        return out;
    }
    const AddToRamResult added = AddBlocksToRam(st, work.View(), rows);
    out.read = added.added;
    out.lineLost = added.lineLost;
    return out;
}

bool LoadTypeIntoRam(BlockWork& work, const SettingsFileContent& file) {
    ProgramState& st = work.State();
    const int projectorType = work.Record().projectorType;
    SettingsFileContent ofType;
    size_t next = 0;
    for (const SettingsFileContainer& c : file.containers) {
        const auto n = static_cast<size_t>(c.rowCount);
        if (c.projectorType == projectorType) {
            ofType.containers.push_back(c);
            ofType.rows.insert(ofType.rows.end(), file.rows.begin() + static_cast<long>(next),
                               file.rows.begin() + static_cast<long>(next + n));
        }
        next += n;
    }
    if (ofType.rows.size() >= static_cast<size_t>(kRamRowCapacity)) {
        ShowWarning(st.env, 43);
        return false;
    }
    ClearRamContainer(st.blocks);
    MergeSettings(st.env, st.blocks, ofType, false);
    return true;
}

BlockReport VerifyBlocks(BlockWork& work, const SettingsFileContent& file, const std::string& fileName) {
    BlockReport report;
    if (!LoadTypeIntoRam(work, file)) return report;
    ProgramState& st = work.State();
    const BlockTables& t = st.blocks;
    int compared = 0;
    bool allIdentical = true;
    for (int row = 0; row < t.ramRowCount; ++row) {
        const RAMBlock& b = t.ramBlocks[Index(row)];
        if (b.containerTitle) continue;
        ++compared;
        BlockLine line;
        line.block = work.RamBlockName(row);
        if (ProjectorRowWithHeader(t, b.header) < 0) {
            line.text = "missing";
            report.lines.push_back(line);
            allIdentical = false;
            continue;
        }
        const Comparison c = CompareWithProjector(work, b.header, b.body, &line.places, nullptr);
        switch (c) {
            case Comparison::Identical:
                line.text = "identical";
                line.ok = true;
                break;
            case Comparison::Different:
                line.text = "different at places " + PlacesText(line.places);
                allIdentical = false;
                break;
            case Comparison::Unreadable:
                line.text = "could not be read";
                allIdentical = false;
                break;
        }
        report.lines.push_back(line);
        // Said once; the blocks after it cannot be read either.
        if (c == Comparison::Unreadable && LineLost(st.link)) return report;
    }
    if (!compared) {
        report.failure = NoBlockForType(work, fileName);
        return report;
    }
    report.ok = allIdentical;
    return report;
}

BlockReport RestoreBlocks(BlockWork& work, const SettingsFileContent& file, const std::string& fileName) {
    BlockReport report;
    if (!LoadTypeIntoRam(work, file)) return report;
    ProgramState& st = work.State();
    const BlockTables& t = st.blocks;

    // Only the blocks whose header the projector does not hold take free blocks; one it
    // holds is either the file's block already or another that must be freed first.
    std::vector<int> rows;
    std::map<int, std::string> outcome;
    bool allRestored = true;
    for (int row = 0; row < t.ramRowCount; ++row) {
        const RAMBlock& b = t.ramBlocks[Index(row)];
        if (b.containerTitle) continue;
        if (b.specialKind != 0 || HeaderIsFree(b.header, b.longHeader != 0)) {
            report.lines.push_back({work.RamBlockName(row),
                                    std::string(b.specialKind ? "special" : "free") + " block, not restored", false, {}});
            allRestored = false;
            continue;
        }
        if (ProjectorRowWithHeader(t, b.header) < 0) {
            rows.push_back(row);
            continue;
        }
        std::vector<int> places;
        int result = kDone;
        switch (CompareWithProjector(work, b.header, b.body, &places, &result)) {
            case Comparison::Identical: outcome[row] = "already in the projector"; break;
            case Comparison::Different:
                outcome[row] = "not restored: the projector holds another block with this header (different at "
                               "places " + PlacesText(places) + "); to replace it, free it first (" +
                               FreeHint(work, b.header) + ") and restore again";
                break;
            case Comparison::Unreadable:
                if (LineLost(st.link)) {
                    report.failure = "nothing was restored";
                    return report;
                }
                outcome[row] = "not restored: the projector holds a block with this header, but reading it failed (" +
                               ReadFailure(result) + ")";
                break;
        }
    }
    if (rows.empty() && outcome.empty()) {
        report.failure = NoBlockForType(work, fileName);
        return report;
    }
    CopyToFreeResult copied;
    if (!rows.empty()) {
        copied = CopyRamRowsToFreeBlocks(st, work.View(), rows);
        if (!copied.confirmed) {
            report.failure = "nothing was restored";
            return report;
        }
    }
    for (int row : copied.written) {
        std::vector<int> places;
        const RAMBlock& b = t.ramBlocks[Index(row)];
        int result = kDone;
        if (LineLost(st.link)) {
            outcome[row] = "written (acknowledged), not read back: the line was lost";
            continue;
        }
        switch (CompareWithProjector(work, b.header, b.body, &places, &result)) {
            case Comparison::Identical: outcome[row] = "restored"; break;
            case Comparison::Different:
                outcome[row] = "written, but reads back different at places " + PlacesText(places);
                break;
            case Comparison::Unreadable:
                outcome[row] = "written, but the read-back failed (" + ReadFailure(result) + ")";
                break;
        }
    }
    // Rows the checks above let through are never duplicates; a failed write is said.
    for (int row : copied.duplicates) outcome[row] = "not restored: the projector holds a block with this header";
    for (int row : copied.failed) outcome[row] = "not written";
    for (const auto& [row, text] : outcome) {
        const bool ok = text == "restored" || text == "already in the projector";
        report.lines.push_back({work.RamBlockName(row), text, ok, {}});
        allRestored = allRestored && ok;
    }
    if (!copied.written.empty() && !copied.failed.empty()) {
        // A restore cut short is not undone; the same restore skips what is in already.
        std::string written;
        for (int row : copied.written) written += (written.empty() ? "" : ", ") + work.RamBlockName(row);
        report.note = "the restore stopped after writing " + std::to_string(copied.written.size()) + " of " +
                      std::to_string(copied.written.size() + copied.failed.size()) + " blocks (" + written +
                      "); running the same restore again writes the rest";
    }
    report.ok = allRestored;
    return report;
}

}  // namespace ombrix
