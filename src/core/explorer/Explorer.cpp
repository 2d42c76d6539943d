#include "explorer/Explorer.h"

#include "blocks/RamContainer.h"
#include "data/SettingsFile.h"
#include "projector/Messages.h"

namespace ombrix {

IconAction ClickIcon(int currentView, int item) {
    switch (item) {
        case kIconExploreProjector:
        case kIconManagingGroups:
            return IconAction::NotImplemented;
        case kIconExploreRamFiles:
            return currentView == kExplorerViewRamFiles ? IconAction::Nothing : IconAction::ShowRamFiles;
        case kIconManagingTextFiles:
            return currentView == kExplorerViewTextFiles ? IconAction::Nothing : IconAction::ShowTextFiles;
        default:
            return IconAction::Nothing;
    }
}

const char* ViewTitle(int view) {
    if (view == kExplorerViewRamFiles) return "Explore RAMfiles";
    if (view == kExplorerViewTextFiles) return "Managing textfiles";
    return "None";
}

ExplorerSplit InitialSplit(int left, int top, int w, int h) {
    return {left + static_cast<int>(w * 0.2), top + static_cast<int>(h * 0.5)};
}

int RamFilesSplitY(int top, int h) { return (h - top) / 3; }

RamBrowser::RamBrowser() : tables(std::make_unique<BlockTables>()) { ClearRamContainer(*tables); }

bool OpenRamFile(const Env& env, RamBrowser& browser, const std::string& path) {
    // Loaded beside the shown file, which stays (with its title and listing) when the
    // new one cannot be read.
    auto loaded = std::make_unique<BlockTables>();
    ClearRamContainer(*loaded);
    if (!LoadSettingsFile(env, *loaded, false, path)) return false;
    browser.tables = std::move(loaded);
    browser.fileLoaded = true;
    browser.viewingBlock = 0;
    browser.chosenRow = -1;
    const size_t slash = path.find_last_of('/');
    browser.fileTitle = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return true;
}

ListModel RamFileListing(const Env& env, const RamBrowser& browser) { return RamListModel(env, *browser.tables); }

namespace {

bool ListRow(const Env& env, const RamBrowser& browser, int row, const std::string& directory,
             ParameterListing* out) {
    const RAMBlock& block = browser.tables->ramBlocks[static_cast<size_t>(row)];
    return FillParameterList(env, directory, block.projectorType, block.alphaId, &block, browser.switches, out);
}

}  // namespace

ViewBlockResult ViewBlock(const Env& env, RamBrowser& browser, int firstSelected, const std::string& directory,
                          ParameterListing* out) {
    const BlockTables& t = *browser.tables;
    const int row = browser.chosenRow >= 0 ? browser.chosenRow : firstSelected;
    if (row < 0 || row >= t.ramRowCount) {
        ShowWarning(env, 35);
        return ViewBlockResult::NothingSelected;
    }
    if (t.ramBlocks[static_cast<size_t>(row)].containerTitle) {
        ShowWarning(env, 34);
        return ViewBlockResult::TitleRow;
    }
    browser.viewingBlock = 1;
    browser.chosenRow = row;
    ListRow(env, browser, row, directory, out);
    return ViewBlockResult::Shown;
}

bool RelistBlock(const Env& env, const RamBrowser& browser, const std::string& directory, ParameterListing* out) {
    if (!browser.viewingBlock || browser.chosenRow < 0) return false;
    return ListRow(env, browser, browser.chosenRow, directory, out);
}

void ReturnToListing(RamBrowser& browser) {
    browser.chosenRow = -1;
    browser.viewingBlock = 0;
}

void LeaveRamFiles(RamBrowser& browser) {
    if (browser.tables->ramRowCount > 0) ClearRamContainer(*browser.tables);
    browser.fileLoaded = false;
    browser.fileTitle.clear();
    ReturnToListing(browser);
}

const char* RamListingType(const RamBrowser& browser) {
    return browser.viewingBlock ? "Listing contents of RAMBlock" : "Listing of RAMfile";
}

std::string RamListingInfo(const std::string& titleCaption) { return titleCaption.substr(0, 50); }

bool* ColumnSwitch(ParameterColumnSwitches& s, int controlId) {
    switch (controlId) {
        case 1106: return &s.step;
        case 6214: return &s.da1;
        case 6215: return &s.da2;
        case 6216: return &s.kind;
        case 1131: return &s.color;
        case 1132: return &s.direction;
        case 6217: return &s.direct;
        case 6218: return &s.options;
        default: return nullptr;
    }
}

}  // namespace ombrix
