#pragma once
// The explorer window's rules: its views, the clicks on its four icons, and the
// settings-file browser. The browser loads files into a RAM container of its own, so the
// blocks the communication window copied from the projectors are never touched.
#include <memory>
#include <string>

#include "blocks/BlockModel.h"
#include "blocks/ListToText.h"
#include "data/Formatting.h"
#include "platform/Env.h"

namespace ombrix {

constexpr int kExplorerViewNone = -1;
constexpr int kExplorerViewRamFiles = 1;
constexpr int kExplorerViewTextFiles = 3;

// The icons, top to bottom.
constexpr int kIconExploreProjector = 0;
constexpr int kIconExploreRamFiles = 1;
constexpr int kIconManagingGroups = 2;
constexpr int kIconManagingTextFiles = 3;

constexpr const char* kNotImplementedText = "Not implemented in standard version !";
constexpr const char* kNotImplementedCaption = "Warning";

enum class IconAction { Nothing, NotImplemented, ShowRamFiles, ShowTextFiles };

// What a click on an icon does (item -1: beside all items).
IconAction ClickIcon(int currentView, int item);
// The title pane's and the status bar's text of a view.
const char* ViewTitle(int view);

struct ExplorerSplit {
    int splitX = 0;
    int splitY = 0;
};
// The splitter bars' first positions in a client area of w × h at (left, top).
ExplorerSplit InitialSplit(int left, int top, int w, int h);
// splitY of the settings-file view: a third of the height below top.
int RamFilesSplitY(int top, int h);

struct RamBrowser {
    RamBrowser();
    std::unique_ptr<BlockTables> tables;
    bool fileLoaded = false;
    std::string fileTitle;
    // 1 while one block's parameters are listed, 0 while the file's rows are.
    int viewingBlock = 0;
    int chosenRow = -1;
    ParameterColumnSwitches switches;
};

// "Open File >>": the browser's container holds the file instead of what it held; error
// 26 when the file cannot be read, and the file shown before stays.
bool OpenRamFile(const Env& env, RamBrowser& browser, const std::string& path);
// The file's rows as the listing shows them.
ListModel RamFileListing(const Env& env, const RamBrowser& browser);

enum class ViewBlockResult { Shown, NothingSelected, TitleRow };
// View Block with the listing's first selected row (-1: none): warning 35 or 34, or the
// parameters of that row for its projector type, loaded from the description files of
// directory.
ViewBlockResult ViewBlock(const Env& env, RamBrowser& browser, int firstSelected, const std::string& directory,
                          ParameterListing* out);
// The parameters of the chosen row again, after a column switch changed.
bool RelistBlock(const Env& env, const RamBrowser& browser, const std::string& directory, ParameterListing* out);
// "Return to listing".
void ReturnToListing(RamBrowser& browser);
// Leaving the view or closing the window.
void LeaveRamFiles(RamBrowser& browser);

// "Convert to text": the listing type and the additional information of the text file.
const char* RamListingType(const RamBrowser& browser);
std::string RamListingInfo(const std::string& titleCaption);

// The column switch of a check box by its control id (1106, 6214-6218, 1131, 1132).
bool* ColumnSwitch(ParameterColumnSwitches& switches, int controlId);

}  // namespace ombrix
