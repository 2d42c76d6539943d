// The frame's tables and rules, without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/ProgramStrings.h"
#include "frame/FrameTables.h"

namespace ombrix {
namespace {

constexpr FrameMode kModes[] = {FrameMode::Main, FrameMode::Communication, FrameMode::Explorer};

std::vector<std::string> BarMenus(FrameMode mode) {
    std::vector<std::string> out;
    for (const MenuRow& row : ModeMenu(mode))
        if (row.depth == 0) out.emplace_back(row.text);
    return out;
}

std::vector<int> Buttons(FrameMode mode) {
    std::vector<int> out;
    for (const ToolbarSlot& slot : ToolbarSlots(mode))
        if (slot.commandId) out.push_back(slot.commandId);
    return out;
}

TEST(FrameTables, EachModeHasItsMenusAndButtons) {
    struct Case {
        const char* label;
        FrameMode mode;
        std::vector<std::string> menus;
        std::vector<int> buttons;
        int strip;
    } cases[] = {
        {"main", FrameMode::Main, {"&File", "&Options", "&Help"}, {40028, 40006, 40008, 1401}, 200},
        {"communication", FrameMode::Communication,
         {"&File", "File &management", "&Group management", "&Options", "&Window", "&Help"},
         {40116, 40119, 40018, 40084, 40083, 40086, 40100, 1401}, 200},
        {"explorer", FrameMode::Explorer, {"&File", "&Edit", "&Search", "&Window", "&Help"},
         {40102, 40120, 1001, 1002, 1003, 1102, 1103, 1104, 1006, 1401}, 201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(BarMenus(c.mode), c.menus);
        EXPECT_EQ(Buttons(c.mode), c.buttons);
        EXPECT_EQ(ToolbarImage(c.mode), c.strip);
        // Pictures come from the strip's 23 slots, each button its own.
        std::vector<int> images;
        for (const ToolbarSlot& slot : ToolbarSlots(c.mode)) {
            if (!slot.commandId) continue;
            EXPECT_GE(slot.image, 0);
            EXPECT_LT(slot.image, kToolbarSlots);
            EXPECT_EQ(std::count(images.begin(), images.end(), slot.image), 0) << slot.commandId;
            images.push_back(slot.image);
        }
    }
}

TEST(FrameTables, EveryCommandShownHasItsHelpLineAndIsReachable) {
    for (FrameMode mode : kModes) {
        SCOPED_TRACE(ModeMenuName(mode));
        int allowed = 0;
        for (const MenuRow& row : ModeMenu(mode)) {
            // Only popups sit in the bar, and items never skip a level.
            EXPECT_TRUE(row.depth > 0 || row.popup);
            EXPECT_LE(row.depth, allowed);
            allowed = row.popup ? row.depth + 1 : row.depth;
            if (!row.commandId) continue;
            EXPECT_NE(ProgramString(row.commandId), nullptr) << row.commandId;
        }
        for (int id : Buttons(mode)) {
            EXPECT_NE(ProgramString(id), nullptr) << id;
            // A button's command is in the mode's menus, so its state follows the same rule.
            bool inMenu = false;
            for (const MenuRow& row : ModeMenu(mode)) inMenu = inMenu || row.commandId == id;
            EXPECT_TRUE(inMenu) << id;
        }
    }
    EXPECT_STREQ(ProgramString(40006), "Activates Ombrix Explorer");
    EXPECT_STREQ(ProgramString(40018), "Displays the simulated Remote Control");
}

TEST(FrameTables, KeysWorkWhereTheirCommandsDo) {
    struct Case {
        const char* label;
        int commandId;
        const char* key;
        bool main, comm, explorer;
    } cases[] = {
        {"Exit everywhere", 1008, "Ctrl+Q", true, true, true},
        {"F1 help everywhere", 1310, "F1", true, true, true},
        {"F2 opens communication from outside it", 40028, "F2", true, false, true},
        {"F2 renames a group inside communication", 40091, "F2", false, true, false},
        {"F5 remote control everywhere", 40018, "F5", true, true, true},
        {"Ctrl+C copies text in the explorer only", 1103, "Ctrl+C", false, false, true},
        {"Del deletes text in the explorer only", 1105, "Del", false, false, true},
        {"Ctrl+Alt+A selects all in the explorer only", 40001, "Ctrl+Alt+A", false, false, true},
        {"F6 finds next in the explorer only", 1202, "F6", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_NE(AcceleratorKey(c.commandId), nullptr);
        EXPECT_STREQ(AcceleratorKey(c.commandId), c.key);
        EXPECT_EQ(AcceleratorActive(FrameMode::Main, c.commandId), c.main);
        EXPECT_EQ(AcceleratorActive(FrameMode::Communication, c.commandId), c.comm);
        EXPECT_EQ(AcceleratorActive(FrameMode::Explorer, c.commandId), c.explorer);
    }
    EXPECT_EQ(Accelerators().size(), 23u);
    // The items that stand in for another command show its key, so no key is ever bound twice.
    EXPECT_STREQ(MenuItemKey(40119), "F3");
    EXPECT_STREQ(MenuItemKey(40120), "F2");
    EXPECT_TRUE(KeyInMenu(FrameMode::Communication, "F3"));
    EXPECT_TRUE(KeyInMenu(FrameMode::Communication, "F2"));
    EXPECT_TRUE(KeyInMenu(FrameMode::Explorer, "F2"));
    EXPECT_EQ(AcceleratorKey(1401), nullptr);
}

TEST(FrameTables, CommandsGoToTheFrameOrTheWorkingWindow) {
    struct Case {
        const char* label;
        int commandId;
        FrameAction action;
    } cases[] = {
        {"Exit", 1008, FrameAction::Exit},
        {"editor's New", 1001, FrameAction::Forward},
        {"editor's Find previous", 1203, FrameAction::Forward},
        {"Select all", 40001, FrameAction::Forward},
        {"Close all", 1303, FrameAction::CloseAll},
        {"explorer from the communication window", 40119, FrameAction::OpenExplorer},
        {"communication from the explorer", 40120, FrameAction::OpenCommunication},
        {"main from the explorer", 40102, FrameAction::MainMode},
        {"main from the communication window", 40116, FrameAction::MainMode},
        {"check within range", 40089, FrameAction::SearchMode},
        {"Organise RAM containers does nothing", 40085, FrameAction::Nothing},
        {"Save RAM", 40083, FrameAction::Forward},
        {"block settings", 40100, FrameAction::Forward},
        {"listing RAM blocks", 40122, FrameAction::Forward},
        {"Help topics", 1310, FrameAction::HelpTopics},
    };
    for (const Case& c : cases) EXPECT_EQ(RouteCommand(c.commandId), c.action) << c.label;
}

TEST(FrameTables, MenuHelpFollowsTheHighlight) {
    using M = FrameMode;
    struct Case {
        const char* label;
        FrameMode mode;
        MenuHighlight what;
        int value;
        bool maximised;
        int stringId;
    } cases[] = {
        {"an item shows its own string", M::Main, MenuHighlight::Item, 40028, false, 40028},
        {"explorer: first popup, no maximised child", M::Explorer, MenuHighlight::BarPopup, 0, false, 1000},
        {"explorer: fifth popup, no maximised child", M::Explorer, MenuHighlight::BarPopup, 4, false, 1400},
        {"explorer: sixth popup, no maximised child: nothing", M::Explorer, MenuHighlight::BarPopup, 5, false, 0},
        {"child's system menu first when maximised", M::Explorer, MenuHighlight::BarPopup, 0, true, 901},
        {"explorer: first popup after the child's menu", M::Explorer, MenuHighlight::BarPopup, 1, true, 1000},
        {"explorer: sixth place with a maximised child", M::Explorer, MenuHighlight::BarPopup, 5, true, 1400},
        {"explorer: beyond the list", M::Explorer, MenuHighlight::BarPopup, 6, true, 0},
        {"main: Options is not the editor's Edit", M::Main, MenuHighlight::BarPopup, 1, false, 1500},
        {"main: Help is the third popup", M::Main, MenuHighlight::BarPopup, 2, false, 1400},
        {"main: nothing after Help", M::Main, MenuHighlight::BarPopup, 3, false, 0},
        {"communication: File management", M::Communication, MenuHighlight::BarPopup, 1, false, 1600},
        {"communication: Window with a maximised child", M::Communication, MenuHighlight::BarPopup, 5, true, 1300},
        {"communication: Help", M::Communication, MenuHighlight::BarPopup, 5, false, 1400},
        {"frame's system menu", M::Main, MenuHighlight::SystemMenu, 0, false, 900},
        {"menu closed: the title", M::Communication, MenuHighlight::Closed, 0, false, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuHelpStringId(c.mode, c.what, c.value, c.maximised), c.stringId) << c.label;
}

// Every bar menu of every mode has a help line of its own; none is left without.
TEST(FrameTables, EveryBarMenuHasItsHelpLine) {
    for (FrameMode mode : {FrameMode::Main, FrameMode::Communication, FrameMode::Explorer}) {
        int position = 0;
        std::vector<int> seen;
        for (const MenuRow& row : ModeMenu(mode)) {
            if (row.depth != 0) continue;
            const int id = MenuHelpStringId(mode, MenuHighlight::BarPopup, position, false);
            EXPECT_NE(ProgramString(id), nullptr) << ModeMenuName(mode) << " " << row.text;
            EXPECT_EQ(std::count(seen.begin(), seen.end(), id), 0) << ModeMenuName(mode) << " " << row.text;
            seen.push_back(id);
            ++position;
        }
        EXPECT_EQ(MenuHelpStringId(mode, MenuHighlight::BarPopup, position, false), 0) << ModeMenuName(mode);
    }
}

TEST(FrameTables, ClockText) {
    struct Case {
        int h, m, s;
        const char* text;
    } cases[] = {
        {0, 5, 9, "12:05:09 AM"}, {9, 0, 0, " 9:00:00 AM"}, {11, 59, 59, "11:59:59 AM"},
        {12, 30, 0, "12:30:00 PM"}, {13, 1, 2, " 1:01:02 PM"}, {23, 59, 59, "11:59:59 PM"},
    };
    for (const Case& c : cases) EXPECT_EQ(ClockText(c.h, c.m, c.s), c.text);
}

TEST(FrameTables, StatusPartsAreLaidOutFromTheRightEdge) {
    // Six pixels a character.
    const auto width = [](const char* text) { return 6 * static_cast<int>(std::strlen(text)); };
    struct Case {
        const char* label;
        FrameMode mode;
        int client;
        std::vector<int> widths;
    } cases[] = {
        // "Option:" 42+8, "Use userdefined addressset" 156+8, "Time:" 30+8, "00:00:00 PM" 66+8
        {"main", FrameMode::Main, 800, {800 - 50 - 164 - 38 - 74, 50, 164, 38, 74}},
        {"explorer", FrameMode::Explorer, 500, {500 - 68 - 116, 68, 116}},
        {"narrow: squeezed from the left", FrameMode::Main, 300, {0, 24, 164, 38, 74}},
        {"no room at all", FrameMode::Explorer, 0, {0, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(StatusPartWidths(c.mode, c.client, width), c.widths) << c.label;
    EXPECT_EQ(StatusParts(FrameMode::Communication).size(), 5u);
    EXPECT_STREQ(StatusParts(FrameMode::Main)[0].initial, "Lumenar");
    EXPECT_STREQ(StatusParts(FrameMode::Explorer)[2].initial, "None");
}

}  // namespace
}  // namespace ombrix
