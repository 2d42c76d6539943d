// Lists as boxed text tables: the layout line for line, the cell limit, the file.
#include <gtest/gtest.h>

#include <regex>

#include "blocks/ListToText.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

std::tm When() {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

const char kHead[] =
    "Header :\n"
    "--------\n"
    "\n"
    "Listing type    :Listing RAM blocks\n"
    "Additional Info :Overview Blocks in RAM-container\n"
    "Date            :03/07/24\n"
    "Time            :09:05:03\n"
    "\n\n\n";

struct TableCase {
    const char* label;
    ListModel list;
    int cellLimit;
    const char* table;  // after the heading block
};

class Table : public ::testing::TestWithParam<TableCase> {};

TEST_P(Table, LineForLine) {
    const TableCase& c = GetParam();
    EXPECT_EQ(ListToText(c.list, c.cellLimit, "Listing RAM blocks", "Overview Blocks in RAM-container", When()),
              std::string(kHead) + c.table);
}

INSTANTIATE_TEST_SUITE_P(
    List, Table,
    ::testing::Values(
        TableCase{"two_columns", {{"A", "Bcd"}, {{"12", "x"}}}, 30, "--------\n|A |Bcd|\n--------\n|12|x  |\n"},
        TableCase{"empty_list", {{"RAMBlock", "Source"}, {}}, 30, "-----------------\n|RAMBlock|Source|\n-----------------\n"},
        TableCase{"heading_wider_than_cells", {{"Fh (KHz)"}, {{"31.25"}, {""}}}, 30,
                  "----------\n|Fh (KHz)|\n----------\n|31.25   |\n|        |\n"},
        TableCase{"cells_cut_to_limit_minus_one", {{"Heading"}, {{"abcdefgh"}, {"abc"}}}, 5,
                  "------\n|Head|\n------\n|abcd|\n|abc |\n"},
        TableCase{"short_row_has_blank_cells", {{"A", "B"}, {{"1"}}}, 30, "-----\n|A|B|\n-----\n|1| |\n"},
        TableCase{"no_columns", {{}, {{"x"}}}, 30, "-\n|\n-\n|\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ListFile, WrittenWithTodaysDateOrError38) {
    testing::TempDir dir;
    RecordingUi ui;
    Env env;
    env.ui = &ui;
    auto strings = DlLibraryLoader().Load("kelvaneproj", nullptr);
    env.strings = strings.get();
    ASSERT_TRUE(ConvertListToText(env, {{"A"}, {{"1"}}}, 30, "Listing RAM blocks", "x", "out.txt"));
    const auto bytes = testing::ReadBytes("out.txt");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(std::regex_search(text, std::regex("\nDate            :[01][0-9]/[0-3][0-9]/[0-9][0-9]\n"
                                                   "Time            :[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\n")));
    EXPECT_EQ(text.substr(text.size() - 8), "---\n|1|\n");
    EXPECT_FALSE(ConvertListToText(env, {{"A"}, {}}, 30, "t", "i", "no/such/dir/out.txt"));
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].caption, "Error  38");
    EXPECT_EQ(ui.Boxes()[0].text, "Unable to open textfile");
}

}  // namespace
}  // namespace ombrix
