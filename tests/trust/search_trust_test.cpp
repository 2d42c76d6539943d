// The address sets a search probes: the generated set whole after projectors were
// missed or dropped, the user's set as its file holds it (every address once, nothing
// outside 0-255), and a generated set that cannot be written said.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "discovery/AddressSets.h"
#include "discovery/BackgroundCheck.h"
#include "discovery/Search.h"
#include "../support/Loaders.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// The folder vanishes when the progress box closes: whatever the search writes after
// that fails.
class VanishingFolderUi : public RecordingUi {
public:
    std::string folder;
    void ProgressClose() override {
        RecordingUi::ProgressClose();
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
};

struct Program {
    explicit Program(const char* busText = testing::kThreeProjectors) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
        StartProgram(state);
        EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
    }
    std::vector<int> Probed() const {
        std::vector<int> out;
        for (const auto& e : bus.Transcript()) {
            if (!e.fromHost || e.bytes.size() != 9) continue;
            const uint8_t offset = e.bytes[1];
            if (static_cast<uint8_t>(e.bytes[3] - offset) == 'K') out.push_back(static_cast<uint8_t>(e.bytes[2] - offset));
        }
        return out;
    }
    std::vector<int> Connected() const {
        std::vector<int> a;
        for (int i = 0; i < state.projectors.connectedCount; ++i) a.push_back(state.projectors.records[static_cast<size_t>(i)].address);
        return a;
    }
    bool Search() {
        bus.ClearTranscript();
        ui.Clear();
        return SearchConnectedProjectors(state);
    }
    void Power(int address, bool on) { bus.Control("power " + std::to_string(address) + (on ? " on" : " off"), 0, nullptr); }

    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    VanishingFolderUi ui;
    testing::SelectiveLoader loader;
    ProgramState state{clock, ui, loader, opener};
};

// A projector switched off, a search and a check pass that drop projectors, then all
// switched on again: the next search asks every address of the generated set.
TEST(GeneratedSet, NoAnsweringProjectorIsDroppedForAnotherThatWasMissed) {
    TempDir dir;
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    ASSERT_TRUE(p.Search());
    ASSERT_EQ(ReadBytes("addr.cfg"), AddressFileBytes({1, 2, 3}));

    p.Power(1, false);
    ASSERT_TRUE(p.Search());
    EXPECT_EQ(p.Probed(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(p.Connected(), (std::vector<int>{2, 3}));

    p.Power(2, false);
    std::atomic<bool> stop{false};
    const std::vector<ProjectorRecord> snapshot(p.state.projectors.records.begin(),
                                                p.state.projectors.records.begin() + 2);
    ApplyCheckFindings(p.state, RunCheckPass(p.state.link, p.state.env, snapshot, false, stop));
    ASSERT_EQ(p.Connected(), (std::vector<int>{3}));
    EXPECT_EQ(p.state.options.searchLimit, 1);

    p.Power(1, true);
    p.Power(2, true);
    ASSERT_TRUE(p.Search());
    EXPECT_EQ(p.Probed(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(p.Connected(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ReadBytes("addr.cfg"), AddressFileBytes({1, 2, 3}));
}

// A search on the default addresses does not touch the user's set, and the dialog
// shows and keeps all of it afterwards.
TEST(UserSet, SurvivesASearchOnTheDefaultAddresses) {
    TempDir dir;
    Program p;
    WriteBytes("user_addr.cfg", AddressFileBytes({40, 41}));
    p.state.options.userAddressCount = 2;
    WriteBytes("addr.cfg", {});
    SetSearchMode(p.state.options, kCmdGeneratedSet);
    p.Search();  // an empty generated set: the default addresses 0-15
    EXPECT_EQ(p.Probed().size(), 16u);
    EXPECT_EQ(p.state.options.userAddressCount, 2);
    EXPECT_EQ(ReadBytes("user_addr.cfg"), AddressFileBytes({40, 41}));
    AddressSetDialog d(p.state);
    d.Open();
    EXPECT_EQ(d.Shown(), (std::vector<int32_t>{40, 41}));
    d.Add(3);
    EXPECT_EQ(ReadBytes("user_addr.cfg"), AddressFileBytes({40, 41, 3}));
}

// However large the file and its count, no address is probed twice and none outside
// 0-255 at all; the user is told what was left out.
TEST(UserSet, AHugeFileProbesEachAddressOnce) {
    TempDir dir;
    Program p;
    std::vector<int32_t> entries;
    for (int i = 0; i < 300000; ++i) entries.push_back(i % 2 ? 1 + i % 5 : 256 + i);
    WriteBytes("user_addr.cfg", AddressFileBytes(entries));
    p.state.options.userAddressCount = 300000;
    SetSearchMode(p.state.options, kCmdUserDefinedSet);
    ASSERT_TRUE(p.Search());
    EXPECT_EQ(p.Probed(), (std::vector<int>{2, 4, 1, 3, 5}));
    ASSERT_EQ(p.ui.Boxes().size(), 1u);
    EXPECT_EQ(p.ui.Boxes()[0].text,
              "user_addr.cfg: 8192 entries outside 0-255 skipped (256, 258, 260, 262, 264, 266, 268, 270, ...). "
              "8187 repeated entries probed once. Only the first 16384 entries were read.");
}

TEST(GeneratedSet, AFailedWriteIsSaid) {
    TempDir dir;
    std::filesystem::create_directory("work");
    std::filesystem::current_path("work");
    Program p;
    SetSearchMode(p.state.options, kCmdCheckTo16);
    p.ui.folder = std::filesystem::current_path().string();
    EXPECT_TRUE(p.Search());
    ASSERT_EQ(p.ui.Boxes().size(), 1u);
    EXPECT_EQ(p.ui.Boxes()[0].caption, "Error  2");
    EXPECT_NE(p.ui.Boxes()[0].detail.find("addr.cfg"), std::string::npos);
    std::filesystem::current_path(dir.Path());
}

}  // namespace
}  // namespace ombrix
