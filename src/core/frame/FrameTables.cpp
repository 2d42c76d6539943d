#include "frame/FrameTables.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <cstdio>

#include "discovery/QuickSearch.h"
#include "discovery/Search.h"

namespace ombrix {
namespace {

using namespace cmd;

constexpr MenuRow kSeparator1{1, nullptr, 0};

constexpr MenuRow kHelpMenu[] = {
    {0, "&Help", 0, true},
    {1, "&About", kAbout},
    {1, "&Help topics", kHelpTopics},
};

constexpr MenuRow kWindowMenu[] = {
    {0, "&Window", 0, true},
    {1, "&Tile", kTile},
    {1, "&Cascade", kCascade},
};

template <size_t... N>
constexpr auto Join(const MenuRow (&... parts)[N]) {
    std::array<MenuRow, (N + ...)> out{};
    size_t at = 0;
    ((std::copy(std::begin(parts), std::end(parts), out.begin() + static_cast<std::ptrdiff_t>(at)), at += N), ...);
    return out;
}

constexpr MenuRow kMainOwn[] = {
    {0, "&File", 0, true},
    {1, "Ombrix &Communication", kOpenCommunication},
    {1, "Ombrix &Explorer", kOpenExplorer},
    kSeparator1,
    {1, "E&xit", kExit},
    {0, "&Options", 0, true},
    {1, "&Search for connected projectors", 0, true},
    {2, "&Search  automatically", 0, true},
    {3, "&Check to address 16", kCmdCheckTo16, false, true},
    {3, "C&heck to address 128", kCmdCheckTo128, false, true},
    {3, "Ch&eck to address 256", kCmdCheckTo256, false, true},
    {3, "Check within &range", kCmdCheckRange, false, true},
    {2, "S&earch with predefined addresses", 0, true},
    {3, "&Use userdefined addresset", kCmdUserDefinedSet, false, true},
    {3, "&Use generated addresset", kCmdGeneratedSet, false, true},
    {2, "&Skip search", kCmdSkipSearch, false, true},
    {2, "&Quick search", kCmdQuickSearch, false, true},
    kSeparator1,
    {1, "&View adressset ...", kViewAddressSet},
    {1, "&Communication setup", kCommSetup},
};

constexpr MenuRow kCommOwn[] = {
    {0, "&File", 0, true},
    {1, "&Main", kMainFromComm},
    {1, "&Explorer", kExplorerFromComm},
    kSeparator1,
    {1, "E&xit", kExit},
    {0, "File &management", 0, true},
    {1, "&Save RAM to file", kSaveRam},
    {1, "&Load RAM from file", kLoadRam},
    {1, "&Append file to RAM container", kAppendRam},
    {0, "&Group management", 0, true},
    {1, "&Load grouping", kLoadGrouping},
    {1, "&Save grouping", kSaveGrouping},
    kSeparator1,
    {1, "&New group", kNewGroup},
    {1, "&Delete group", kDeleteGroup},
    {1, "&Rename group", kRenameGroup},
    {0, "&Options", 0, true},
    // The check runs on its timer alone.
    {1, "&Check Connection ...", kCheckConnection, false, false, true},
    {1, "&Organise RAM containers", kOrganiseRam},
    {1, "S&ettings", kSettings},
    kSeparator1,
    {1, "Listing &projector blocks to text", kListProjectorBlocks},
    {1, "Listing RA&M blocks to text", kListRamBlocks},
    kSeparator1,
    {1, "&Remote control", kRemoteControl},
};

constexpr MenuRow kExplorerOwn[] = {
    {0, "&File", 0, true},
    {1, "&Communication", kCommFromExplorer},
    {1, "&Main", kMainFromExplorer},
    kSeparator1,
    {1, "&New", kNew},
    {1, "&Open...", kOpen},
    {1, "&Save", kSave},
    {1, "Save &as...", kSaveAs},
    {1, "C&lose", kClose},
    kSeparator1,
    {1, "&Print...", kPrint},
    {1, "P&rint setup...", kPrintSetup},
    kSeparator1,
    {1, "E&xit", kExit},
    {0, "&Edit", 0, true},
    {1, "&Undo", kUndo},
    kSeparator1,
    {1, "Cu&t", kCut},
    {1, "&Copy", kCopy},
    {1, "&Delete", kDelete},
    {1, "&Paste", kPaste},
    kSeparator1,
    {1, "Select &all", kSelectAll},
    {1, "&Font...", kFont},
    {0, "&Search", 0, true},
    {1, "&Find...", kFind},
    {1, "&Replace...", kReplace},
    {1, "Find &next", kFindNext},
    {1, "Find &previous", kFindPrevious},
};

constexpr auto kMainMenu = Join(kMainOwn, kHelpMenu);
constexpr auto kCommMenu = Join(kCommOwn, kWindowMenu, kHelpMenu);
constexpr auto kExplorerMenu = Join(kExplorerOwn, kWindowMenu, kHelpMenu);

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", kNew},        {"Ctrl+O", kOpen},          {"Ctrl+S", kSave},
    {"Ctrl+P", kPrint},      {"Ctrl+Q", kExit},          {"Ctrl+Z", kUndo},
    {"Ctrl+X", kCut},        {"Ctrl+C", kCopy},          {"Ctrl+V", kPaste},
    {"Del", kDelete},        {"Ctrl+Alt+A", kSelectAll}, {"Ctrl+F", kFind},
    {"Ctrl+H", kReplace},    {"F6", kFindNext},          {"F7", kFindPrevious},
    {"F1", kHelpTopics},     {"F2", kOpenCommunication}, {"F3", kOpenExplorer},
    {"F5", kRemoteControl},  {"Alt+C", kCheckConnection}, {"Alt+S", kCommSetup},
    {"Alt+V", kViewAddressSet},
    // Inside the communication window F2 names the selected group, as in a tree anywhere.
    {"F2", kRenameGroup},
};

// The toolbars name their commands; the rest of the 23 slots are spacing.
constexpr ToolbarSlot S = {0, 0, nullptr};
constexpr ToolbarSlot kMainSlots[kToolbarSlots] = {
    {kOpenCommunication, 0, "Communication"}, {kOpenExplorer, 1, "Explorer"}, S,
    {kCommSetup, 2, "Communication setup"}, S, S, {kAbout, 8, "About"},
    S, S, S, S, S, S, S, S, S, S, S, S, S, S, S, S,
};
constexpr ToolbarSlot kCommSlots[kToolbarSlots] = {
    {kMainFromComm, 9, "Main"}, {kExplorerFromComm, 1, "Explorer"}, S, {kRemoteControl, 3, "Remote control"}, S, S,
    {kLoadRam, 4, "Load RAM"}, {kSaveRam, 5, "Save RAM"}, {kAppendRam, 6, "Append RAM"}, S, S,
    {kSettings, 7, "Settings"}, S, S, {kAbout, 8, "About"}, S, S, S, S, S, S, S, S,
};
constexpr ToolbarSlot kExplorerSlots[kToolbarSlots] = {
    {kMainFromExplorer, 0, "Main"}, {kCommFromExplorer, 1, "Communication"}, S, {kNew, 2, "New"},
    {kOpen, 3, "Open"}, {kSave, 4, "Save"}, S, {kCut, 5, "Cut"}, {kCopy, 6, "Copy"}, {kPaste, 7, "Paste"}, S,
    {kPrint, 8, "Print"}, S, {kAbout, 9, "About"}, S, S, S, S, S, S, S, S, S,
};

constexpr StatusPartInfo kMainParts[] = {
    {"Lumenar", nullptr, "Status"},
    {"Option:", "Option:", "Option:"},
    {"", "Use userdefined addressset", "Search mode"},
    {"Time:", "Time:", "Time:"},
    {"", "00:00:00 PM", "Time"},
};
constexpr StatusPartInfo kCommParts[] = {
    {"Communication", nullptr, "Status"},
    {"Address:", "Address:", "Address:"},
    {"", "00000", "Address"},
    {"Selection:", "Selection:", "Selection:"},
    {"", "Direct Access", "Selection"},
};
constexpr StatusPartInfo kExplorerParts[] = {
    {"Explorer", nullptr, "Status"},
    {"Selection:", "Selection:", "Selection:"},
    {"None", "Managing textfiles", "Selection"},
};

struct Route {
    int commandId;
    FrameAction action;
};
constexpr Route kRoutes[] = {
    {kExit, FrameAction::Exit},
    {kTile, FrameAction::Tile},
    {kCascade, FrameAction::Cascade},
    {kCloseAll, FrameAction::CloseAll},
    {kArrangeIcons, FrameAction::ArrangeIcons},
    {kHelpTopics, FrameAction::HelpTopics},
    {kAbout, FrameAction::About},
    {kOpenExplorer, FrameAction::OpenExplorer},
    {kExplorerFromComm, FrameAction::OpenExplorer},
    {kOpenCommunication, FrameAction::OpenCommunication},
    {kCommFromExplorer, FrameAction::OpenCommunication},
    {kMainFromExplorer, FrameAction::MainMode},
    {kMainFromComm, FrameAction::MainMode},
    {kCommSetup, FrameAction::CommSetup},
    {kRemoteControl, FrameAction::RemoteControl},
    {kViewAddressSet, FrameAction::ViewAddressSet},
    {kCmdCheckTo16, FrameAction::SearchMode},
    {kCmdCheckTo128, FrameAction::SearchMode},
    {kCmdCheckTo256, FrameAction::SearchMode},
    {kCmdCheckRange, FrameAction::SearchMode},
    {kCmdUserDefinedSet, FrameAction::SearchMode},
    {kCmdGeneratedSet, FrameAction::SearchMode},
    {kCmdSkipSearch, FrameAction::SearchMode},
    {kCmdQuickSearch, FrameAction::QuickSearch},
    {kOrganiseRam, FrameAction::Nothing},
    {kCheckConnection, FrameAction::Nothing},
};

// Help strings of each mode's bar menus, after the maximised child's system menu (901).
// The explorer's bar is the one the numbering 1000…1400 was made for; the other modes
// name their own menus, so Options never says it edits the text.
constexpr int kMainPopupHelp[] = {901, 1000, 1500, 1400};
constexpr int kCommPopupHelp[] = {901, 1000, 1600, 1700, 1800, 1300, 1400};
constexpr int kExplorerPopupHelp[] = {901, 1000, 1100, 1200, 1300, 1400};

struct ModeTables {
    std::span<const MenuRow> menu;
    const char* menuName;
    std::span<const ToolbarSlot, kToolbarSlots> slots;
    int strip;
    std::span<const StatusPartInfo> parts;
    int statusBarId;
    std::span<const int> popupHelp;
};

const ModeTables& Tables(FrameMode mode) {
    static const ModeTables kMain{kMainMenu, "MDIMENUOBX", kMainSlots, 200, kMainParts, 501, kMainPopupHelp};
    static const ModeTables kComm{kCommMenu, "MDIMENUCOMMUNICATION", kCommSlots, 200, kCommParts, 502, kCommPopupHelp};
    static const ModeTables kExplorer{kExplorerMenu, "MDIMENUEDITOR", kExplorerSlots, 201, kExplorerParts, 503, kExplorerPopupHelp};
    switch (mode) {
        case FrameMode::Communication: return kComm;
        case FrameMode::Explorer: return kExplorer;
        case FrameMode::Main: break;
    }
    return kMain;
}

}  // namespace

std::span<const MenuRow> ModeMenu(FrameMode mode) { return Tables(mode).menu; }

const char* ModeMenuName(FrameMode mode) { return Tables(mode).menuName; }

std::span<const Accelerator> Accelerators() { return kAccelerators; }

const char* AcceleratorKey(int commandId) {
    for (const Accelerator& a : kAccelerators)
        if (a.commandId == commandId) return a.key;
    return nullptr;
}

const char* MenuItemKey(int commandId) {
    switch (commandId) {
        case kExplorerFromComm: return AcceleratorKey(kOpenExplorer);
        case kCommFromExplorer: return AcceleratorKey(kOpenCommunication);
        default: return AcceleratorKey(commandId);
    }
}

bool KeyInMenu(FrameMode mode, const char* key) {
    const auto menu = ModeMenu(mode);
    return std::any_of(menu.begin(), menu.end(), [&](const MenuRow& row) {
        const char* shown = row.commandId ? MenuItemKey(row.commandId) : nullptr;
        return shown && std::string_view(shown) == key;
    });
}

bool AcceleratorActive(FrameMode mode, int commandId) {
    // Opened again from inside itself the window would start a whole new search.
    if (mode == FrameMode::Communication && RouteCommand(commandId) == FrameAction::OpenCommunication) return false;
    if (RouteCommand(commandId) != FrameAction::Forward) return true;
    const auto menu = ModeMenu(mode);
    return std::any_of(menu.begin(), menu.end(), [&](const MenuRow& r) { return r.commandId == commandId; });
}

int ToolbarImage(FrameMode mode) { return Tables(mode).strip; }

std::span<const ToolbarSlot, kToolbarSlots> ToolbarSlots(FrameMode mode) { return Tables(mode).slots; }

std::span<const StatusPartInfo> StatusParts(FrameMode mode) { return Tables(mode).parts; }

std::vector<int> StatusPartWidths(FrameMode mode, int clientWidth,
                                  const std::function<int(const char*)>& textWidth) {
    const auto parts = StatusParts(mode);
    std::vector<int> widths(parts.size(), 0);
    int right = std::max(clientWidth, 0);
    for (size_t i = parts.size(); i-- > 1;) {
        // A narrow window squeezes the first part before the others.
        widths[i] = std::min(textWidth(parts[i].sample) + 8, right);
        right -= widths[i];
    }
    widths[0] = right;
    return widths;
}

int StatusBarId(FrameMode mode) { return Tables(mode).statusBarId; }

std::string ClockText(int hour, int minute, int second) {
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%02d:%02d %s", hour12, minute, second, hour < 12 ? "AM" : "PM");
    return text;
}

int MenuHelpStringId(FrameMode mode, MenuHighlight what, int commandIdOrPosition, bool childMaximised) {
    switch (what) {
        case MenuHighlight::Item: return commandIdOrPosition;
        case MenuHighlight::SystemMenu: return 900;
        case MenuHighlight::Closed: return 2;
        case MenuHighlight::BarPopup: break;
    }
    const auto help = Tables(mode).popupHelp;
    const int entry = commandIdOrPosition + (childMaximised ? 0 : 1);
    return entry >= 0 && entry < static_cast<int>(help.size()) ? help[static_cast<size_t>(entry)] : 0;
}

FrameAction RouteCommand(int commandId) {
    for (const Route& r : kRoutes)
        if (r.commandId == commandId) return r.action;
    return FrameAction::Forward;
}

}  // namespace ombrix
