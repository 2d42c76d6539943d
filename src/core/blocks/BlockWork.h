#pragma once
// Block work on one projector: its block list, the backup of its blocks, their
// verification against and restore from a settings file, and the reads a snapshot takes.
// The command-line tool, the server and the window call the same functions and only
// present what they answer.
//
// It works through the program's state. A state that serves other work meanwhile (the
// server's) lends its block tables, its current projector and that projector's record for
// one job; they are put back as they were when the BlockWork ends.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "blocks/BlockList.h"
#include "data/Description.h"
#include "data/SettingsFile.h"

namespace ombrix {

// Why a projector's question failed, in words: refused, unanswered, silent, or the line gone.
std::string WhyUnanswered(Link& link, int result, int address);

class BlockWork {
public:
    explicit BlockWork(ProgramState& state);
    ~BlockWork();
    BlockWork(const BlockWork&) = delete;
    BlockWork& operator=(const BlockWork&) = delete;

    // Identifies the projector afresh as the search does, loads its description (the
    // state's start directory, then its description folders) and lists its blocks. A type
    // without its description is not guessed at with the default one. False with the
    // reason in *why, or with *why empty when a box has said it.
    bool Open(uint8_t address, bool needEveryBlock, std::string* why);

    ProgramState& State() { return state_; }
    BlockView& View() { return view_; }
    const Description& TypeDescription() const { return description_; }
    const ProjectorRecord& Record() const;
    uint8_t Address() const { return address_; }
    // Open found the projector in standby (and said so with warning 24).
    bool InStandby() const { return standby_; }

    // "block N [b1 b2 b3 b4]": the RAM row's number inside its container and its wire header.
    std::string RamBlockName(int row) const;
    // "block N [b1 b2 b3 b4]": the projector row's number in the block list and its wire header.
    std::string ProjectorBlockName(int row) const;

private:
    ProgramState& state_;
    BlockView view_;
    Description description_;
    uint8_t address_ = 0;
    bool standby_ = false;
    bool lent_ = false;
    // What is put back.
    std::unique_ptr<BlockTables> savedBlocks_;
    ProjectorRecord savedRecord_;
    int slot_ = -1;
    int savedCount_ = 0;
    int savedCurrent_ = 0;
    uint8_t savedAddress_ = 0;
};

// "b1 b2 b3 b4" in lower-case hex.
std::string WireText(const uint8_t wire[4]);
// The wire header of a block of the open projector.
void BlockWire(const BlockWork& work, const BlockHeader& header, uint8_t out[4]);

// Rows of the projector list that a backup reads: ordinary blocks in use, and blocks of
// the later special kinds, which are handled as ordinary blocks.
std::vector<int> OrdinaryRowsInUse(const BlockTables& t);

struct BlockReadOutcome {
    int wanted = 0;
    int read = 0;
    bool lineLost = false;  // said once; the rows after it were not tried
    bool noContainer = false;  // warning 6: the RAM container had no room for the type
};
// A backup's reads: the rows into the RAM container of the projector's type, after what
// it holds.
BlockReadOutcome BackupBlocks(BlockWork& work, const std::vector<int>& rows);

// One line of a verification or a restore: "block 2 [3f 02 21 36]" and what came of it.
struct BlockLine {
    std::string block;
    std::string text;
    bool ok = false;
    std::vector<int> places;  // the differing places, when it differs
};

struct BlockReport {
    std::vector<BlockLine> lines;
    bool ok = false;
    // A failure in words (the line lost, nothing for the type, ...); empty when a box said
    // it or there was none.
    std::string failure;
    // Said after the lines (a restore cut short: what was written).
    std::string note;
};

// The file's containers of the projector's type into the RAM container, nothing else of
// it (warning 43 when they would not fit).
bool LoadTypeIntoRam(BlockWork& work, const SettingsFileContent& file);

// Per block of the file of the projector's type: identical, different at places, missing
// or could not be read. A lost line ends it at that block. fileName names the file in a
// failure.
BlockReport VerifyBlocks(BlockWork& work, const SettingsFileContent& file, const std::string& fileName);
// The file's blocks the projector does not hold go into its free blocks (all or none, after
// the question), each read back; a block whose header the projector holds is left alone,
// said as already there or as another block to free first.
BlockReport RestoreBlocks(BlockWork& work, const SettingsFileContent& file, const std::string& fileName);

}  // namespace ombrix
