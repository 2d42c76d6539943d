// ombrix-cli restore on a nearly full projector: only the blocks the projector lacks
// count against its free blocks; a block it holds otherwise is named with the way out.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "BlockCommands.h"
#include "data/SettingsFile.h"
#include "../support/BlockBench.h"

namespace ombrix {
namespace {

using testing::MakeDescription;
using testing::Request;

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
    std::string out, err;
};

class Bench {
public:
    Bench() {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(kFullBus, &bus, &error)) << error;
        testing::WriteDescription("type5.dsc", MakeDescription(5, 'V', 20, 2, 0, {{0xef, 0x7f, 0, 0}}));
    }
    CliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        cli::CliPorts ports;
        ports.clock = &clock;
        ports.devices = &opener;
        ports.libraries = &libraries;
        ports.out = &out;
        ports.err = &err;
        bus.ClearTranscript();
        const int status = cli::RunBlockCommand(args, cli::LineOptions{}, ports);
        return {status, out.str(), err.str()};
    }
    int Writes() const {
        int n = 0;
        for (const Request& r : testing::Requests(bus)) n += r.command == 'q';
        return n;
    }
    void Change(size_t slot, std::function<void(sim::SimProjector&, sim::SimBlock&)> f) {
        bus.With(1, [&](sim::SimProjector& p) { f(p, p.blocks[slot]); });
    }

    testing::TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    DlLibraryLoader libraries;
};

struct RestoreCase {
    const char* label;
    std::function<void(Bench&)> change;  // what happens on the projector after the backup
    int status;
    std::string out;  // empty: not compared
    const char* outPart;
    int writes;
};

class Restore : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(Restore, CountsOnlyWhatIsMissing) {
    const RestoreCase& c = GetParam();
    Bench b;
    ASSERT_EQ(b.Run({"backup", "1", "b.set"}).status, 0);
    c.change(b);
    const CliRun r = b.Run({"restore", "b.set", "1", "--yes"});
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.out.empty()) {
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_NE(r.out.find(c.outPart), std::string::npos) << r.out;
    EXPECT_EQ(b.Writes(), c.writes);
    // Told --yes, nothing is asked; a restore that did its work warns of nothing.
    EXPECT_EQ(r.err.find("Confirmation"), std::string::npos) << r.err;
    if (c.status == 0) {
        EXPECT_EQ(r.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Trust, Restore,
    ::testing::Values(
        RestoreCase{"one_deleted_block_into_the_one_free_block",
                    [](Bench& b) { b.Change(1, [](sim::SimProjector& p, sim::SimBlock& s) { p.SetFree(s, true); }); },
                    0, "block 1 [40 01 20 34]: already in the projector\nblock 2 [00 02 21 36]: restored\n", "", 1},
        RestoreCase{"a_held_block_with_other_bytes_says_free_it_first",
                    [](Bench& b) { b.Change(1, [](sim::SimProjector&, sim::SimBlock& s) { s.data[5] ^= 1; }); }, 1, "",
                    "block 2 [00 02 21 36]: not restored: the projector holds another block with this header "
                    "(different at places 5); to replace it, free it first (ombrix-cli free-block 1 0x00 0x02 0x21 "
                    "0x36) and restore again\n",
                    0},
        RestoreCase{"a_failed_read_is_no_other_block",
                    [](Bench& b) { b.bus.SetFault(1, sim::Fault{sim::FaultKind::Nack, 0, 2, 6}); }, 1, "",
                    "but reading it failed (Projector sends NACK !)", 0}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ombrix
