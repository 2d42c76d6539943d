#include "data/SettingsFile.h"

#include "blocks/RamContainer.h"
#include "platform/Files.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

// A full RAM container is 300 rows of 287 bytes; leave room for hand-merged files whose
// surplus containers the 300-row rule turns away.
constexpr size_t kMaxSettingsFileSize = 64u * 1024u * 1024u;

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

void ReadRow(ByteReader& r, RAMBlock* row) {
    BlockHeader& h = row->header;
    r.U8(&h.fh);
    r.U8(&h.fv);
    r.U8(&h.source);
    r.U8(&h.config);
    r.U8(&h.signalType);
    r.U8(&h.orientation);
    r.U32(&h.flags);
    r.U32(&h.flags);  // of the two copies the second one counts
    r.Bytes(row->body.data(), row->body.size());
    int32_t fields[5] = {0, 0, 0, 0, 0};
    for (int32_t& f : fields) r.I32(&f);
    row->projectorType = fields[0];
    row->containerTitle = fields[1];
    row->specialKind = fields[2];
    row->longHeader = fields[3];
    row->image = fields[4];
    r.I32(&row->serial);
    uint8_t letter = 0;
    r.U8(&letter);
    row->alphaId = static_cast<char>(letter);
    r.F32(&row->fhBase);
    r.F32(&row->fvBase);
}

void WriteRow(ByteWriter& w, const RAMBlock& row, bool title) {
    const BlockHeader& h = row.header;
    const uint32_t flags = title ? (h.flags & 0xFFFF0000u) : h.flags;
    if (title) {
        w.Zeros(6);
    } else {
        w.U8(h.fh);
        w.U8(h.fv);
        w.U8(h.source);
        w.U8(h.config);
        w.U8(h.signalType);
        w.U8(h.orientation);
    }
    w.U32(flags);
    w.U32(flags);
    if (title) w.Zeros(kBlockBodySize);
    else w.Bytes(row.body.data(), row.body.size());
    w.I32(row.projectorType);
    w.I32(row.containerTitle);
    w.I32(row.specialKind);
    w.I32(row.longHeader);
    w.I32(row.image);
    w.I32(row.serial);
    w.U8(static_cast<uint8_t>(row.alphaId));
    w.F32(row.fhBase);
    w.F32(row.fvBase);
}

void ClearRamSelection(BlockSelection& s) {
    if (s.NamesRamRow()) s = BlockSelection{};
}

}  // namespace

bool ParseSettingsFile(const uint8_t* data, size_t size, SettingsFileContent* out, std::string* why) {
    ByteReader r(data, size);
    int32_t k = 0;
    if (!r.I32(&k)) return Fail(why, "shorter than the container count");
    if (k < 0) return Fail(why, "the container count " + std::to_string(k) + " is negative");
    if (static_cast<uint64_t>(k) > r.Remaining() / 8) return Fail(why, "the container list runs past the end");
    SettingsFileContent content;
    content.containers.resize(static_cast<size_t>(k));
    uint64_t rows = 0;
    for (size_t i = 0; i < content.containers.size(); ++i) {
        SettingsFileContainer& c = content.containers[i];
        r.I32(&c.rowCount);
        r.I32(&c.projectorType);
        if (c.rowCount < 1) {
            return Fail(why, "container " + std::to_string(i) + " has " + std::to_string(c.rowCount) +
                                 " rows; it needs at least its title row");
        }
        rows += static_cast<uint64_t>(c.rowCount);
    }
    const std::string layout = "4 + 8 x " + std::to_string(k) + " + 287 x " + std::to_string(rows) + " bytes";
    if (rows > r.Remaining() / kSettingsRowSize) return Fail(why, "it ends inside its rows (" + layout + " expected)");
    // Bytes past the last row belong to nothing the file declares: it was cut or patched.
    if (const uint64_t extra = r.Remaining() - rows * kSettingsRowSize; extra != 0) {
        return Fail(why, std::to_string(extra) + (extra == 1 ? " byte follows" : " bytes follow") +
                             " its last row (" + layout + " expected)");
    }
    content.rows.resize(static_cast<size_t>(rows));
    for (RAMBlock& row : content.rows) ReadRow(r, &row);
    // The title rows are what the RAM container cuts its containers at: a container
    // that does not begin with one, or holds a second, would be loaded under the wrong
    // type or lose rows.
    size_t next = 0;
    for (size_t i = 0; i < content.containers.size(); ++i) {
        const auto n = static_cast<size_t>(content.containers[i].rowCount);
        if (!content.rows[next].containerTitle) {
            return Fail(why, "container " + std::to_string(i) + " does not begin with its title row");
        }
        for (size_t j = 1; j < n; ++j) {
            if (content.rows[next + j].containerTitle) {
                return Fail(why, "container " + std::to_string(i) + " holds a title row at its row " +
                                     std::to_string(j));
            }
        }
        next += n;
    }
    *out = std::move(content);
    return true;
}

bool ReadSettingsFile(const std::string& path, SettingsFileContent* out, std::string* why) {
    std::vector<uint8_t> bytes;
    SysError error;
    if (!ReadWholeFile(path, &bytes, &error, kMaxSettingsFileSize)) return Fail(why, error.text);
    std::string damage;
    if (!ParseSettingsFile(bytes.data(), bytes.size(), out, &damage)) return Fail(why, path + ": " + damage);
    return true;
}

bool SerializeSettings(const BlockTables& t, std::vector<uint8_t>* out) {
    struct Run {
        int first, count, type;
    };
    std::vector<Run> runs;
    for (int k = 0; k < t.ramContainerCount; ++k) {
        const RAMcontainer& c = t.ramContainers[static_cast<size_t>(k)];
        // An index entry that names no used row has nothing to save.
        if (c.firstRow < 0 || c.firstRow >= t.ramRowCount) continue;
        int end = c.firstRow + 1;
        while (end < t.ramRowCount && !t.ramBlocks[static_cast<size_t>(end)].containerTitle) ++end;
        runs.push_back({c.firstRow, end - c.firstRow, c.projectorType});
    }
    if (runs.empty()) return false;
    ByteWriter w;
    w.I32(static_cast<int32_t>(runs.size()));
    for (const Run& run : runs) {
        w.I32(run.count);
        w.I32(run.type);
    }
    for (const Run& run : runs) {
        for (int i = 0; i < run.count; ++i) WriteRow(w, t.ramBlocks[static_cast<size_t>(run.first + i)], i == 0);
    }
    *out = w.Data();
    return true;
}

bool SaveSettingsFile(const Env& env, const BlockTables& t, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!SerializeSettings(t, &bytes)) {
        ShowWarning(env, 29);
        return false;
    }
    SysError error;
    if (!WriteFileAtomic(path, bytes, &error)) {
        ShowError(env, 25, error.text);
        return false;
    }
    return true;
}

int MergeSettings(const Env& env, BlockTables& t, const SettingsFileContent& file, bool append) {
    ClearRamSelection(t.adjustment);
    ClearRamSelection(t.reference);
    size_t next = 0;
    int leftOut = 0;
    for (const SettingsFileContainer& c : file.containers) {
        const int n = c.rowCount;
        if (n < 1 || static_cast<size_t>(n) > file.rows.size() - next) return leftOut + 1;  // not what the reader makes
        const RAMBlock* rows = file.rows.data() + next;
        next += static_cast<size_t>(n);
        if (t.ramRowCount + n >= kRamRowCapacity) {
            ShowWarning(env, 43);
            ++leftOut;
            continue;
        }
        const int existing = append ? FindContainer(t, c.projectorType) : -1;
        if (existing >= 0) {
            // The file's title row is dropped; its blocks join the container already there.
            InsertRowsIntoContainer(t, existing, rows + 1, n - 1);
            continue;
        }
        for (int i = 0; i < n; ++i) {
            const int at = t.ramRowCount++;
            t.ramBlocks[static_cast<size_t>(at)] = rows[i];
            if (rows[i].containerTitle && t.ramContainerCount < kRamContainerCapacity) {
                t.ramContainers[static_cast<size_t>(t.ramContainerCount++)] = {rows[i].projectorType, at};
            }
        }
    }
    return leftOut;
}

bool LoadSettingsFile(const Env& env, BlockTables& t, bool append, const std::string& path, int* leftOut) {
    SettingsFileContent file;
    std::string why;
    if (!ReadSettingsFile(path, &file, &why)) {
        ShowError(env, 26, why);
        return false;
    }
    const int dropped = MergeSettings(env, t, file, append);
    if (leftOut) *leftOut = dropped;
    return true;
}

SettingsCommandResult LoadSettingsCommand(const Env& env, BlockTables& t, const std::string& path) {
    SettingsCommandResult result;
    SettingsFileContent file;
    std::string why;
    if (ReadSettingsFile(path, &file, &why)) {
        ClearRamContainer(t);
        result.containersLeftOut = MergeSettings(env, t, file, false);
        result.fileRead = true;
    } else {
        ShowError(env, 26, why);
    }
    if (t.ramRowCount == 0) ShowWarning(env, 19);
    result.ramHasRows = t.ramRowCount > 0;
    return result;
}

SettingsCommandResult AppendSettingsCommand(const Env& env, BlockTables& t, const std::string& path) {
    SettingsCommandResult result;
    result.fileRead = LoadSettingsFile(env, t, true, path, &result.containersLeftOut);
    if (t.ramRowCount == 0) ShowWarning(env, 19);
    result.ramHasRows = t.ramRowCount > 0;
    return result;
}

}  // namespace ombrix
