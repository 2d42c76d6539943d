// The readable form of description files: byte-identical round trips of files nobody
// wrote by hand, plain values where the bytes are clean, and texts that are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "data/DescriptionText.h"

namespace ombrix {
namespace {

// A valid file with random content everywhere: counts, names with bytes after their
// zero, any float bits, non-zero fillers and trailing bytes now and then.
std::vector<uint8_t> RandomFile(uint32_t seed) {
    std::mt19937 rng(seed);
    auto u = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    auto fill = [&](uint8_t* p, size_t n) {
        const uint32_t style = u(4);  // clean text, text with junk, all junk, zeros
        const size_t len = u(static_cast<uint32_t>(n + 1));
        for (size_t i = 0; i < n; ++i) {
            if (style == 3) p[i] = 0;
            else if (style == 2) p[i] = static_cast<uint8_t>(rng());
            else if (i < len) p[i] = static_cast<uint8_t>('A' + u(26));
            else p[i] = (style == 1 && u(3) == 0) ? static_cast<uint8_t>(rng()) : 0;
        }
    };
    auto num = [&]() { return u(4) ? static_cast<int32_t>(u(300)) - 20 : static_cast<int32_t>(rng()); };
    auto real = [&]() {
        const uint32_t bits = u(3) ? 0x3F000000u + u(0x1000000) : static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    };
    Description d;
    DescriptionPadding pad;
    d.typeCount = static_cast<int32_t>(u(16));
    d.codeWord = num();
    for (size_t i = 0; i < kMaxDescriptionTypes; ++i) {
        d.typeCodes[i] = static_cast<uint8_t>(rng());
        d.alphaIds[i] = static_cast<char>(u(5) ? 'A' + u(26) : rng());
    }
    fill(d.label.data(), d.label.size());
    d.blockLength = num();
    d.blockCount = static_cast<int32_t>(u(40));
    d.kindSpareCount = static_cast<int32_t>(u(4));
    d.paramSpareCount = static_cast<int32_t>(u(7));
    d.fhBase = real();
    d.fvBase = real();
    d.headerVariant = num();
    auto spares = [&](int32_t n) {
        std::vector<DescriptionSpare> v(static_cast<size_t>(n));
        for (auto& s : v) s.spareValue = num(), fill(s.spareText.data(), s.spareText.size());
        return v;
    };
    auto filler = [&](size_t n) {
        std::vector<uint8_t> v(n, 0);
        if (u(4) == 0) {
            for (auto& b : v) b = static_cast<uint8_t>(rng());
        }
        return v;
    };
    d.groups.resize(u(6));
    for (auto& g : d.groups) {
        g.groupBlocks = static_cast<int32_t>(u(4));
        fill(g.groupName.data(), g.groupName.size());
        for (auto& b : g.groupHeader) b = static_cast<uint8_t>(rng());
    }
    pad.groupFillers = filler(GroupFillerSize(static_cast<int32_t>(d.groups.size())));
    d.kinds.resize(u(5));
    for (auto& k : d.kinds) {
        k.kindNumber = static_cast<uint8_t>(rng());
        fill(k.kindName.data(), k.kindName.size());
        k.kindWord = static_cast<uint16_t>(rng());
        k.optionWord = static_cast<uint16_t>(u(3));
        k.specialKind = num();
        for (auto& b : k.kindBytes) b = static_cast<uint8_t>(u(3));
        k.kindLong = num();
        k.spares = spares(d.kindSpareCount);
        pad.kindFillers.push_back(filler(KindFillerSize(d.kindSpareCount)));
    }
    d.parameters.resize(u(6));
    for (auto& p : d.parameters) {
        p.paramNumber = num(), p.placeInBlock = num(), p.min = num(), p.max = num(), p.step = num();
        p.da1 = static_cast<uint8_t>(rng()), p.da2 = static_cast<uint8_t>(rng()), p.kind = static_cast<uint8_t>(u(12));
        for (auto& b : p.paramBytes) b = static_cast<uint8_t>(rng());
        p.colorDependency = static_cast<uint8_t>(u(4)), p.directionDependency = static_cast<uint8_t>(u(5));
        p.directAccessAllowed = static_cast<uint8_t>(u(2)), p.optionsNeeded = num();
        fill(p.paramName.data(), p.paramName.size());
        p.spares = spares(d.paramSpareCount);
        pad.paramFillers.push_back(filler(ParamFillerSize(d.paramSpareCount)));
    }
    d.specialGroupCount = static_cast<int32_t>(d.groups.size());
    d.kindCount = static_cast<int32_t>(d.kinds.size());
    d.paramCount = static_cast<int32_t>(d.parameters.size());
    if (u(3) == 0) pad.trailing = filler(u(50));
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_TRUE(SerializeDescription(d, &pad, &out, &why)) << why;
    return out;
}

TEST(DescriptionText, RandomFilesComeBackByteForByte) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const auto bytes = RandomFile(seed);
        std::string text, why;
        ASSERT_TRUE(DescriptionBytesToText(bytes, &text, &why)) << seed << ": " << why;
        std::vector<uint8_t> back;
        ASSERT_TRUE(DescriptionTextToBytes(text, &back, &why)) << seed << ": " << why << "\n" << text;
        ASSERT_EQ(back, bytes) << seed << "\n" << text;
        std::string again;
        ASSERT_TRUE(DescriptionBytesToText(back, &again, &why));
        ASSERT_EQ(again, text) << seed;
    }
}

std::string TextOf(const std::function<void(Description&, DescriptionPadding&)>& change) {
    Description d;
    d.blockLength = 64;
    d.kinds.resize(1);
    d.parameters.resize(1);
    d.kindCount = d.paramCount = 1;
    DescriptionPadding pad;
    pad.groupFillers.assign(GroupFillerSize(0), 0);
    pad.kindFillers.assign(1, std::vector<uint8_t>(KindFillerSize(0), 0));
    pad.paramFillers.assign(1, std::vector<uint8_t>(ParamFillerSize(0), 0));
    change(d, pad);
    return DescriptionToText(d, pad);
}

struct ShapeCase {
    const char* label;
    std::function<void(Description&, DescriptionPadding&)> change;
    const char* expected;  // appears in the text
};

class TextShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(TextShape, PlainWhereCleanHexWhereNot) {
    const std::string text = TextOf(GetParam().change);
    EXPECT_NE(text.find(GetParam().expected), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Text, TextShape,
    ::testing::Values(
        ShapeCase{"clean_name", [](Description& d, DescriptionPadding&) { SetFieldText(&d.parameters[0].paramName, "Tint"); },
                  "\"paramName\": \"Tint\""},
        ShapeCase{"bytes_after_the_zero",
                  [](Description& d, DescriptionPadding&) {
                      SetFieldText(&d.parameters[0].paramName, "Tint");
                      d.parameters[0].paramName[19] = 'x';
                  },
                  "\"paramName\": {\"hex\": \"54696e7400000000000000000000000000000078\"}"},
        ShapeCase{"non_ascii", [](Description& d, DescriptionPadding&) { d.label[0] = 0xB0; },
                  "\"label\": {\"hex\": \"b0"},
        ShapeCase{"decimal_float", [](Description& d, DescriptionPadding&) { d.fhBase = 5e-7f; }, "\"fhBase\": 5e-07"},
        ShapeCase{"negative_zero", [](Description& d, DescriptionPadding&) { d.fvBase = -0.0f; }, "\"fvBase\": -0.0"},
        ShapeCase{"nan_bits", [](Description& d, DescriptionPadding&) { d.fhBase = std::nanf(""); },
                  "\"fhBase\": {\"hex\": \"0000c07f\"}"},
        ShapeCase{"letter_zero", [](Description& d, DescriptionPadding&) { d.typeCount = 1; },
                  "{\"typeCode\": 0, \"alphaId\": {\"hex\": \"00\"}}"},
        ShapeCase{"kind_fillers", [](Description&, DescriptionPadding& p) { p.kindFillers[0][67] = 1; },
                  "\"fillers\": {\"hex\": \"0000"},
        ShapeCase{"trailing", [](Description&, DescriptionPadding& p) { p.trailing = {0xAB}; },
                  "\"trailing\": {\"hex\": \"ab\"}"}),
    [](const auto& info) { return std::string(info.param.label); });

struct BadCase {
    const char* label;
    const char* from;  // replaced in a valid text
    const char* to;
    const char* why;   // appears in the reason
};

class BadText : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadText, IsRefusedWithItsPlace) {
    const BadCase& c = GetParam();
    std::string text = TextOf([](Description& d, DescriptionPadding&) {
        d.typeCount = 1;
        d.alphaIds[0] = 'V';
        SetFieldText(&d.parameters[0].paramName, "Tint");
    });
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, std::strlen(c.from), c.to);
    std::vector<uint8_t> bytes;
    std::string why;
    EXPECT_FALSE(DescriptionTextToBytes(text, &bytes, &why));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(
    Text, BadText,
    ::testing::Values(BadCase{"name_too_long", "\"Tint\"", "\"Tint is far too long!\"", "parameters[0].paramName"},
                      BadCase{"unknown_key", "\"paramName\"", "\"paramNome\"", "unknown key \"paramNome\""},
                      BadCase{"type_code_too_big", "\"typeCode\": 0", "\"typeCode\": 256", "types[0].typeCode"},
                      BadCase{"two_letters", "\"V\"", "\"VV\"", "types[0].alphaId"},
                      BadCase{"spares_missing", "\"kindSpareCount\": 0", "\"kindSpareCount\": 1", "kinds[0].spares"},
                      BadCase{"short_hex", "\"kinds\"", "\"groupFillers\": {\"hex\": \"00\"}, \"kinds\"",
                              "groupFillers: hex must hold 114 bytes"},
                      BadCase{"fraction", "\"blockLength\": 64", "\"blockLength\": 64.5", "blockLength"},
                      BadCase{"not_json", "{", "[", "parse"},
                      BadCase{"missing_key", "\"headerVariant\": 0,", "", "\"headerVariant\" is missing"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ombrix
