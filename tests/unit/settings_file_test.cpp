// Settings files: the layout byte for byte, the container merge of Append, the 300-row
// rule, and damaged files refused before the RAM container changes.
#include <gtest/gtest.h>

#include <memory>

#include "blocks/RamContainer.h"
#include "data/SettingsFile.h"
#include "platform/Files.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// A RAM container with containers of the given types and block counts; block bodies
// and headers carry the type and the block number, so moved rows can be recognised.
std::unique_ptr<BlockTables> Tables(const std::vector<std::pair<int, int>>& containers) {
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    for (const auto& [type, blocks] : containers) {
        t->ramContainers[static_cast<size_t>(t->ramContainerCount++)] = {type, t->ramRowCount};
        RAMBlock title;
        title.projectorType = type;
        title.containerTitle = 1;
        t->ramBlocks[static_cast<size_t>(t->ramRowCount++)] = title;
        for (int i = 1; i <= blocks; ++i) {
            RAMBlock b;
            b.projectorType = type;
            b.alphaId = 'V';
            b.header = BlockHeader{static_cast<uint8_t>(type), static_cast<uint8_t>(i), 1, 0x20, 2, 0, 0x0102};
            b.body.fill(static_cast<uint8_t>(type * 16 + i));
            b.serial = 1000 + i;
            b.fhBase = 5e-7f;
            b.fvBase = -1.0f;
            t->ramBlocks[static_cast<size_t>(t->ramRowCount++)] = b;
        }
    }
    return t;
}

std::vector<uint8_t> Serialized(const BlockTables& t) {
    std::vector<uint8_t> bytes;
    SerializeSettings(t, &bytes);
    return bytes;
}

// The rows as "type:fv" labels, title rows as "T type".
std::vector<std::string> Rows(const BlockTables& t) {
    std::vector<std::string> rows;
    for (int i = 0; i < t.ramRowCount; ++i) {
        const RAMBlock& r = t.ramBlocks[static_cast<size_t>(i)];
        rows.push_back(r.containerTitle ? "T" + std::to_string(r.projectorType)
                                        : std::to_string(r.projectorType) + ":" + std::to_string(r.header.fv));
    }
    return rows;
}

std::vector<int> FirstRows(const BlockTables& t) {
    std::vector<int> v;
    for (int k = 0; k < t.ramContainerCount; ++k) v.push_back(t.ramContainers[static_cast<size_t>(k)].firstRow);
    return v;
}

class SetFile : public ::testing::Test {
protected:
    void SetUp() override {
        strings_ = DlLibraryLoader().Load("kelvaneproj", nullptr);
        env_.ui = &ui_;
        env_.strings = strings_.get();
    }
    std::vector<std::string> Captions() {
        std::vector<std::string> c;
        for (const auto& b : ui_.Boxes()) c.push_back(b.caption);
        ui_.Clear();
        return c;
    }
    TempDir dir_;
    std::unique_ptr<Library> strings_;
    RecordingUi ui_;
    Env env_;
};

TEST_F(SetFile, OneContainerOfTwoBlocksIs873Bytes) {
    auto t = Tables({{5, 2}});
    t->ramBlocks[0].header.flags = 0xABCD1234;  // a title row keeps only the high half
    t->ramBlocks[0].body[7] = 9;
    t->ramBlocks[0].header.fh = 3;
    ASSERT_TRUE(SaveSettingsFile(env_, *t, "a.set"));
    const auto b = ReadBytes("a.set");
    ASSERT_EQ(b.size(), 873u);
    auto i32 = [&](size_t at) {
        return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24));
    };
    EXPECT_EQ(i32(0), 1);
    EXPECT_EQ(i32(4), 3);
    EXPECT_EQ(i32(8), 5);
    // Title row at 12: header and body zero, flags' low half zero, twice.
    for (size_t i = 12; i < 12 + 6; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(i32(18), int32_t(0xABCD0000));
    EXPECT_EQ(i32(22), int32_t(0xABCD0000));
    for (size_t i = 26; i < 26 + 240; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(i32(12 + 254), 5);
    EXPECT_EQ(i32(12 + 258), 1);
    // The second block row.
    const size_t row = 12 + 2 * 287;
    EXPECT_EQ(b[row + 0], 5);
    EXPECT_EQ(b[row + 1], 2);
    EXPECT_EQ(b[row + 4], 2);
    EXPECT_EQ(i32(row + 6), 0x0102);
    EXPECT_EQ(i32(row + 10), 0x0102);
    EXPECT_EQ(b[row + 14], 5 * 16 + 2);
    EXPECT_EQ(i32(row + 274), 1002);
    EXPECT_EQ(b[row + 278], 'V');
    EXPECT_EQ(i32(row + 283), int32_t(0xBF800000));
}

TEST_F(SetFile, LoadingKeepsTheSecondFlagsCopyAndEveryField) {
    auto t = Tables({{5, 2}, {8, 1}});
    auto bytes = Serialized(*t);
    bytes[4 + 2 * 8 + 287 + 6] = 0x77;  // first copy of row 1's flags
    WriteBytes("a.set", bytes);
    auto back = Tables({});
    EXPECT_TRUE(LoadSettingsCommand(env_, *back, "a.set").ramHasRows);
    EXPECT_EQ(back->ramBlocks[1].header.flags, 0x0102u);
    EXPECT_EQ(Serialized(*back), Serialized(*t));
    EXPECT_EQ(FirstRows(*back), (std::vector<int>{0, 3}));
    EXPECT_TRUE(Captions().empty());
}

TEST_F(SetFile, AppendPutsBlocksAtTheEndOfTheirContainer) {
    auto file = Tables({{5, 2}, {16, 1}});
    ASSERT_TRUE(SaveSettingsFile(env_, *file, "in.set"));
    auto t = Tables({{5, 1}, {8, 1}});
    t->adjustment.row = 3;  // a RAM row: cleared by the load
    t->reference.row = 1;
    t->reference.projectorIndex = 0;  // a projector row: kept
    EXPECT_TRUE(AppendSettingsCommand(env_, *t, "in.set").ramHasRows);
    EXPECT_EQ(Rows(*t), (std::vector<std::string>{"T5", "5:1", "5:1", "5:2", "T8", "8:1", "T16", "16:1"}));
    EXPECT_EQ(FirstRows(*t), (std::vector<int>{0, 4, 6}));
    EXPECT_EQ(t->adjustment.row, -1);
    EXPECT_EQ(t->reference.row, 1);
    // Load in place of the content: no merge.
    EXPECT_TRUE(LoadSettingsCommand(env_, *t, "in.set").fileRead);
    EXPECT_EQ(Rows(*t), (std::vector<std::string>{"T5", "5:1", "5:2", "T16", "16:1"}));
    EXPECT_TRUE(Captions().empty());
}

struct LimitCase {
    const char* label;
    int used;       // block rows already in one container of type 5
    int fileRows;   // block rows of the file's container (plus its title row)
    bool append;
    int rowsAfter;
    bool warned;
};

class RowLimit : public SetFile, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RowLimit, AContainerReaching300RowsIsLeftOut) {
    const LimitCase& c = GetParam();
    ASSERT_TRUE(SaveSettingsFile(env_, *Tables({{8, c.fileRows}, {16, 0}}), "in.set"));
    auto t = Tables({{5, c.used - 1}});
    ASSERT_TRUE(LoadSettingsFile(env_, *t, c.append, "in.set"));
    EXPECT_EQ(t->ramRowCount, c.rowsAfter);
    const auto boxes = ui_.Boxes();
    ASSERT_EQ(boxes.size(), c.warned ? 1u : 0u);
    if (c.warned) {
        EXPECT_EQ(boxes[0].caption, "Warning  43");
        EXPECT_EQ(boxes[0].text, "Can't append file because maximum number of RAMblocks are exceeded");
    }
}

INSTANTIATE_TEST_SUITE_P(Set, RowLimit,
                         ::testing::Values(LimitCase{"298_plus_2_refused", 298, 1, true, 299, true},
                                           LimitCase{"297_plus_2_taken_then_full", 297, 1, true, 299, true},
                                           LimitCase{"big_container_refused_small_one_taken", 10, 289, false, 11, true},
                                           LimitCase{"both_fit_up_to_299", 10, 287, false, 299, false}),
                         [](const auto& info) { return std::string(info.param.label); });

struct DamageCase {
    const char* label;
    std::vector<uint8_t> bytes;
};

class DamagedFile : public SetFile, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFile, IsRefusedWithError26AndNothingChanges) {
    WriteBytes("bad.set", GetParam().bytes);
    auto t = Tables({{5, 2}});
    const auto before = Serialized(*t);
    const SettingsCommandResult r = LoadSettingsCommand(env_, *t, "bad.set");
    EXPECT_FALSE(r.fileRead);
    EXPECT_TRUE(r.ramHasRows);
    EXPECT_EQ(Serialized(*t), before);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].caption, "Error  26");
    EXPECT_EQ(ui_.Boxes()[0].text, "Can't open RAMfile (*.set)");
}

std::vector<uint8_t> Header(std::vector<int32_t> words, size_t rowBytes) {
    ByteWriter w;
    for (int32_t v : words) w.I32(v);
    w.Zeros(rowBytes);
    return w.Data();
}

INSTANTIATE_TEST_SUITE_P(Set, DamagedFile,
                         ::testing::Values(DamageCase{"empty", {}}, DamageCase{"three_bytes", {0, 0, 0}},
                                           DamageCase{"negative_k", Header({-1}, 0)},
                                           DamageCase{"k_past_the_end", Header({2, 1, 5}, 287)},
                                           DamageCase{"one_byte_short", Header({1, 1, 5}, 286)},
                                           DamageCase{"one_byte_long", Header({1, 1, 5}, 288)},
                                           DamageCase{"zero_rows", Header({1, 0, 5}, 0)},
                                           DamageCase{"negative_rows", Header({2, -1, 5, 2, 8}, 287)},
                                           DamageCase{"huge_rows", Header({2, 0x7FFFFFFF, 5, 0x7FFFFFFF, 8}, 287)},
                                           DamageCase{"one_byte", {0xFF}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SetFile, EveryPrefixOfARealFileIsRefused) {
    const auto full = Serialized(*Tables({{5, 2}, {8, 0}, {16, 3}}));
    for (size_t n = 0; n < full.size(); ++n) {
        const std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<long>(n));
        SettingsFileContent content;
        ASSERT_FALSE(ParseSettingsFile(prefix.data(), prefix.size(), &content, nullptr)) << n;
    }
    SettingsFileContent content;
    ASSERT_TRUE(ParseSettingsFile(full.data(), full.size(), &content, nullptr));
    EXPECT_EQ(content.rows.size(), 8u);
}

// Trailing bytes are refused for what they are, whatever they hold (zeros would also
// fail the title-row check of a container that began there; these could not).
TEST_F(SetFile, TrailingBytesAreRefusedForThemselves) {
    const auto full = Serialized(*Tables({{5, 2}, {8, 1}}));
    struct Case {
        const char* label;
        size_t extra;
        uint8_t fill;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"one byte", 1, 0x01, "1 byte follows its last row (4 + 8 x 2 + 287 x 5 bytes expected)"},
        {"two bytes", 2, 0xFF, "2 bytes follow its last row (4 + 8 x 2 + 287 x 5 bytes expected)"},
        {"a whole row's worth", 287, 0x01, "287 bytes follow its last row (4 + 8 x 2 + 287 x 5 bytes expected)"},
        {"more than a row", 300, 0x00, "300 bytes follow its last row (4 + 8 x 2 + 287 x 5 bytes expected)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto bytes = full;
        bytes.insert(bytes.end(), c.extra, c.fill);
        SettingsFileContent content;
        std::string why;
        EXPECT_FALSE(ParseSettingsFile(bytes.data(), bytes.size(), &content, &why));
        EXPECT_EQ(why, c.why);
    }
    SettingsFileContent content;
    std::string why;
    EXPECT_FALSE(ParseSettingsFile(full.data(), full.size() - 1, &content, &why));
    EXPECT_EQ(why, "it ends inside its rows (4 + 8 x 2 + 287 x 5 bytes expected)");
}

TEST_F(SetFile, NothingToSaveKeepsTheOldFile) {
    WriteBytes("old.set", {1, 2, 3});
    auto t = Tables({});
    EXPECT_FALSE(SaveSettingsFile(env_, *t, "old.set"));
    EXPECT_EQ(ReadBytes("old.set"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(SaveSettingsFile(env_, *Tables({{5, 0}}), "no/such/folder.set"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Warning  29", "Error  25"}));
    WriteBytes("empty.set", {0, 0, 0, 0});
    EXPECT_FALSE(LoadSettingsCommand(env_, *t, "empty.set").ramHasRows);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Warning  19"}));
    EXPECT_FALSE(AppendSettingsCommand(env_, *t, "missing.set").fileRead);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Error  26", "Warning  19"}));
}

TEST(RamContainerRows, MoveRowIntoContainerShiftsLaterContainersAndSelections) {
    auto t = Tables({{5, 1}, {8, 2}});
    t->reference.row = 2;  // the title row of container 8, which moves
    RAMBlock row;
    row.projectorType = 5;
    row.header.fv = 7;
    t->ramBlocks[static_cast<size_t>(t->ramRowCount)] = row;
    ASSERT_TRUE(MoveRowIntoContainer(*t, 5));
    ++t->ramRowCount;
    EXPECT_EQ(Rows(*t), (std::vector<std::string>{"T5", "5:1", "5:7", "T8", "8:1", "8:2"}));
    EXPECT_EQ(FirstRows(*t), (std::vector<int>{0, 3}));
    EXPECT_EQ(t->reference.row, 3);
    EXPECT_FALSE(MoveRowIntoContainer(*t, 16));
}

}  // namespace
}  // namespace ombrix
