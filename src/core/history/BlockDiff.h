#pragma once
// Two block lists of a projector compared by name: blocks are matched by the signal they
// belong to (their header, free or not), a changed block is told parameter by parameter
// through its type's description, and bytes outside any parameter by their offset.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "blocks/BlockModel.h"
#include "data/Description.h"
#include "history/HistoryStore.h"

namespace ombrix {

// One side of a comparison: a snapshot, a projector now, or a settings file's blocks.
struct BlockSide {
    ProjectorIdentity projector;
    std::vector<HistoryBlock> blocks;
    std::string label;     // "snapshot 12", "projector 1 now", "demo.set"
    bool fromFile = false;  // a settings file knows no serial, model or version
};

enum class BlockChangeKind { Changed, Added, Deleted, Freed, InUseAgain };
const char* ChangeKindKey(BlockChangeKind kind);  // "changed", "added", "deleted", "freed", "in use again"

struct ParameterChange {
    std::string name;
    int place = 0;
    int from = 0;
    int to = 0;
};

struct ByteChange {
    int offset = 0;
    int from = 0;
    int to = 0;
};

struct BlockChange {
    BlockChangeKind kind = BlockChangeKind::Changed;
    int number = 0;  // in the projector's block list, from 1
    std::array<uint8_t, 4> wire{};
    std::string name;
    std::string type;
    std::vector<ParameterChange> parameters;
    std::vector<ByteChange> bytes;
};

struct BlockDiff {
    int address = 0;
    // What differs in the projectors themselves: "serial f1234567 → f7654321", ...
    std::vector<std::string> identity;
    std::vector<BlockChange> changes;
    bool Empty() const { return identity.empty() && changes.empty(); }
};

// description: of the blocks' type; null, or sides of different types, give every
// differing byte by its offset.
BlockDiff DiffBlocks(const BlockSide& from, const BlockSide& to, const Description* description);
// One line per change: "Projector 1 · block 2 [3f 02 21 36] 'source 2, 31.47 kHz, 60 Hz'
// (RGB): Brightness 47 → 52, byte 30: 18 → 19".
std::vector<std::string> DiffLines(const BlockDiff& diff);
// {"address", "identity": [...], "changes": [{"change", "block", "header", "name", "type",
// "parameters": [{"name", "place", "from", "to"}], "bytes": [{"offset", "from", "to"}]}]}
nlohmann::json DiffJson(const BlockDiff& diff);

// A block's name as the lists show its signal: "source 2, 31.47 kHz, 60 Hz" (the source
// as if the block were in use).
std::string BlockSignalName(const BlockHeader& header, float fhBase, float fvBase, bool longHeader);
// The header a block's wire bytes stand for (fifth byte: the long header's extra byte).
BlockHeader HeaderOfWire(const std::array<uint8_t, 4>& wire, uint8_t extra, bool longHeader);
// The settings file's blocks of one projector type, numbered as its container numbers them.
BlockSide FileSide(const std::vector<RAMBlock>& rows, int projectorType, const std::string& label);
// "3f 02 21 36", "3f:02:21:36", "3f022136" or "0x3f 0x02 0x21 0x36".
bool ParseWireHeader(const std::string& text, std::array<uint8_t, 4>* out);

}  // namespace ombrix
