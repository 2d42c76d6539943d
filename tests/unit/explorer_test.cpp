// The explorer's rules: what the icons do, and the settings-file browser with its
// warnings, its listings and a RAM container of its own.
#include <gtest/gtest.h>

#include "blocks/RamContainer.h"
#include "data/SettingsFile.h"
#include "explorer/Explorer.h"
#include "platform/Library.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

TEST(ExplorerIcons, Clicks) {
    struct Case {
        const char* label;
        int view;
        int item;
        IconAction expected;
    };
    const Case cases[] = {
        {"Explore Projector is not available", kExplorerViewNone, kIconExploreProjector, IconAction::NotImplemented},
        {"Managing Groups is not available", kExplorerViewRamFiles, kIconManagingGroups, IconAction::NotImplemented},
        {"Explore RAMfiles from no view", kExplorerViewNone, kIconExploreRamFiles, IconAction::ShowRamFiles},
        {"Explore RAMfiles again does nothing", kExplorerViewRamFiles, kIconExploreRamFiles, IconAction::Nothing},
        {"text files from the browser", kExplorerViewRamFiles, kIconManagingTextFiles, IconAction::ShowTextFiles},
        {"text files again does nothing", kExplorerViewTextFiles, kIconManagingTextFiles, IconAction::Nothing},
        {"beside all items", kExplorerViewTextFiles, -1, IconAction::Nothing},
    };
    for (const Case& c : cases) EXPECT_EQ(ClickIcon(c.view, c.item), c.expected) << c.label;
}

TEST(ExplorerLayout, Splits) {
    const ExplorerSplit s = InitialSplit(0, 0, 1003, 601);
    EXPECT_EQ(s.splitX, 200);
    EXPECT_EQ(s.splitY, 300);
    EXPECT_EQ(RamFilesSplitY(0, 601), 200);
}

class RamFileBrowser : public ::testing::Test {
protected:
    RamFileBrowser() {
        strings_ = DlLibraryLoader().Load("kelvaneproj", nullptr);
        env_.ui = &ui_;
        env_.strings = strings_.get();
        // A file of one container of type 5 with two blocks.
        BlockTables t;
        ClearRamContainer(t);
        t.ramContainers[0] = {5, 0};
        t.ramContainerCount = 1;
        t.ramBlocks[0].projectorType = 5;
        t.ramBlocks[0].alphaId = 'V';
        t.ramBlocks[0].containerTitle = 1;
        for (int i = 1; i <= 2; ++i) {
            RAMBlock& b = t.ramBlocks[static_cast<size_t>(i)];
            b.projectorType = 5;
            b.alphaId = 'V';
            b.header = BlockHeader{40, static_cast<uint8_t>(i), 1, 0x20, 2, 0, 0};
        }
        t.ramRowCount = 3;
        std::vector<uint8_t> bytes;
        SerializeSettings(t, &bytes);
        testing::WriteBytes("two.set", bytes);
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const RecordedBox& b : ui_.Boxes()) out.push_back(b.caption);
        return out;
    }
    testing::TempDir dir_;
    std::unique_ptr<Library> strings_;
    RecordingUi ui_;
    Env env_;
    RamBrowser browser_;
};

TEST_F(RamFileBrowser, OpensListsAndEmptiesOnLeaving) {
    ASSERT_TRUE(OpenRamFile(env_, browser_, dir_.Path() + "/two.set"));
    EXPECT_EQ(browser_.fileTitle, "two.set");
    EXPECT_EQ(RamFileListing(env_, browser_).rows.size(), 3u);
    EXPECT_STREQ(RamListingType(browser_), "Listing of RAMfile");

    LeaveRamFiles(browser_);
    EXPECT_EQ(browser_.tables->ramRowCount, 0);
    EXPECT_EQ(browser_.tables->ramContainerCount, 0);

    EXPECT_FALSE(OpenRamFile(env_, browser_, "missing.set"));
    EXPECT_EQ(Captions(), std::vector<std::string>{"Error  26"});
    EXPECT_EQ(browser_.tables->ramRowCount, 0);
}

TEST_F(RamFileBrowser, AFileThatCannotBeReadLeavesTheShownOne) {
    ASSERT_TRUE(OpenRamFile(env_, browser_, "two.set"));
    testing::WriteBytes("short.set", std::vector<uint8_t>{1, 2, 3});
    for (const char* bad : {"missing.set", "short.set"}) {
        EXPECT_FALSE(OpenRamFile(env_, browser_, bad)) << bad;
        EXPECT_EQ(browser_.fileTitle, "two.set") << bad;
        EXPECT_EQ(RamFileListing(env_, browser_).rows.size(), 3u) << bad;
    }
}

TEST_F(RamFileBrowser, ViewBlockWarningsAndParameters) {
    ASSERT_TRUE(OpenRamFile(env_, browser_, "two.set"));
    struct Case {
        const char* label;
        int selected;
        ViewBlockResult expected;
        const char* caption;
    };
    const Case cases[] = {
        {"nothing selected", -1, ViewBlockResult::NothingSelected, "Warning  35"},
        {"a container title row", 0, ViewBlockResult::TitleRow, "Warning  34"},
    };
    for (const Case& c : cases) {
        ui_.Clear();
        ParameterListing listing;
        EXPECT_EQ(ViewBlock(env_, browser_, c.selected, OMBRIX_DATA_DIR, &listing), c.expected) << c.label;
        EXPECT_EQ(Captions(), std::vector<std::string>{c.caption}) << c.label;
        EXPECT_EQ(browser_.viewingBlock, 0) << c.label;
    }

    ui_.Clear();
    ParameterListing listing;
    ASSERT_EQ(ViewBlock(env_, browser_, 2, OMBRIX_DATA_DIR, &listing), ViewBlockResult::Shown);
    EXPECT_TRUE(ui_.Boxes().empty());
    EXPECT_EQ(browser_.viewingBlock, 1);
    EXPECT_EQ(browser_.chosenRow, 2);
    EXPECT_FALSE(listing.list.rows.empty());
    EXPECT_STREQ(RamListingType(browser_), "Listing contents of RAMBlock");

    // A column switch lists the same block with one column more.
    const size_t columns = listing.list.headings.size();
    *ColumnSwitch(browser_.switches, 6216) = true;
    ParameterListing wider;
    ASSERT_TRUE(RelistBlock(env_, browser_, OMBRIX_DATA_DIR, &wider));
    EXPECT_EQ(wider.list.headings.size(), columns + 1);

    ReturnToListing(browser_);
    EXPECT_EQ(browser_.viewingBlock, 0);
    EXPECT_EQ(browser_.chosenRow, -1);
}

TEST(RamListing, InfoIsCutToFiftyCharacters) {
    EXPECT_EQ(RamListingInfo(std::string(60, 'x')).size(), 50u);
    EXPECT_EQ(RamListingInfo("two.set"), "two.set");
}

}  // namespace
}  // namespace ombrix
