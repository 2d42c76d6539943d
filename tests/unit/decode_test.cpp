// Decoding of the answers: status flags, serial, runtime, id number, version.
#include <gtest/gtest.h>

#include "link/Commands.h"
#include "projector/Projector.h"

namespace ombrix {
namespace {

struct StatusCase {
    const char* label;
    std::array<uint8_t, 4> d;
    uint32_t optionsValid;
    // green standby pause operating text pc sound stripped focus orbit soft contrast ns asic iris x1 x2
    std::array<uint8_t, 17> flags;
};

std::array<uint8_t, 17> Flags(const StatusFlags& f) {
    return {f.greenConvergence, f.standby,  f.pause,  f.operating,         f.textOn,
            f.pcMode,           f.soundAvailable,     f.convergenceStripped, f.magneticFocus,
            f.orbit,            f.softEdge, f.contrastModulation,            f.nsOnConvergence,
            f.asic,             f.iris,     f.extraBlock1,                   f.extraBlock2};
}

class StatusDecoding : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusDecoding, Flags) {
    const StatusCase& c = GetParam();
    StatusFlags f;
    uint32_t valid = 99;
    DecodeStatus(c.d.data(), &f, &valid);
    EXPECT_EQ(valid, c.optionsValid);
    EXPECT_EQ(Flags(f), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Status, StatusDecoding,
    ::testing::Values(
        StatusCase{"operating", {0, 0, 0x00, 0}, 0, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"standby", {0, 0, 0x01, 0}, 0, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"pause", {0, 0, 0x02, 0}, 0, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"standby_and_pause", {0, 0, 0x03, 0}, 0, {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"text_pc_sound", {0, 0, 0x1C, 0}, 0, {0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Options in d3 bits 5-6 and d4 count only with d3 bit 7.
        StatusCase{"options_not_valid", {0, 0, 0x60, 0xFF}, 0,
                   {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"all_options_valid", {0, 0, 0xE0, 0xFF}, 1,
                   {0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        StatusCase{"each_option_bit", {0, 0, 0x80, 0x15}, 1,
                   {0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0, 0}},
        StatusCase{"extra_blocks", {0, 0, 0x80, 0xC0}, 1,
                   {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
        // Green convergence needs no option bit; d2 is never used.
        StatusCase{"green_convergence_ignores_d2", {0x40, 0xFF, 0x00, 0}, 0,
                   {1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        StatusCase{"other_d1_bits_ignored", {0xBF, 0, 0x00, 0}, 0,
                   {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.label); });

struct TextCase {
    const char* label;
    std::string (*decode)(const uint8_t*);
    std::array<uint8_t, 4> d;
    const char* text;
};

class TextDecoding : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextDecoding, Text) {
    const TextCase& c = GetParam();
    EXPECT_EQ(c.decode(c.d.data()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TextDecoding,
    ::testing::Values(TextCase{"serial_valid", DecodeSerialNumber, {0xF1, 0x23, 0x45, 0x67}, "1234567"},
                      TextCase{"serial_hex_lower_case", DecodeSerialNumber, {0xFA, 0xBC, 0x0D, 0xEF}, "abc0def"},
                      TextCase{"serial_without_marker", DecodeSerialNumber, {0x12, 0x23, 0x45, 0x67}, "???????"},
                      TextCase{"serial_marker_in_low_nibble", DecodeSerialNumber, {0x0F, 0, 0, 0}, "???????"},
                      TextCase{"runtime_300", DecodeRuntime, {0x01, 0x2C, 0xFF, 0xFF}, "300h"},
                      TextCase{"runtime_max", DecodeRuntime, {0xFF, 0xFF, 0, 0}, "65535h"},
                      TextCase{"id_top_bit_negative", DecodeIdNumber, {0x01, 0x00, 0x00, 0x80}, "-2147483647"},
                      TextCase{"id_little_endian", DecodeIdNumber, {0x8A, 0x87, 0x01, 0x00}, "100234"},
                      TextCase{"id_minus_one", DecodeIdNumber, {0xFF, 0xFF, 0xFF, 0xFF}, "-1"}),
    [](const auto& info) { return std::string(info.param.label); });

struct VersionCase {
    const char* label;
    uint8_t major, minor;
    const char* text;
    uint8_t number;
};

class Versions : public ::testing::TestWithParam<VersionCase> {};

TEST_P(Versions, TextAndNumber) {
    const VersionCase& c = GetParam();
    const std::string text = FormatVersion(c.major, c.minor);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(VersionNumber(text), c.number);
}

INSTANTIATE_TEST_SUITE_P(Identity, Versions,
                         ::testing::Values(VersionCase{"leading_blank", 0x03, 0x05, " 3.05", 3},
                                           VersionCase{"two_digits", 0x12, 0x05, "12.05", 12},
                                           VersionCase{"hex_letter_reads_as_zero", 0x0A, 0x00, " a.00", 0},
                                           VersionCase{"three_hex_digits_truncate", 0xFF, 0x10, "ff.10", 0},
                                           VersionCase{"decimal_above_255_wraps", 0x99, 0x01, "99.01", 99}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(IdNumber, TextRoundTripsThroughTheValue) {
    for (const char* text : {"0", "100234", "-1", "-2147483647", "2147483647", "-2147483648"}) {
        EXPECT_EQ(std::to_string(IdNumberValue(text)), text) << text;
    }
}

}  // namespace
}  // namespace ombrix
