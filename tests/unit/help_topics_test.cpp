// The help pages: which page F1 opens, the search of the help window, and that every page
// the program names exists and can be reached from the contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frame/HelpTopics.h"

namespace ombrix {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(HelpTopics, F1OpensThePageOfTheInnermostWindowThatHasOne) {
    struct Case {
        const char* label;
        std::vector<std::string> names;  // innermost first
        const char* page;
    } cases[] = {
        {"IRIS panel inside the direct access of the communication window",
         {"", "IRIS", "", "GeneralWindow", "DirectAccess", "MDIComm"},
         "task-iris.html"},
        {"a picture page", {"", "CTRLDIALOGBOX", "PageHost", "DirectAccess", "MDIComm"}, "task-picture.html"},
        {"force block panel", {"BRONSWITCHING", "GeneralWindow", "MDIComm"}, "task-source.html"},
        {"the projector's block list", {"qt_scrollarea_viewport", "projectorBlocks", "MDIComm"}, "task-backup.html"},
        {"the RAM container", {"ramBlocks", "MDIComm"}, "task-copy.html"},
        {"the tree of the communication window", {"TITLE", "MDIComm"}, "communication.html"},
        {"projector selection", {"selection", "SELECTIONPANEL", "GeneralWindow", "DirectAccess", "MDIComm"},
         "task-groups.html"},
        {"the new group box", {"name", "GROUPBOX"}, "task-groups.html"},
        {"a handset", {"key1013", "handset", "RCUDLGBOX"}, "task-handset.html"},
        {"communication setup", {"portPath", "COMMSETBOX"}, "troubleshooting.html"},
        {"the explorer", {"editor", "MDIMain"}, "explorer.html"},
        {"the frame alone: contents", {"OBX"}, "index.html"},
        {"no focus at all: contents", {}, "index.html"},
    };
    for (const Case& c : cases) EXPECT_EQ(HelpPageFor(c.names), c.page) << c.label;
}

TEST(HelpTopics, SearchFindsPagesWithEveryWordMostHitsFirst) {
    const std::vector<HelpPage> pages = {
        {"a.html", "Run IRIS", "IRIS runs the convergence. Exit ends IRIS."},
        {"b.html", "Troubleshooting", "The line cannot be opened: permission denied. IRIS once."},
        {"c.html", "Handset", "Keys repeat while held."},
    };
    struct Case {
        const char* label;
        const char* query;
        std::vector<size_t> found;
    } cases[] = {
        {"one word, the page with more hits first", "iris", {0, 1}},
        {"any case", "PERMISSION", {1}},
        {"every word must be on the page", "iris permission", {1}},
        {"a word on no page", "lamp", {}},
        {"words in the title count", "handset", {2}},
        {"an empty query finds nothing", "   ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SearchHelp(pages, c.query), c.found) << c.label;
}

TEST(HelpTopics, PagesAreReadWithoutTheirMarkup) {
    const HelpPage p = ReadHelpPage("x.html", "<html><head><TITLE>Force a source</TITLE></head><body><p>Press "
                                              "<b>Select &gt;&gt;</b> &amp; wait</p></body></html>");
    EXPECT_EQ(p.file, "x.html");
    EXPECT_EQ(p.title, "Force a source");
    EXPECT_NE(p.text.find("Select >>"), std::string::npos) << p.text;
    EXPECT_NE(p.text.find("& wait"), std::string::npos) << p.text;
    EXPECT_EQ(p.text.find('<'), std::string::npos) << p.text;
}

// A page F1 names must ship, and every page must be one link away from the contents.
TEST(HelpTopics, EveryPageShipsAndIsLinkedFromTheContents) {
    const std::filesystem::path folder = std::filesystem::path(OMBRIX_DATA_DIR) / "help";
    const std::string contents = ReadFile(folder / kHelpContentsPage);
    ASSERT_FALSE(contents.empty());
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        if (file == kHelpContentsPage) continue;
        EXPECT_NE(contents.find("href=\"" + file + "\""), std::string::npos) << file << " is not in the contents";
        EXPECT_FALSE(ReadHelpPage(file, ReadFile(entry.path())).title.empty()) << file;
    }
    const char* windows[] = {"IRIS",     "FORCEDIALOG", "BRONSWITCHING", "CTRLDIALOGBOX", "COMPAREBOX",
                             "projectorBlocks", "ramBlocks", "THREADTIPBOX",  "COMMSETBOX",   "RCUDLGBOX",
                             "MDIComm",  "MDIMain",     "PROGRESSBOX",   "VIEWADDRESSSETBOX", "SELECTIONPANEL",
                             "GROUPBOX", "ADDPROJECTORBOX"};
    for (const char* window : windows) {
        const std::string page = HelpPageFor({window});
        EXPECT_NE(page, kHelpContentsPage) << window;
        EXPECT_TRUE(std::filesystem::exists(folder / page)) << window << " -> " << page;
    }
}

// What an operator types into the search finds the page about it first.
TEST(HelpTopics, TheShippedPagesAnswerTheirSearches) {
    const std::filesystem::path folder = std::filesystem::path(OMBRIX_DATA_DIR) / "help";
    std::vector<HelpPage> pages;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        pages.push_back(ReadHelpPage(entry.path().filename().string(), ReadFile(entry.path())));
    struct Case {
        const char* query;
        const char* page;
        bool first;  // else anywhere among the pages found
    } cases[] = {
        {"group", "task-groups.html", true},
        {"send to group", "task-handset.html", false},
        {"match", "task-groups.html", false},
    };
    for (const Case& c : cases) {
        const std::vector<size_t> found = SearchHelp(pages, c.query);
        ASSERT_FALSE(found.empty()) << c.query;
        if (c.first) {
            EXPECT_EQ(pages[found[0]].file, c.page) << c.query;
        }
        EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](size_t i) { return pages[i].file == c.page; }))
            << c.query;
    }
}

}  // namespace
}  // namespace ombrix
