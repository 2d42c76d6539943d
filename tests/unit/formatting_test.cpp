// Header field texts and their tables, block-row texts, Barscale, the parameter listing
// and its sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "blocks/RamContainer.h"
#include "data/Formatting.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

struct FieldCase {
    const char* label;
    int column;
    BlockHeader header;
    float fhBase, fvBase;
    int longHeader;
    bool familyFlag;
    const char* text;
};

BlockHeader H(uint8_t fh, uint8_t fv, uint8_t source, uint8_t config, uint8_t type, uint8_t orientation) {
    return BlockHeader{fh, fv, source, config, type, orientation, 0};
}

class HeaderField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(HeaderField, Text) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(HeaderFieldText(c.column, c.header, c.fhBase, c.fvBase, c.longHeader, c.familyFlag), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderField,
    ::testing::Values(
        FieldCase{"fh_0_counts_256", 1, H(0, 0, 0, 0, 0, 0), 1e-7f, 0, 0, false, "39.06"},
        FieldCase{"fh_255_counts_256", 1, H(255, 0, 0, 0, 0, 0), 1e-7f, 0, 0, false, "39.06"},
        FieldCase{"fh_64", 1, H(64, 0, 0, 0, 0, 0), 5e-7f, 0, 0, false, "31.25"},
        FieldCase{"fh_zero_base", 1, H(64, 0, 0, 0, 0, 0), 0.0f, 0, 0, false, "  inf"},
        FieldCase{"fv_negative_base", 2, H(0, 100, 0, 0, 0, 0), 0, -0.5f, 0, false, " 50"},
        FieldCase{"fv_period_base", 2, H(0, 52, 0, 0, 0, 0), 0, 1.0f / 2600, 0, false, " 50"},
        FieldCase{"fv_zero_count", 2, H(0, 0, 0, 0, 0, 0), 0, 1.0f, 0, false, "  0"},
        FieldCase{"source_ff_free", 3, H(0, 0, 0xFF, 0, 0, 0), 0, 0, 0, false, "Free"},
        FieldCase{"source_7f_int", 3, H(0, 0, 0x7F, 0, 0, 0), 0, 0, 0, false, "Int"},
        FieldCase{"source_5", 3, H(0, 0, 0x05, 0, 0, 0), 0, 0, 0, false, "5"},
        FieldCase{"long_free_bit", 3, H(0, 0, 0x05, 0x04, 0, 0), 0, 0, 1, false, "Free"},
        FieldCase{"long_ff_not_free", 3, H(0, 0, 0xFF, 0x00, 0, 0), 0, 0, 1, false, "Int"},
        FieldCase{"long_source", 3, H(0, 0, 0x83, 0x03, 0, 0), 0, 0, 1, false, "3"},
        FieldCase{"type_short_5", 4, H(0, 0, 0, 0, 5, 0), 0, 0, 0, false, "Internal"},
        FieldCase{"type_short_6", 4, H(0, 0, 0, 0, 6, 0), 0, 0, 0, false, "Unknown"},
        FieldCase{"type_short_12", 4, H(0, 0, 0, 0, 12, 0), 0, 0, 0, false, "Forced RGBS"},
        FieldCase{"type_short_13", 4, H(0, 0, 0, 0, 13, 0), 0, 0, 0, false, "Unknown"},
        FieldCase{"type_long_3", 4, H(0, 0, 0, 0, 3, 0), 0, 0, 1, false, "RGB3s"},
        FieldCase{"type_long_6", 4, H(0, 0, 0, 0, 6, 0), 0, 0, 1, false, "reserved"},
        FieldCase{"type_long_7", 4, H(0, 0, 0, 0, 7, 0), 0, 0, 1, false, "Internal"},
        FieldCase{"type_long_8", 4, H(0, 0, 0, 0, 8, 0), 0, 0, 1, false, "Unknown"},
        FieldCase{"config_0_flag_0", 5, H(0, 0, 0, 0, 0, 0), 0, 0, 0, false, "Rear/Ceiling"},
        FieldCase{"config_2_flag_1", 5, H(0, 0, 0, 0, 0, 2), 0, 0, 0, true, "Rear/Ceiling"},
        FieldCase{"config_3_flag_1", 5, H(0, 0, 0, 0, 0, 3), 0, 0, 0, true, "Front/Table"},
        FieldCase{"config_0_long", 5, H(0, 0, 0, 0, 0, 0), 0, 0, 1, false, "Front/Ceiling"},
        FieldCase{"config_4", 5, H(0, 0, 0, 0, 0, 4), 0, 0, 1, false, "Unknown"},
        FieldCase{"no_column_6", 6, H(0, 0, 0, 0, 0, 0), 0, 0, 0, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Texts, KindAndOptionsTables) {
    const std::pair<int, const char*> kinds[] = {{0, "Idle"},   {5, "Orbit"},      {6, "Contrast Modulation"},
                                                 {7, "Unknown"}, {10, "Coarse Convergence"}, {0x80, "Stigmator"},
                                                 {0x81, "Common"}, {11, "Unknown"}};
    for (const auto& [code, text] : kinds) EXPECT_STREQ(KindText(code), text) << code;
    const std::pair<int, const char*> options[] = {{0, "Nothing needed"}, {1, "Sound Needed"}, {4, "Unknown"},
                                                   {0x40, "Magnetic Focus needed "}, {0x80, "IRIS needed"},
                                                   {3, "Unknown"}};
    for (const auto& [code, text] : options) EXPECT_STREQ(OptionsNeededText(code), text) << code;
}

class WithStrings : public ::testing::Test {
protected:
    void SetUp() override {
        strings_ = DlLibraryLoader().Load("kelvaneproj", nullptr);
        ASSERT_NE(strings_, nullptr);
        env_.ui = &ui_;
        env_.strings = strings_.get();
    }
    std::unique_ptr<Library> strings_;
    RecordingUi ui_;
    Env env_;
};

TEST_F(WithStrings, TheFamilyFlagMirrorsOnlyTheShortVariant) {
    const BlockHeader h = H(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(FormatHeaderField(env_, 5, h, 0, 0, 0, 8), "Front/Ceiling");  // "12Z-08 series"
    EXPECT_EQ(FormatHeaderField(env_, 5, h, 0, 0, 0, 5), "Rear/Ceiling");
    EXPECT_EQ(FormatHeaderField(env_, 5, H(0, 0, 0, 0, 0, 1), 0, 0, 1, 5), "Rear/Table");
}

TEST_F(WithStrings, RamRowsNumberedWithinTheirContainer) {
    BlockTables t;
    ClearRamContainer(t);
    auto add = [&](int type, int title, int special, uint8_t fh) {
        RAMBlock& r = t.ramBlocks[static_cast<size_t>(t.ramRowCount)];
        r.projectorType = type;
        r.containerTitle = title;
        r.specialKind = special;
        r.header = H(fh, 52, 1, 0x20, 2, 0);
        r.fhBase = 5e-7f;
        r.fvBase = 1.0f / 2600;
        if (title) t.ramContainers[static_cast<size_t>(t.ramContainerCount++)] = {type, t.ramRowCount};
        ++t.ramRowCount;
    };
    add(5, 1, 0, 0), add(5, 0, 0, 64), add(5, 0, 0x4000, 0xEF), add(-1, 1, 0, 0), add(-1, 0, 0x8000, 0x12),
        add(8, 1, 0, 0), add(8, 0, 0x8000, 0xFE);
    const ListModel list = RamListModel(env_, t);
    const std::vector<std::vector<std::string>> rows = {
        {"Z-05 series", "", "", "", "", ""},  {"1", "1", "RGB", "31.25", " 50", "Rear/Ceiling"},
        {"2", "Common", "----", "----", "----", "----"}, {"Unknown", "", "", "", "", ""},
        {"1", "", "----", "----", "----", "----"},        {"12Z-08 series", "", "", "", "", ""},
        {"1", "Stigmator", "----", "----", "----", "----"}};
    EXPECT_EQ(list.headings, (std::vector<std::string>{"RAMBlock", "Source", "Type", "Fh (KHz)", "Fv (Hz)", "Config"}));
    EXPECT_EQ(list.rows, rows);
    ProjectorBlock b;
    b.header = H(64, 52, 0x81, 0x20, 2, 0);
    b.fhBase = 5e-7f;
    EXPECT_EQ(ProjectorRowTexts(env_, b, 0)[0], "1");
    EXPECT_EQ(ProjectorRowTexts(env_, b, 0)[1], "Free");
}

struct BarCase {
    const char* label;
    int value;
    int32_t min, max;
    int percent;
};

class Bar : public ::testing::TestWithParam<BarCase> {};

TEST_P(Bar, Percent) {
    const BarCase& c = GetParam();
    EXPECT_EQ(Barscale(c.value, c.min, c.max), c.percent);
}

INSTANTIATE_TEST_SUITE_P(Listing, Bar,
                         ::testing::Values(BarCase{"half_down", 64, 0, 127, 50}, BarCase{"above_127", 128, 0, 255, 0},
                                           BarCase{"exact_half_up", 1, 0, 200, 1}, BarCase{"just_below_half", 2, 0, 401, 0},
                                           BarCase{"three_eighths", 3, 0, 8, 38}, BarCase{"empty_range", 5, 7, 7, 0},
                                           BarCase{"reversed_range", 5, 9, 7, 0},
                                           BarCase{"min_not_subtracted", 64, 32, 159, 50},
                                           BarCase{"above_100", 127, 0, 63, 202},
                                           BarCase{"widest_range", 127, INT32_MIN, INT32_MAX, 0}),
                         [](const auto& info) { return std::string(info.param.label); });

DescriptionParameter Param(int32_t number, const char* name, int32_t place, uint8_t kind, int32_t options) {
    DescriptionParameter p;
    p.paramNumber = number;
    SetFieldText(&p.paramName, name);
    p.placeInBlock = place;
    p.min = 0;
    p.max = 127;
    p.step = 1;
    p.da1 = 0x30;
    p.kind = kind;
    p.colorDependency = 2;
    p.directAccessAllowed = 1;
    p.optionsNeeded = options;
    return p;
}

TEST(Listing, ColumnsFollowTheSwitches) {
    Description d;
    d.parameters = {Param(0, "Brightness", 8, 1, 0), Param(184, "Volume", 300, 7, 1)};
    EXPECT_EQ(ListParameters(d, nullptr, {}).list.headings,
              (std::vector<std::string>{"nr ", "parameter name", "place in block", "min", "max"}));
    RAMBlock row;
    row.body[8] = 64;
    const ParameterColumnSwitches all{true, true, true, true, true, true, true, true};
    const ParameterListing l = ListParameters(d, &row, all);
    EXPECT_EQ(l.list.headings.size(), 15u);
    EXPECT_EQ(l.list.headings[3], "Barscale");
    EXPECT_EQ(l.list.headings[14], "Options needed");
    EXPECT_EQ(l.list.rows[0], (std::vector<std::string>{"0", "Brightness", "64", "50", "8", "0", "127", "1", "48", "0",
                                                        "Picture", "Yes", "No", "Yes", "Nothing needed"}));
    // A place outside the block's 240 bytes has no value.
    EXPECT_EQ(l.list.rows[1][2], "");
    EXPECT_EQ(l.list.rows[1][3], "");
    ParameterColumnSwitches kindOnly;
    kindOnly.kind = true;
    EXPECT_EQ(ListParameters(d, nullptr, kindOnly).list.rows[1],
              (std::vector<std::string>{"1", "Volume", "300", "0", "127", "Unknown"}));
}

TEST(Listing, MoreThan320ParametersAreAllListed) {
    Description d;
    for (int i = 0; i < 400; ++i) d.parameters.push_back(Param(i, "P", i % 240, 1, 0));
    const ParameterListing l = ListParameters(d, nullptr, {});
    ASSERT_EQ(l.list.rows.size(), 400u);
    EXPECT_EQ(l.list.rows[399][0], "399");
}

TEST(Listing, SortNumbersByValueTextsByCollation) {
    Description d;
    d.parameters = {Param(0, "beta", 10, 1, 0), Param(1, "Alpha", 9, 2, 0), Param(2, "alpha", 100, 3, 0)};
    ParameterColumnSwitches s;
    s.kind = true;
    const ParameterListing l = ListParameters(d, nullptr, s);
    auto order = [&](int column) {
        std::vector<int> rows(l.list.rows.size());
        std::iota(rows.begin(), rows.end(), 0);
        std::stable_sort(rows.begin(), rows.end(),
                         [&](int a, int b) { return CompareParameterRows(l, a, b, column) < 0; });
        return rows;
    };
    EXPECT_EQ(order(2), (std::vector<int>{1, 0, 2}));  // 9 < 10 < 100, not as text
    EXPECT_EQ(order(1), (std::vector<int>{1, 2, 0}));  // "Alpha" < "alpha" < "beta" in the C locale
    EXPECT_EQ(order(5), (std::vector<int>{2, 1, 0}));  // Convergence, Geometry, Picture
    EXPECT_EQ(CompareParameterRows(l, 0, 0, 2), 0);
    EXPECT_EQ(CompareParameterRows(l, 0, 1, 99), 0);
}

TEST_F(WithStrings, WithoutADescriptionOnlyTheHeadings) {
    testing::TempDir dir;
    ParameterListing l;
    RAMBlock row;
    EXPECT_FALSE(FillParameterList(env_, ".", 5, 'V', &row, {}, &l));
    EXPECT_EQ(l.list.headings.size(), 7u);
    EXPECT_TRUE(l.list.rows.empty());
    const auto boxes = ui_.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Error  46");
    EXPECT_EQ(boxes[1].caption, "Warning  16");
    EXPECT_EQ(boxes[1].text, "Can't open description file");
}

}  // namespace
}  // namespace ombrix
