// ombrix-cli's block commands in-process against the simulator: a backup, a change on
// the projector, a restore and a verification, and the rules that keep files and blocks
// safe.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "BlockCommands.h"
#include "data/SettingsFile.h"
#include "../support/BlockBench.h"

namespace ombrix {
namespace {

using testing::MakeDescription;
using testing::ReadBytes;
using testing::Request;

const char kBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active seed=1
block = 00 36 02 21 seed=2
block = ff 3c 03 41 free seed=3
free-blocks = 2
special = ef 7f 00 00

)";

// Two blocks in use and not one free block.
const char kFullBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active seed=1
block = 00 36 02 21 seed=2
free-blocks = 0
special = ef 7f 00 00
)";

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class BlockCli {
public:
    explicit BlockCli(const char* busText = kBus, int blockCount = 5) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
        testing::WriteDescription("type5.dsc", MakeDescription(5, 'V', 20, blockCount, 0, {{0xef, 0x7f, 0, 0}}));
    }
    CliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        cli::CliPorts ports;
        ports.clock = &clock;
        ports.devices = devices;
        ports.libraries = &libraries;
        ports.out = &out;
        ports.err = &err;
        bus.ClearTranscript();
        const int status = cli::RunBlockCommand(args, cli::LineOptions{}, ports);
        return {status, out.str(), err.str()};
    }
    std::vector<Request> Writes() const {
        std::vector<Request> out;
        for (const Request& r : testing::Requests(bus)) {
            if (r.command == 'q' || r.command == 's') out.push_back(r);
        }
        return out;
    }
    void ChangeSim(size_t slot, std::function<void(sim::SimProjector&, sim::SimBlock&)> f) {
        bus.With(1, [&](sim::SimProjector& p) { f(p, p.blocks[slot]); });
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    DeviceOpener* devices = &opener;
    DlLibraryLoader libraries;
};

// The simulator's line hangs up right after the nth request with this command went out,
// as a device server that closes the connection mid-operation.
class HangUpAfter final : public DeviceOpener {
public:
    HangUpAfter(BlockCli& c, uint8_t command, int nth) : c_(c), command_(command), nth_(nth) {}
    std::unique_ptr<SerialDevice> Open(const std::string& path, SysError* error) override {
        c_.bus.RestoreLine();
        auto inner = c_.opener.Open(path, error);
        return inner ? std::make_unique<Device>(std::move(inner), *this) : nullptr;
    }

private:
    class Device final : public SerialDevice {
    public:
        Device(std::unique_ptr<SerialDevice> inner, HangUpAfter& owner) : inner_(std::move(inner)), owner_(owner) {}
        bool Configure(const LineSettings& s, SysError* e) override { return inner_->Configure(s, e); }
        bool PutByte(uint8_t b) override { return inner_->PutByte(b); }
        bool PutBytes(const uint8_t* data, size_t n) override {
            const bool ok = inner_->PutBytes(data, n);
            if (n == 9 && data[0] == 0x02 && static_cast<uint8_t>(data[3] - data[1]) == owner_.command_ &&
                ++owner_.seen_ == owner_.nth_) {
                owner_.c_.bus.DropLine();
            }
            return ok;
        }
        int InputCount() override { return inner_->InputCount(); }
        bool LineDropped() override { return inner_->LineDropped(); }
        int GetByte() override { return inner_->GetByte(); }
        void WaitInput(uint32_t ms) override { inner_->WaitInput(ms); }
        void Purge() override { inner_->Purge(); }
        void SetDtr(bool on) override { inner_->SetDtr(on); }

    private:
        std::unique_ptr<SerialDevice> inner_;
        HangUpAfter& owner_;
    };
    BlockCli& c_;
    uint8_t command_;
    int nth_;
    int seen_ = 0;
};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The line hangs up during the block reads of a backup or a verification: the command
// stops there and says so once; no file, no verdict on the blocks it could not read.
TEST(BlockCli, ALineLostMidwayIsSaidOnceAndWritesNoFile) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int nthRead;  // the header table is read 1; the blocks follow
    };
    for (const Case& k : {Case{"backup_header_table", {"backup", "1", "new.set"}, 1},
                          Case{"backup_first_block", {"backup", "1", "new.set"}, 2},
                          Case{"backup_second_block", {"backup", "1", "new.set"}, 3},
                          Case{"verify_header_table", {"verify", "good.set", "1"}, 1},
                          Case{"verify_second_block", {"verify", "good.set", "1"}, 3},
                          Case{"restore_header_table", {"restore", "good.set", "1", "--yes"}, 1}}) {
        SCOPED_TRACE(k.label);
        BlockCli c;
        ASSERT_EQ(c.Run({"backup", "1", "good.set"}).status, 0);
        HangUpAfter hangUp(c, 'r', k.nthRead);
        c.devices = &hangUp;
        const CliRun r = c.Run(k.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(std::filesystem::exists("new.set"));
        EXPECT_EQ(Count(r.err, "was lost."), 1u) << r.err;
        EXPECT_EQ(Count(r.err, "doesn't send ACK"), 0u) << r.err;
        EXPECT_EQ(Count(r.out, "identical"), k.nthRead == 3 && k.args[0] == "verify" ? 1u : 0u) << r.out;
    }
}

// A restore that fails after it began to write names what it wrote, and the same
// restore run again completes it.
TEST(BlockCli, ARestoreCutShortSaysWhatWasWrittenAndRunsAgainToTheEnd) {
    BlockCli c;
    ASSERT_EQ(c.Run({"backup", "1", "b.set"}).status, 0);
    c.ChangeSim(0, [](sim::SimProjector& p, sim::SimBlock& b) { p.SetFree(b, true); });
    c.ChangeSim(1, [](sim::SimProjector& p, sim::SimBlock& b) { p.SetFree(b, true); });
    // The first block is written; the line goes with the second one's request.
    HangUpAfter hangUp(c, 'q', 2);
    c.devices = &hangUp;
    CliRun r = c.Run({"restore", "b.set", "1", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: written (acknowledged), not read back: the line was lost\n"
                     "block 2 [00 02 21 36]: not written\n");
    EXPECT_EQ(Count(r.err, "was lost."), 1u) << r.err;
    EXPECT_NE(r.err.find("the restore stopped after writing 1 of 2 blocks (block 1 [40 01 20 34]); running the same "
                         "restore again writes the rest"),
              std::string::npos)
        << r.err;
    c.devices = &c.opener;
    c.bus.RestoreLine();
    r = c.Run({"restore", "b.set", "1", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: already in the projector\nblock 2 [00 02 21 36]: restored\n");
}

TEST(BlockCli, BackupChangeRestoreVerify) {
    BlockCli c;
    CliRun r = c.Run({"backup", "1", "b.set"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "backup: 2 blocks of projector 1 saved in b.set\n");
    // Identical means the file holds the projector's bytes.
    r = c.Run({"verify", "b.set", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: identical\nblock 2 [00 02 21 36]: identical\n");

    c.ChangeSim(1, [](sim::SimProjector&, sim::SimBlock& b) { b.data[5] ^= 1; });
    r = c.Run({"verify", "b.set", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: identical\nblock 2 [00 02 21 36]: different at places 5\n");

    // Block 2 is deleted on the projector: restore writes it back into a free block only,
    // and only when told to.
    c.ChangeSim(1, [](sim::SimProjector& p, sim::SimBlock& b) { p.SetFree(b, true); });
    r = c.Run({"verify", "b.set", "1"});
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: identical\nblock 2 [00 02 21 36]: missing\n");
    r = c.Run({"restore", "b.set", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Confirmation: Are you sure you want to copy all of the selected blocks to the free blocks"),
              std::string::npos);
    EXPECT_TRUE(c.Writes().empty());
    r = c.Run({"restore", "b.set", "1", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "block 1 [40 01 20 34]: already in the projector\nblock 2 [00 02 21 36]: restored\n");
    EXPECT_EQ(c.Writes(), (std::vector<Request>{{'q', {0x00, 0x02, 0x21, 0x36}}}));
    EXPECT_EQ(c.Run({"verify", "b.set", "1"}).status, 0);
}

TEST(BlockCli, FilesAreKeptUnlessAskedOtherwise) {
    BlockCli c;
    EXPECT_EQ(c.Run({"search"}).status, -1);  // not a block command
    testing::WriteBytes("b.set", {1, 2, 3});
    CliRun r = c.Run({"backup", "1", "b.set"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(c.bus.Transcript().empty());
    // An append to a file that is no settings file changes nothing either.
    r = c.Run({"backup", "1", "b.set", "--append"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes("b.set"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(c.Run({"backup", "1", "b.set", "--force"}).status, 0);
    ASSERT_EQ(c.Run({"backup", "1", "b.set", "--append"}).status, 0);
    SettingsFileContent file;
    ASSERT_TRUE(ReadSettingsFile("b.set", &file, nullptr));
    EXPECT_EQ(file.rows.size(), 5u);
    // A block that cannot be read leaves the file as it was: probe (3) and list (3) pass.
    const std::vector<uint8_t> before = ReadBytes("b.set");
    c.bus.SetFault(1, sim::Fault{sim::FaultKind::Nack, 0, 1, 6});
    r = c.Run({"backup", "1", "b.set", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadBytes("b.set"), before);
}

// From some exchange on, a stray byte precedes every answer: the probe (0), the list (3),
// the first block (6) or the second (7). No file and no verdict come of it.
TEST(BlockCli, AStrayByteBeforeTheAnswersGivesNoFileAndNoVerdict) {
    struct Case {
        int skip;
        size_t verdicts;  // blocks read before the stray bytes began
    };
    for (const Case& k : {Case{0, 0}, Case{3, 0}, Case{6, 0}, Case{7, 1}}) {
        const int skip = k.skip;
        SCOPED_TRACE(skip);
        BlockCli c;
        ASSERT_EQ(c.Run({"backup", "1", "good.set"}).status, 0);
        c.bus.SetFault(1, sim::Fault{sim::FaultKind::GarbageBefore, 1, -1, skip});
        EXPECT_EQ(c.Run({"backup", "1", "b.set"}).status, 1);
        EXPECT_FALSE(std::filesystem::exists("b.set"));
        c.bus.SetFault(1, sim::Fault{sim::FaultKind::GarbageBefore, 1, -1, skip});
        const CliRun r = c.Run({"verify", "good.set", "1"});
        EXPECT_EQ(r.status, 1);
        size_t verdicts = 0;
        for (const char* word : {"identical", "different"}) {
            for (size_t at = r.out.find(word); at != std::string::npos; at = r.out.find(word, at + 1)) ++verdicts;
        }
        EXPECT_EQ(verdicts, k.verdicts) << r.out;
    }
}

TEST(BlockCli, ListsBlocksWithTheActiveOneMarked) {
    BlockCli c;
    const CliRun r = c.Run({"blocks", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Listing type    :Listing projector blocks\nAdditional Info :Overview Blocks in Projector "
                         "with address 1\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("-\n|1 *           |1     |RGB"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n|6             |Common|----"), std::string::npos) << r.out;
}

// restore on a nearly full projector: only the blocks the projector lacks count against
// its free blocks; a block it holds otherwise is named with the way out.
struct RestoreCase {
    const char* label;
    std::function<void(BlockCli&)> change;  // what happens on the projector after the backup
    int status;
    std::string out;  // empty: not compared
    const char* outPart;
    int writes;
};

class Restore : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(Restore, CountsOnlyWhatIsMissing) {
    const RestoreCase& c = GetParam();
    BlockCli b(kFullBus, 2);
    ASSERT_EQ(b.Run({"backup", "1", "b.set"}).status, 0);
    c.change(b);
    const CliRun r = b.Run({"restore", "b.set", "1", "--yes"});
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.out.empty()) {
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_NE(r.out.find(c.outPart), std::string::npos) << r.out;
    EXPECT_EQ(b.Writes().size(), static_cast<size_t>(c.writes));
    // Told --yes, nothing is asked; a restore that did its work warns of nothing.
    EXPECT_EQ(r.err.find("Confirmation"), std::string::npos) << r.err;
    if (c.status == 0) {
        EXPECT_EQ(r.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    BlockCli, Restore,
    ::testing::Values(
        RestoreCase{"one_deleted_block_into_the_one_free_block",
                    [](BlockCli& b) { b.ChangeSim(1, [](sim::SimProjector& p, sim::SimBlock& s) { p.SetFree(s, true); }); },
                    0, "block 1 [40 01 20 34]: already in the projector\nblock 2 [00 02 21 36]: restored\n", "", 1},
        RestoreCase{"a_held_block_with_other_bytes_says_free_it_first",
                    [](BlockCli& b) { b.ChangeSim(1, [](sim::SimProjector&, sim::SimBlock& s) { s.data[5] ^= 1; }); }, 1, "",
                    "block 2 [00 02 21 36]: not restored: the projector holds another block with this header "
                    "(different at places 5); to replace it, free it first (ombrix-cli free-block 1 0x00 0x02 0x21 "
                    "0x36) and restore again\n",
                    0},
        RestoreCase{"a_failed_read_is_no_other_block",
                    [](BlockCli& b) { b.bus.SetFault(1, sim::Fault{sim::FaultKind::Nack, 0, 2, 6}); }, 1, "",
                    "but reading it failed (Projector sends NACK !)", 0}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ombrix
