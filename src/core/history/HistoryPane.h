#pragma once
// One projector's block history as the window's History view shows it: its snapshots in
// the work folder's history, and the work on them (take, compare, drift, restore), each
// told as lines. The line work runs where the program's line work runs; the list is read
// from the store alone.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Program.h"
#include "history/HistoryStore.h"

namespace ombrix {

struct HistoryRowTexts {
    int64_t id = 0;
    std::string when;      // "2026-12-08 14:30:05", local time
    std::string reason;    // "by hand", "before restore", ...
    std::string note;
    std::string complete;  // "yes", or "no: why"
};

struct HistoryBlockChoice {
    std::string text;  // "block 2 [3f 02 21 36] 'source 2, 31.47 kHz, 60 Hz'"
    std::array<uint8_t, 4> wire{};
};

struct HistoryOutcome {
    bool ok = false;
    bool differ = false;  // a comparison or drift found changes
    std::vector<std::string> lines;
};

class HistoryPane {
public:
    // folder: the work folder holding history.sqlite ("" for the current one).
    HistoryPane(ProgramState& state, uint8_t address, std::string folder = "");
    uint8_t Address() const { return address_; }

    // The projector's snapshots, newest first; not ok with the reason when the store
    // cannot be read.
    HistoryOutcome Reload();
    const std::vector<HistoryRowTexts>& Rows() const { return rows_; }
    // The blocks in use a snapshot holds, each of which can be restored alone.
    std::vector<HistoryBlockChoice> Blocks(int64_t id);

    // On the line:
    HistoryOutcome Take(const std::string& note, int64_t nowMs);
    // to 0: the projector now.
    HistoryOutcome Compare(int64_t from, int64_t to);
    // The projector now against its latest complete snapshot by hand, by schedule or
    // after a restore.
    HistoryOutcome Drift();
    // only empty: every block in use. The state's Ui is asked first with the blocks and
    // the values they overwrite; a "before restore" snapshot is taken before a write.
    HistoryOutcome Restore(int64_t id, const std::vector<std::array<uint8_t, 4>>& only, int64_t nowMs);

private:
    bool Ready(HistoryOutcome* out);

    ProgramState& state_;
    uint8_t address_;
    std::string folder_;
    HistoryStore store_;
    std::vector<HistoryRowTexts> rows_;
};

}  // namespace ombrix
