// The type library and the image library, exercised the way the program
// uses them: opened by path at run time and resolved by symbol name.

#include "kelvanebmp.h"
#include "kelvaneproj.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

template <typename Fn>
Fn Resolve(void *handle, const char *name) {
    void *sym = handle != nullptr ? dlsym(handle, name) : nullptr;
    if (sym == nullptr) ADD_FAILURE() << "missing symbol " << name;
    return reinterpret_cast<Fn>(sym);
}

void *Open(const char *path) {
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
    return handle;
}

struct ProjLib {
    void *handle = Open(KELVANEPROJ_PATH);
    decltype(&Return_Projector_Type) type =
        Resolve<decltype(type)>(handle, "Return_Projector_Type");
    decltype(&Return_Projector_StringID) stringId =
        Resolve<decltype(stringId)>(handle, "Return_Projector_StringID");
    decltype(&Return_Projector_Alpha_ID) alphaId =
        Resolve<decltype(alphaId)>(handle, "Return_Projector_Alpha_ID");
    decltype(&Return_Projector_String) string =
        Resolve<decltype(string)>(handle, "Return_Projector_String");

    std::string Text(int number) const {
        char buf[300];
        std::memset(buf, 'x', sizeof buf);
        const int n = string(number, buf, sizeof buf);
        EXPECT_EQ(n, static_cast<int>(std::strlen(buf))) << "string " << number;
        return buf;
    }
};

const ProjLib &Proj() {
    static const ProjLib lib;
    return lib;
}

decltype(&Kelvane_Image) ImageFn() {
    static void *handle = Open(KELVANEBMP_PATH);
    static auto fn = Resolve<decltype(&Kelvane_Image)>(handle, "Kelvane_Image");
    return fn;
}

// ---- Type-code table: model number -> type code ----------------------------

struct TypeRow {
    std::vector<int> models;
    int code;
};
const std::vector<TypeRow> kTypeRows = {
    {{5, 6}, 0},   {{11, 21}, 1},     {{3, 10}, 2},  {{7}, 3},      {{4}, 4},      {{2, 16}, 5},
    {{14}, 6},     {{15}, 7},         {{12, 13}, 8}, {{17, 22}, 9}, {{18, 26}, 10}, {{8, 9}, 11},
    {{19}, 13},    {{20}, 14},        {{25}, 15},    {{23, 24}, 16}, {{27}, 17},    {{28}, 18},
    {{29}, 19},    {{30}, 20},        {{31, 32}, 21}, {{33}, 22},   {{34, 35}, 23}, {{39, 40}, 24},
    {{36, 37, 38}, 25}, {{41}, 26},   {{42}, 27},    {{43}, 28},    {{44}, 29},    {{45}, 30},
    {{46}, 31},    {{47}, 32},        {{48}, 33},    {{49}, 34},    {{50}, 35},
};

TEST(ProjectorType, EveryModelMapsToItsCode) {
    std::set<int> seen;
    for (const TypeRow &row : kTypeRows)
        for (int m : row.models) {
            EXPECT_EQ(Proj().type(m), row.code) << "model " << m;
            seen.insert(m);
        }
    EXPECT_EQ(seen.size(), 49u) << "test table must cover models 2-50";
}

TEST(ProjectorType, NonModelsGiveMinusOne) {
    for (int arg : {INT_MIN, -1, 0, 1, 51, 52, 376, INT_MAX}) EXPECT_EQ(Proj().type(arg), -1) << arg;
}

// ---- Model table: (type code, letter) -> model number - 2 -------------------

constexpr int kAny = -1;
struct ModelRow {
    int code;
    std::vector<std::pair<int, int>> hits;  // letter (or kAny) -> result
};
const std::vector<ModelRow> kModelRows = {
    {0, {{'G', 4}, {'D', 3}}},  {1, {{'G', 9}, {'D', 19}}},  {2, {{'G', 8}, {'V', 1}}},
    {3, {{'D', 5}}},            {4, {{'V', 2}}},             {5, {{'V', 0}, {'D', 14}}},
    {6, {{'G', 12}}},           {7, {{'D', 13}}},            {8, {{'G', 11}, {'D', 10}}},
    {9, {{'G', 15}, {'D', 20}}}, {10, {{'V', 24}, {'S', 16}}}, {11, {{'V', 7}, {'D', 6}}},
    {12, {{kAny, 45}}},         {13, {{'G', 17}}},           {14, {{'S', 18}}},
    {15, {{'V', 23}}},          {16, {{'G', 21}, {'D', 22}}}, {17, {{'V', 25}}},
    {18, {{'D', 26}}},          {19, {{'V', 27}}},           {20, {{'S', 28}}},
    {21, {{'V', 30}, {'S', 29}}}, {22, {{'D', 31}}},         {23, {{'G', 33}, {'D', 32}}},
    {24, {{'G', 38}, {'D', 37}}}, {25, {{'G', 36}, {'V', 34}, {'D', 35}}},
    {26, {{'S', 39}}},          {27, {{'S', 40}}},           {28, {{'D', 41}}},
    {29, {{'V', 42}}},          {30, {{'G', 43}}},           {31, {{'V', 44}}},
    {32, {{kAny, 45}}},         {33, {{kAny, 46}}},          {34, {}},
    {35, {{'G', 48}}},
};

TEST(ProjectorStringID, WholeTableWithEveryLetter) {
    // The four known letters plus letters that must never match a row.
    const int letters[] = {'G', 'V', 'D', 'S', 'g', 'X', 0, '*', 255};
    for (const ModelRow &row : kModelRows)
        for (int letter : letters) {
            int expected = 47;
            for (auto [l, result] : row.hits)
                if (l == kAny || l == letter) expected = result;
            EXPECT_EQ(Proj().stringId(row.code, letter), expected)
                << "code " << row.code << " letter " << letter;
        }
}

TEST(ProjectorStringID, EdgeCases) {
    struct Case {
        const char *label;
        int code, letter, expected;
    };
    const Case cases[] = {
        {"first model", 5, 'V', 0},
        {"code without models", 34, 'G', 47},
        {"negative code, no letter", -1, 0, 47},
        {"code past the table", 36, 'G', 47},
        {"huge code", INT_MAX, 'G', 47},
        {"wildcard row, odd letter", 12, 'Q', 45},
        {"wildcard row, no letter", 33, 0, 46},
        {"letter with high bits set", 5, 'V' + 256, 47},
    };
    for (const Case &c : cases) EXPECT_EQ(Proj().stringId(c.code, c.letter), c.expected) << c.label;
}

// ---- Letter table: model number -> type letter ------------------------------

char LetterOf(int model) {
    static const std::set<int> v = {2, 3, 4, 9, 25, 26, 27, 29, 32, 36, 44, 46, 47, 48, 49};
    static const std::set<int> g = {6, 10, 11, 13, 17, 19, 23, 35, 38, 40, 45, 50};
    static const std::set<int> s = {14, 18, 20, 30, 31, 41, 42};
    return v.count(model) ? 'V' : g.count(model) ? 'G' : s.count(model) ? 'S' : 'D';
}

TEST(ProjectorAlphaID, ModelsGiveTheirLetter) {
    for (int m = 2; m <= 50; ++m) EXPECT_EQ(Proj().alphaId(m), LetterOf(m)) << "model " << m;
}

TEST(ProjectorAlphaID, OtherArgumentsGiveTheirLowByte) {
    struct Case {
        const char *label;
        int arg;
        char expected;
    };
    const Case cases[] = {
        {"zero", 0, '\0'},         {"one", 1, '\x01'},       {"just past models", 51, '3'},
        {"code 60", 60, '<'},      {"high byte dropped", 256 + 'G', 'G'},
        {"minus one", -1, '\xff'}, {"byte 200", 200, static_cast<char>(200)},
    };
    for (const Case &c : cases) EXPECT_EQ(Proj().alphaId(c.arg), c.expected) << c.label;
}

// ---- Numbered strings --------------------------------------------------------

TEST(ProjectorString, FixedTexts) {
    struct Case {
        const char *label;
        int number;
        const char *text;
    };
    const Case cases[] = {
        {"model count", 1, "49"},
        {"first filler after models", 51, "Unknown"},
        {"last filler after models", 102, "Unknown"},
        {"error 0", 103, "Can't open file user_adr.cfg"},
        {"error 3", 106, "Connection failed (in create)"},
        {"error 5", 108,
         "Unable to proceed operation : found a projector with identical address in destination "
         "group"},
        {"error 22, quotes", 125, "Unable to create the thread for \"Check Connection\""},
        {"error 30, quotes", 133, "Can't load \"kelvaneproj.dll\""},
        {"error 41, quotes", 144, "Can't load \"kelvanebmp.dll\""},
        {"error 49, trailing blank", 152, "Unknown alpha id detected "},
        {"error 50, filler", 153, "Can't"},
        {"error 100, filler", 203, "Can't"},
        {"warning 0", 204, "Can't find file adr.cfg, probably not created yet"},
        {"warning 9, two trailing blanks", 213,
         "Only overwrite contents from a projector with corresponding type  "},
        {"warning 10, trailing blank", 214,
         "Unable to copy block, detected an identical header inside the projector "},
        {"warning 14, spelling kept", 218,
         "Can't copy the selected blocks to the projector beacuse the number of selected blocks "
         "exceeds the number of available free blocks"},
        {"warning 38", 242, "Connection already opened"},
        {"warning 42, quotes", 246, "Problems creating \"Options.cfg\""},
        {"warning 45, last", 249, "Can't open \"options.cfg\", default options loaded"},
        {"warning 46, filler", 250, "unknown"},
        {"warning 100, filler", 304, "unknown"},
        {"first filler after families", 341, "Unknown"},
        {"last filler after families", 375, "Unknown"},
        {"family count", 376, "36"},
    };
    for (const Case &c : cases) EXPECT_EQ(Proj().Text(c.number), c.text) << c.label;
}

TEST(ProjectorString, MissingNumbersAndBadBuffers) {
    for (int number : {INT_MIN, -1, 0, 377, INT_MAX}) {
        char buf[8] = "xxxxxxx";
        EXPECT_EQ(Proj().string(number, buf, sizeof buf), 0) << number;
        EXPECT_STREQ(buf, "") << number;
    }
    EXPECT_EQ(Proj().string(106, nullptr, 10), 0) << "null buffer";
    char buf[4] = "abc";
    EXPECT_EQ(Proj().string(106, buf, 0), 0) << "size 0";
    EXPECT_EQ(Proj().string(106, buf, -5), 0) << "negative size";
    EXPECT_STREQ(buf, "abc") << "nothing written without room";
}

TEST(ProjectorString, TruncatesWithoutWritingPastSize) {
    const std::string full = "Connection failed (in create)";  // string 106, 29 characters
    const int len = static_cast<int>(full.size());
    for (int size : {1, 2, 11, len, len + 1, len + 20}) {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        const int n = Proj().string(106, buf, size);
        const std::string expected = full.substr(0, static_cast<std::size_t>(size - 1));
        EXPECT_EQ(n, static_cast<int>(expected.size())) << "size " << size;
        EXPECT_EQ(std::string(buf), expected) << "size " << size;
        for (int i = size; i < static_cast<int>(sizeof buf); ++i)
            ASSERT_EQ(buf[i], '#') << "size " << size << " wrote byte " << i;
    }
}

TEST(ProjectorString, ModelNamesCarryTheirLetter) {
    std::set<std::string> names;
    for (int m = 2; m <= 50; ++m) {
        const std::string name = Proj().Text(m);
        ASSERT_GE(name.size(), 2u) << "model " << m;
        EXPECT_LE(name.size(), 8u) << "model " << m;
        EXPECT_EQ(name[1], LetterOf(m)) << "model " << m << " '" << name << "'";
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 49u) << "model names must be distinct";
}

TEST(ProjectorString, FamilyTexts) {
    std::vector<int> mirrored;
    for (int code = 0; code <= 35; ++code) {
        const std::string text = Proj().Text(305 + code);
        EXPECT_FALSE(text.empty()) << "type " << code;
        EXPECT_LE(text.size(), 29u) << "type " << code << " must fit the 30-character reader";
        if (text.rfind("12", 0) == 0) mirrored.push_back(code);
    }
    ASSERT_GE(mirrored.size(), 2u);
    for (int code : mirrored) {
        bool hasModel = false;
        for (int m = 2; m <= 50; ++m) hasModel = hasModel || Proj().type(m) == code;
        EXPECT_TRUE(hasModel) << "family flag on type " << code << " which has no model";
    }
}

// ---- Images ------------------------------------------------------------------

TEST(KelvaneImage, ConcurrentFirstUseYieldsOneImage) {
    // Runs before the other image tests so the strip is still unbuilt.
    std::vector<const unsigned int *> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { ImageFn()(201, nullptr, nullptr, &seen[i]); });
    for (std::thread &t : threads) t.join();
    for (const unsigned int *p : seen) EXPECT_EQ(p, seen[0]);
    EXPECT_NE(seen[0], nullptr);
}

TEST(KelvaneImage, SizesAndUnknownNumbers) {
    struct Case {
        int number, width, height;
    };
    for (const Case &c : {Case{464, 32, 32}, Case{200, 414, 17}, Case{201, 414, 17}, Case{463, 250, 410},
                          Case{483, 36, 17}}) {
        int w = 0, h = 0;
        const unsigned int *px = nullptr;
        ASSERT_EQ(ImageFn()(c.number, &w, &h, &px), 1) << c.number;
        EXPECT_EQ(w, c.width) << c.number;
        EXPECT_EQ(h, c.height) << c.number;
        const unsigned int *again = nullptr;
        ImageFn()(c.number, nullptr, nullptr, &again);
        EXPECT_EQ(again, px) << "image " << c.number << " must be built once";
    }
    for (int number : {-1, 0, 199, 202, 462, 465}) {
        int w = -7;
        EXPECT_EQ(ImageFn()(number, &w, nullptr, nullptr), 0) << number;
        EXPECT_EQ(w, -7) << number;
    }
}

TEST(KelvaneImage, ToolbarSlotsHoldDistinctGlyphs) {
    for (int number : {200, 201}) {
        int w = 0, h = 0;
        const unsigned int *px = nullptr;
        ASSERT_EQ(ImageFn()(number, &w, &h, &px), 1);
        std::set<std::vector<unsigned int>> glyphs;
        for (int slot = 0; slot < KELVANE_TOOLBAR_SLOTS; ++slot) {
            std::vector<unsigned int> cells;
            int opaque = 0, clear = 0;
            for (int y = 0; y < h; ++y)
                for (int x = slot * 18; x < slot * 18 + 18; ++x) {
                    const unsigned int p = px[y * w + x];
                    cells.push_back(p);
                    if (p >> 24 == 0xFF) ++opaque;
                    if (p >> 24 == 0) ++clear;
                }
            EXPECT_GT(opaque, 10) << "image " << number << " slot " << slot << " is empty";
            EXPECT_GT(clear, 0) << "image " << number << " slot " << slot << " has no background";
            EXPECT_TRUE(glyphs.insert(cells).second)
                << "image " << number << " slot " << slot << " repeats an earlier glyph";
        }
    }
}

TEST(KelvaneImage, IconHasTransparentBackground) {
    const unsigned int *px = nullptr;
    ASSERT_EQ(ImageFn()(464, nullptr, nullptr, &px), 1);
    EXPECT_EQ(px[0] >> 24, 0u) << "top-left corner";
    EXPECT_EQ(px[32 * 32 - 32] >> 24, 0u) << "bottom-left corner";
    int opaque = 0;
    for (int i = 0; i < 32 * 32; ++i) opaque += (px[i] >> 24) == 0xFF;
    EXPECT_GT(opaque, 200);
}

}  // namespace
