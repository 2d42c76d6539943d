#pragma once
// What the main frame shows in each of its three modes, as tables: menus, accelerators,
// toolbar slots and status-bar parts, and which commands the frame handles itself.
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ombrix {

enum class FrameMode { Main, Communication, Explorer };

// Command ids of the frame's menus and toolbars.
namespace cmd {
constexpr int kNew = 1001, kOpen = 1002, kSave = 1003, kSaveAs = 1004, kClose = 1005, kPrint = 1006,
              kPrintSetup = 1007, kExit = 1008;
constexpr int kUndo = 1101, kCut = 1102, kCopy = 1103, kPaste = 1104, kDelete = 1105, kSelectAll = 40001,
              kFont = 40002;
constexpr int kFind = 1201, kFindNext = 1202, kFindPrevious = 1203, kReplace = 1204;
constexpr int kTile = 1301, kCascade = 1302, kCloseAll = 1303, kArrangeIcons = 1304;
constexpr int kHelpTopics = 1310, kAbout = 1401;
constexpr int kOpenExplorer = 40006, kExplorerFromComm = 40119;
constexpr int kOpenCommunication = 40028, kCommFromExplorer = 40120;
constexpr int kMainFromExplorer = 40102, kMainFromComm = 40116;
constexpr int kCommSetup = 40008, kRemoteControl = 40018, kViewAddressSet = 40038;
constexpr int kCheckConnection = 40047;
constexpr int kSaveRam = 40083, kLoadRam = 40084, kOrganiseRam = 40085, kAppendRam = 40086;
constexpr int kNewGroup = 40082, kDeleteGroup = 40090, kRenameGroup = 40091, kSaveGrouping = 40098,
              kLoadGrouping = 40099;
constexpr int kSettings = 40100, kListProjectorBlocks = 40121, kListRamBlocks = 40122;
}  // namespace cmd

// One row of a menu, in display order. depth 0 is a menu of the bar; a popup's items
// follow it one level deeper. A row with neither text nor command is a separator.
struct MenuRow {
    int depth;
    const char* text;
    int commandId;  // 0 for a popup or a separator
    bool popup = false;
    bool checkable = false;
    bool disabled = false;  // greyed whatever the state
};

std::span<const MenuRow> ModeMenu(FrameMode mode);
// The menu's resource name: MDIMENUOBX, MDIMENUCOMMUNICATION, MDIMENUEDITOR.
const char* ModeMenuName(FrameMode mode);

struct Accelerator {
    const char* key;  // in the portable form "Ctrl+Alt+A", "F6", "Del"
    int commandId;
};
// MULTIPAD.
std::span<const Accelerator> Accelerators();
// nullptr when the command has no key.
const char* AcceleratorKey(int commandId);
// The key a menu item shows and answers to: its own, or that of the command it stands in
// for (the explorer's Communication item is F2 like Ombrix Communication).
const char* MenuItemKey(int commandId);
// Whether a key works in this mode: it belongs to the mode's menus or to the frame itself.
// The editor's keys stay with the widgets outside the explorer.
bool AcceleratorActive(FrameMode mode, int commandId);
// Whether an item of the mode's menus already answers to this key.
bool KeyInMenu(FrameMode mode, const char* key);

constexpr int kToolbarSlots = 23;
// Image strip of the mode's toolbar in kelvanebmp.
int ToolbarImage(FrameMode mode);
struct ToolbarSlot {
    int commandId;     // 0: separator
    int image;         // picture slot in the strip
    const char* name;  // the button's text where there is no picture
};
std::span<const ToolbarSlot, kToolbarSlots> ToolbarSlots(FrameMode mode);

// Status-bar parts left to right. The first takes what the others leave.
struct StatusPartInfo {
    const char* initial;  // text shown when the mode starts
    const char* sample;   // sizes the part (extent + 8); nullptr for the first
    const char* name;     // what assistive technology calls the part
};
std::span<const StatusPartInfo> StatusParts(FrameMode mode);
// Width of each part, laid out from the right edge of a client area this wide.
std::vector<int> StatusPartWidths(FrameMode mode, int clientWidth, const std::function<int(const char*)>& textWidth);
// Control id of the status bar: 501, 502 or 503.
int StatusBarId(FrameMode mode);
constexpr int kStatusSearchModePart = 2;
constexpr int kStatusClockPart = 4;
constexpr int kClockTimerId = 701;
constexpr int kClockIntervalMs = 1000;

// "%2d:%02d:%02d %s", 12-hour, hour 0 shown as 12.
std::string ClockText(int hour, int minute, int second);

// Status-bar help while the menus are in use: the id of the string to show, 0 for none.
enum class MenuHighlight { Item, BarPopup, SystemMenu, Closed };
// position: the popup's place in the mode's menu bar, counting the maximised child's
// system menu when there is one.
int MenuHelpStringId(FrameMode mode, MenuHighlight what, int commandIdOrPosition, bool childMaximised);

// What the frame does with a command; everything else goes to the working window.
enum class FrameAction {
    Forward,
    Exit,
    Tile,
    Cascade,
    CloseAll,
    ArrangeIcons,
    HelpTopics,
    About,
    OpenExplorer,
    OpenCommunication,
    MainMode,
    CommSetup,
    RemoteControl,
    ViewAddressSet,
    SearchMode,
    QuickSearch,  // switched on and off beside the search modes
    Nothing,  // taken and dropped
};
FrameAction RouteCommand(int commandId);

}  // namespace ombrix
