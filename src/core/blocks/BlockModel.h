#pragma once
// The blocks of the projector open in the communication window and the RAM container:
// fixed-capacity tables with explicit counts, held by value in ProgramState.
#include <array>
#include <cstdint>

namespace ombrix {

constexpr int kBlockBodySize = 240;
constexpr int kProjectorBlockCapacity = 40;
constexpr int kRamRowCapacity = 300;
// Every container owns at least its title row, so there are never more containers than rows.
constexpr int kRamContainerCapacity = kRamRowCapacity;

constexpr int kFirstSpecialKind = 0x4000;
constexpr int kSecondSpecialKind = 0x8000;
// Special-block headers carry these in fh.
constexpr uint8_t kCommonBlockFh = 0xEF;
constexpr uint8_t kStigmatorBlockFh = 0xFE;

struct BlockHeader {
    uint8_t fh = 0;
    uint8_t fv = 0;
    uint8_t source = 0;
    uint8_t config = 0;
    uint8_t signalType = 0;
    uint8_t orientation = 0;
    uint32_t flags = 0;

    bool operator==(const BlockHeader&) const = default;
};

using BlockBody = std::array<uint8_t, kBlockBodySize>;

struct ProjectorBlock {
    BlockHeader header;
    BlockBody body{};
    int image = 0;
    int projectorType = 0;
    char alphaId = 0;
    int active = 0;
    int specialKind = 0;
    int longHeader = 0;
    float fhBase = 0;
    float fvBase = 0;
};

struct RAMBlock {
    BlockHeader header;
    BlockBody body{};
    int image = 0;
    int projectorType = 0;
    char alphaId = 0;
    int32_t serial = 0;
    int containerTitle = 0;
    int specialKind = 0;
    int longHeader = 0;
    float fhBase = 0;
    float fvBase = 0;
};

struct RAMcontainer {
    int projectorType = 0;
    int firstRow = 0;
};

// blockCount and rowCount count the rows the 40-row table holds; a type with more blocks
// (or whose header table runs past one block) is listed cut, and cutRows says by how many.
struct BlockGeometry {
    uint8_t projectorType = 255;
    int headerVariant = -1;
    int blockLength = -1;
    int blockCount = -1;
    int rowCount = -1;
    int noProjector = 0;
    int cutRows = 0;
};

// The adjustment and the reference selection: one block each, remembered by value.
struct BlockSelection {
    int row = -1;
    int projectorIndex = -1;  // -1: the row is a RAM row
    int previousImage = 0;
    uint8_t address = 0;
    int projectorType = 0;
    char alphaId = 0;
    uint8_t wireHeader[4] = {0, 0, 0, 0};
    BlockBody body{};
    int specialKind = 0;

    bool NamesRamRow() const { return row >= 0 && projectorIndex == -1; }
};

struct BlockTables {
    std::array<ProjectorBlock, kProjectorBlockCapacity> projectorBlocks{};
    // Rows of the projector list now: 0 until its header table has been read.
    int projectorRowCount = 0;
    BlockGeometry geometry;

    std::array<RAMBlock, kRamRowCapacity> ramBlocks{};
    int ramRowCount = 0;
    std::array<RAMcontainer, kRamContainerCapacity> ramContainers{};
    int ramContainerCount = 0;

    BlockSelection adjustment;
    BlockSelection reference;
};

}  // namespace ombrix
