// Description files: the layout byte for byte, fillers, files that lie, the choice of
// file, and the special-block rule.
#include <gtest/gtest.h>

#include <cstring>

#include "data/Description.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::TempDir;
using testing::WriteBytes;

Description OneOfEach() {
    Description d;
    d.typeCount = 2;
    d.codeWord = 0x11223344;
    d.typeCodes[0] = 5, d.alphaIds[0] = 'V';
    d.typeCodes[1] = 8, d.alphaIds[1] = 'G';
    SetFieldText(&d.label, "Label");
    d.blockLength = 64;
    d.blockCount = 12;
    d.fhBase = 0.5f;
    d.fvBase = -1.0f;
    d.headerVariant = 2;
    SpecialGroup g;
    g.groupBlocks = 1;
    SetFieldText(&g.groupName, "Common");
    g.groupHeader = {0xEF, 0x00, 0x7F, 0x00};
    d.groups = {g};
    DescriptionKind k;
    k.kindNumber = 0x81;
    SetFieldText(&k.kindName, "Common");
    k.kindWord = 0xBEEF;
    k.optionWord = 1;
    k.specialKind = 0x4000;
    k.kindBytes = {1, 2, 3, 4};
    k.kindLong = -7;
    d.kinds = {k};
    DescriptionParameter p;
    p.paramNumber = 153;
    p.placeInBlock = 9;
    p.min = -5;
    p.max = 127;
    p.step = 2;
    p.da1 = 0x08;
    p.da2 = 0x01;
    p.kind = 3;
    p.paramBytes = {1, 2, 3, 4, 5, 6, 7};
    p.colorDependency = 1;
    p.directionDependency = 2;
    p.directAccessAllowed = 1;
    p.optionsNeeded = 0x20;
    SetFieldText(&p.paramName, "Red Horizontal");
    d.parameters = {p};
    d.specialGroupCount = d.kindCount = d.paramCount = 1;
    return d;
}

std::vector<uint8_t> Bytes(const Description& d) {
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_TRUE(SerializeDescription(d, nullptr, &out, &why)) << why;
    return out;
}

int64_t FieldAt(const std::vector<uint8_t>& b, size_t offset, size_t size) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(b.at(offset + i)) << (8 * i);
    return size == 4 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
}

struct FieldCase {
    const char* label;
    size_t offset;
    size_t size;
    int64_t value;
};

class DescriptionLayout : public ::testing::TestWithParam<FieldCase> {};

// Two types: the header is 8 + 4 + 60 bytes; one group and two filler groups follow,
// then the kind with two filler spares, then the parameter with five.
TEST_P(DescriptionLayout, FieldSitsAtItsOffset) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(FieldAt(Bytes(OneOfEach()), c.offset, c.size), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Dsc, DescriptionLayout,
    ::testing::Values(FieldCase{"typeCount", 0, 4, 2}, FieldCase{"codeWord", 4, 4, 0x11223344},
                      FieldCase{"second_type_code", 10, 1, 8}, FieldCase{"second_letter", 11, 1, 'G'},
                      FieldCase{"label", 12, 1, 'L'}, FieldCase{"blockLength", 32, 4, 64},
                      FieldCase{"paramCount", 36, 4, 1}, FieldCase{"blockCount", 40, 4, 12},
                      FieldCase{"kindCount", 44, 4, 1}, FieldCase{"specialGroupCount", 48, 4, 1},
                      FieldCase{"fhBase", 60, 4, 0x3F000000}, FieldCase{"fvBase", 64, 4, int32_t(0xBF800000)},
                      FieldCase{"headerVariant", 68, 4, 2}, FieldCase{"groupBlocks", 72, 4, 1},
                      FieldCase{"groupName", 76, 1, 'C'}, FieldCase{"groupHeader", 106, 4, 0x007F00EF},
                      FieldCase{"group_filler_end", 185, 1, 0}, FieldCase{"kindNumber", 186, 1, 0x81},
                      FieldCase{"kindWord", 212, 2, 0xBEEF}, FieldCase{"optionWord", 214, 2, 1},
                      FieldCase{"specialKind", 216, 4, 0x4000}, FieldCase{"kindBytes", 220, 4, 0x04030201},
                      FieldCase{"kindLong", 224, 4, -7}, FieldCase{"paramNumber", 296, 4, 153},
                      FieldCase{"placeInBlock", 300, 4, 9}, FieldCase{"min", 304, 4, -5},
                      FieldCase{"step", 312, 4, 2}, FieldCase{"da1_da2_kind", 316, 3, 0x030108},
                      FieldCase{"seventh_param_byte", 325, 1, 7}, FieldCase{"colour_direction_direct", 326, 3, 0x010201},
                      FieldCase{"optionsNeeded", 329, 4, 0x20}, FieldCase{"paramName", 333, 1, 'R'}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DescriptionFile, SizeAndReadBack) {
    const auto bytes = Bytes(OneOfEach());
    EXPECT_EQ(bytes.size(), 8u + 4 + 60 + 3 * 38 + (42 + 2 * 34) + (57 + 5 * 34));
    Description back;
    DescriptionPadding pad;
    ASSERT_TRUE(ParseDescription(bytes.data(), bytes.size(), &back, &pad, nullptr));
    EXPECT_TRUE(back.Serves(8, 'G'));
    EXPECT_FALSE(back.Serves(8, 'V'));  // the same code with another letter
    EXPECT_EQ(FieldText(back.parameters[0].paramName), "Red Horizontal");
    std::vector<uint8_t> again;
    ASSERT_TRUE(SerializeDescription(back, &pad, &again, nullptr));
    EXPECT_EQ(again, bytes);
}

struct FillerCase {
    const char* label;
    int groups, kindSpares, paramSpares;
    size_t groupBytes, kindBytes, paramBytes;  // after the header, per kind, per parameter
};

class Fillers : public ::testing::TestWithParam<FillerCase> {};

TEST_P(Fillers, RecordsFollowedByFillersUpToTheMinimum) {
    const FillerCase& c = GetParam();
    Description d = OneOfEach();
    d.groups.resize(static_cast<size_t>(c.groups));
    d.specialGroupCount = c.groups;
    d.kindSpareCount = c.kindSpares;
    d.kinds[0].spares.resize(static_cast<size_t>(c.kindSpares));
    d.paramSpareCount = c.paramSpares;
    d.parameters[0].spares.resize(static_cast<size_t>(c.paramSpares));
    EXPECT_EQ(Bytes(d).size(), 72 + c.groupBytes + c.kindBytes + c.paramBytes);
}

INSTANTIATE_TEST_SUITE_P(Dsc, Fillers,
                         ::testing::Values(FillerCase{"no_groups_three_fillers", 0, 0, 0, 114, 110, 227},
                                           FillerCase{"four_groups_no_filler", 4, 0, 0, 152, 110, 227},
                                           FillerCase{"one_kind_spare_one_filler", 1, 1, 0, 114, 110, 227},
                                           FillerCase{"three_kind_spares_none", 1, 3, 0, 114, 144, 227},
                                           FillerCase{"five_param_spares_none", 1, 0, 5, 114, 110, 227},
                                           FillerCase{"seven_param_spares", 1, 0, 7, 114, 110, 295}),
                         [](const auto& info) { return std::string(info.param.label); });

struct LieCase {
    const char* label;
    size_t offset;  // an int32 field of OneOfEach's file
    int32_t value;
};

class LyingFile : public ::testing::TestWithParam<LieCase> {};

TEST_P(LyingFile, IsRefused) {
    auto bytes = Bytes(OneOfEach());
    const LieCase& c = GetParam();
    const auto v = static_cast<uint32_t>(c.value);
    for (size_t i = 0; i < 4; ++i) bytes[c.offset + i] = static_cast<uint8_t>(v >> (8 * i));
    Description d;
    std::string why;
    EXPECT_FALSE(ParseDescription(bytes.data(), bytes.size(), &d, nullptr, &why));
    EXPECT_FALSE(why.empty());
}

INSTANTIATE_TEST_SUITE_P(Dsc, LyingFile,
                         ::testing::Values(LieCase{"sixteen_types", 0, 16}, LieCase{"negative_types", 0, -1},
                                           LieCase{"params_past_the_end", 36, 2}, LieCase{"negative_blocks", 40, -1},
                                           LieCase{"huge_kind_count", 44, 0x7FFFFFFF},
                                           LieCase{"huge_group_count", 48, 0x7FFFFFFF},
                                           LieCase{"negative_kind_spares", 52, -2},
                                           LieCase{"huge_param_spares", 56, 0x7FFFFFFF},
                                           LieCase{"negative_group_blocks", 72, -3}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DescriptionFile, EveryPrefixOfARealFileIsRefusedWithoutReadingPastIt) {
    const auto full = testing::ReadBytes(std::string(OMBRIX_DATA_DIR) + "/type25v.dsc");
    ASSERT_GT(full.size(), 1000u);
    for (size_t n = 0; n < full.size(); ++n) {
        // An exact-size copy, so any read past its end is caught by AddressSanitizer.
        std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<long>(n));
        Description d;
        ASSERT_FALSE(ParseDescription(prefix.data(), prefix.size(), &d, nullptr, nullptr)) << n;
    }
    Description d;
    DescriptionPadding pad;
    auto longer = full;
    longer.insert(longer.end(), {1, 2, 3});
    ASSERT_TRUE(ParseDescription(longer.data(), longer.size(), &d, &pad, nullptr));
    EXPECT_EQ(pad.trailing, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(DescriptionFile, AFullTextFieldHasNoTerminator) {
    std::array<uint8_t, kParamNameSize> name{};
    SetFieldText(&name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(FieldText(name), "ABCDEFGHIJKLMNOPQRST");
    name[3] = 0;
    EXPECT_EQ(FieldText(name), "ABC");
}

Description Serving(int code, char letter, const char* label) {
    Description d = OneOfEach();
    d.typeCount = 1;
    d.typeCodes[0] = static_cast<uint8_t>(code);
    d.alphaIds[0] = letter;
    SetFieldText(&d.label, label);
    return d;
}

class Choice : public ::testing::Test {
protected:
    void Put(const std::string& name, const Description& d) { WriteBytes(name, Bytes(d)); }
    std::string Load(int code, char letter) {
        Description d;
        if (!LoadDescription(env_, ".", code, letter, &d)) return "-";
        return FieldText(d.label);
    }
    void SetUp() override {
        strings_ = DlLibraryLoader().Load("kelvaneproj", nullptr);
        env_.ui = &ui_;
        env_.strings = strings_.get();
    }
    TempDir dir_;
    std::unique_ptr<Library> strings_;
    RecordingUi ui_;
    Env env_;
};

TEST_F(Choice, FirstByNameWinsAndLiarsArePassedOver) {
    Put("b.dsc", Serving(5, 'V', "b"));
    Put("a.DSC", Serving(5, 'V', "a"));
    auto liar = Bytes(Serving(5, 'V', "liar"));
    liar.resize(liar.size() - 1);
    WriteBytes("0.dsc", liar);
    Put("c.dsc", Serving(5, 'G', "c"));
    Put("default.dsc", Serving(0, 'X', "default"));
    testing::WriteBytes("d.dsc.json", {'{'});
    EXPECT_EQ(Load(5, 'V'), "a");
    EXPECT_EQ(Load(5, 'G'), "c");
    EXPECT_EQ(Load(-1, 0), "default");
    EXPECT_TRUE(ui_.Boxes().empty());
    EXPECT_EQ(Load(6, 'V'), "-");
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].caption, "Error  46");
    EXPECT_EQ(ui_.Boxes()[0].text, "No more files found to search");
}

TEST_F(Choice, NoFilesIsError46AndNoDefaultIsSilent) {
    EXPECT_EQ(Load(5, 'V'), "-");
    EXPECT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(Load(-1, 0), "-");
    EXPECT_EQ(ui_.Boxes().size(), 1u);  // the caller shows warning 17
}

struct SpecialCase {
    const char* label;
    std::vector<std::pair<int32_t, uint16_t>> kinds;  // specialKind, optionWord
    uint8_t extra1, extra2;
    std::array<uint8_t, 3> flags;
};

class SpecialBlocks : public ::testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialBlocks, FlagsFromKindsAndExtraBits) {
    const SpecialCase& c = GetParam();
    Description d = OneOfEach();
    d.kinds.clear();
    for (const auto& [special, option] : c.kinds) {
        DescriptionKind k;
        k.specialKind = special;
        k.optionWord = option;
        d.kinds.push_back(k);
    }
    ProjectorRecord r;
    r.specialBlocks[0] = r.specialBlocks[1] = r.specialBlocks[2] = 1;
    ApplySpecialBlocks(d, c.extra1, c.extra2, &r);
    EXPECT_EQ(r.specialBlocks[0], c.flags[0]);
    EXPECT_EQ(r.specialBlocks[1], c.flags[1]);
    EXPECT_EQ(r.specialBlocks[2], c.flags[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Dsc, SpecialBlocks,
    ::testing::Values(SpecialCase{"none", {}, 1, 1, {0, 0, 0}},
                      SpecialCase{"always_present", {{0, 0}, {0x4000, 0}, {0x8000, 0}}, 0, 0, {1, 1, 1}},
                      SpecialCase{"first_optional_takes_extra1", {{0x4000, 1}, {0x8000, 1}}, 1, 0, {1, 0, 0}},
                      SpecialCase{"second_optional_takes_extra2", {{0x4000, 1}, {0x8000, 1}}, 0, 1, {0, 1, 0}},
                      SpecialCase{"third_optional_changes_nothing", {{0x8000, 1}, {0x4000, 1}, {0x8000, 1}}, 1, 0,
                                  {0, 1, 0}},
                      SpecialCase{"later_kind_overwrites", {{0x4000, 0}, {0x4000, 2}}, 0, 1, {0, 0, 0}},
                      SpecialCase{"option_mask_is_ordinary", {{0x0001, 0}}, 0, 0, {0, 0, 1}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SpecialBlocksRecord, GroupsFillTheFiveEntries) {
    Description d = OneOfEach();
    SpecialGroup stig;
    stig.groupBlocks = 2;
    SetFieldText(&stig.groupName, "Stigmator");
    stig.groupHeader = {0xFE, 0x7F, 0, 0};
    d.groups.push_back(stig);
    ProjectorRecord r;
    r.blockTypes[4].count = 9;
    ApplySpecialBlocks(d, 0, 0, &r);
    EXPECT_EQ(r.blockTotal, 3u);
    EXPECT_EQ(r.blockTypes[0].header[0], 0xEF);
    EXPECT_STREQ(r.blockTypes[1].name, "Stigmator");
    EXPECT_EQ(r.blockTypes[1].count, 2u);
    EXPECT_EQ(r.blockTypes[4].count, 0u);
    EXPECT_EQ(std::string(r.blockTypes[4].name), "          ");
}

}  // namespace
}  // namespace ombrix
