// Request frames on the wire: offset byte, checksum, byte stuffing, data-run checksums.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/SeatWire.h"

namespace ombrix {
namespace {

struct WireCase {
    const char* label;
    std::array<uint8_t, 6> bytes;  // frame bytes 1-6
    uint8_t offset;
    uint8_t checksum;
    std::array<uint8_t, 9> wire;
};

class WireExamples : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireExamples, OffsetChecksumAndWireBytes) {
    const WireCase& c = GetParam();
    const RequestFrame f = BuildRequest(c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], c.bytes[4], c.bytes[5]);
    EXPECT_EQ(f.b[0], c.offset);
    EXPECT_EQ(f.b[7], c.checksum);
    EXPECT_EQ(WireBytes(f), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WireExamples,
    ::testing::Values(
        // 1 occurs, 2 does not: k = 2, offset 0.
        WireCase{"status_of_address_1", {1, 'K', 0, 0, 0, 0}, 0x00, 0x4C,
                 {0x02, 0x00, 0x01, 0x4B, 0x00, 0x00, 0x00, 0x00, 0x4C}},
        // 1 does not occur: k = 1, offset 1.
        WireCase{"identity_of_address_2", {2, 'L', 0, 0, 0, 0}, 0x01, 0x4E,
                 {0x02, 0x01, 0x03, 0x4D, 0x01, 0x01, 0x01, 0x01, 0x4F}},
        // 1-6 all occur: k = 7, offset 0xFB.
        WireCase{"all_small_values_present", {1, 6, 2, 3, 4, 5}, 0xFB, 0x15,
                 {0x02, 0xFB, 0xFC, 0x01, 0xFD, 0xFE, 0xFF, 0x00, 0x10}},
        WireCase{"header_table_read", {1, 'r', 0xFF, 0xFF, 0xFF, 0xFF}, 0x00, 0x6F,
                 {0x02, 0x00, 0x01, 0x72, 0xFF, 0xFF, 0xFF, 0xFF, 0x6F}},
        // 1 and 2 occur, 3 does not: k = 3, offset 0xFF; the 2 goes out as 1.
        WireCase{"address_2_with_param_1", {2, 'z', 1, 0, 0, 0}, 0xFF, 0x7D,
                 {0x02, 0xFF, 0x01, 0x79, 0x00, 0xFF, 0xFF, 0xFF, 0x7C}}),
    [](const auto& info) { return std::string(info.param.label); });

// Whatever the frame, 0x02 never appears among the offset, address, command and
// parameters on the wire, so a receiver can always find the start byte.
TEST(ChooseOffset, NoStartByteInsideAnyFrame) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> small(0, 9), any(0, 255);
    for (int i = 0; i < 200000; ++i) {
        // Mostly small values, where collisions with 2 happen.
        auto pick = [&] { return static_cast<uint8_t>(i % 3 ? small(rng) : any(rng)); };
        const RequestFrame f = BuildRequest(pick(), pick(), pick(), pick(), pick(), pick());
        const auto w = WireBytes(f);
        for (size_t k = 1; k <= 7; ++k) ASSERT_NE(w[k], 0x02) << "frame " << i << " byte " << k;
    }
}

TEST(DataRun, ChecksumAddsTheOffsetToTheSum) {
    const uint8_t data[] = {0x10, 0x20};
    EXPECT_EQ(DataRunChecksum(data, 2, 0x01), 0x31);
    const uint8_t wrap[] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(DataRunChecksum(wrap, 3, 0xFB), static_cast<uint8_t>(0x01 + 0xFB));
    EXPECT_EQ(DataRunChecksum(nullptr, 0, 0x05), 0x05);
}

// What a seat sends is written only when it reads back as one whole request frame.
TEST(SeatWire, OnlyWholeFramesReadBack) {
    const auto whole = WireBytes(BuildRequest(12, 'y', 0x10, 0x01, 0x05, 0));
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        bool frame;
    };
    std::vector<uint8_t> flipped(whole.begin(), whole.end());
    flipped[5] ^= 0x01;
    std::vector<uint8_t> noStart(whole.begin(), whole.end());
    noStart[0] = 0x03;
    const Case cases[] = {
        {"a built frame", {whole.begin(), whole.end()}, true},
        {"one bit flipped", flipped, false},
        {"no start byte", noStart, false},
        {"half a frame", {whole.begin(), whole.begin() + 4}, false},
        {"a byte too many", [&] { std::vector<uint8_t> v(whole.begin(), whole.end()); v.push_back(0); return v; }(), false},
    };
    for (const Case& c : cases) {
        RequestFrame f;
        EXPECT_EQ(ParseWireRequest(c.bytes.data(), c.bytes.size(), &f), c.frame) << c.label;
        if (c.frame) {
            EXPECT_EQ(f.b[1], 12) << c.label;
            EXPECT_EQ(f.b[5], 0x05) << c.label;
        }
    }
}

// Messages come whole however the stream cuts them; a length beyond any spoils it.
TEST(SeatWire, ReaderTakesMessagesAsTheyComeAndRefusesEndlessOnes) {
    std::vector<uint8_t> stream = EncodeSeatMessage(seat::kWrite, std::string("abc"));
    const auto ping = EncodeSeatMessage(seat::kPing, std::string());
    stream.insert(stream.end(), ping.begin(), ping.end());
    SeatReader byByte;
    std::string got;
    for (uint8_t b : stream) {
        byByte.Feed(&b, 1);
        while (auto m = byByte.Next()) got += std::string(1, static_cast<char>(m->type)) + m->Text() + ";";
    }
    EXPECT_EQ(got, "Wabc;P;");
    EXPECT_EQ(byByte.Pending(), 0u);

    SeatReader endless;
    const uint8_t head[] = {'W', 0x01, 0x00, 0x01};  // one byte longer than any message
    endless.Feed(head, sizeof head);
    EXPECT_FALSE(endless.Next());
    EXPECT_TRUE(endless.Spoiled());
}

TEST(CommErrorText, OneTextPerFailure) {
    EXPECT_STREQ(CommErrorText(kNoAck), "Projector doesn't send ACK !");
    EXPECT_STREQ(CommErrorText(kNoAnswer), "Projector does send ACK, but doesn't answer the question !");
    EXPECT_STREQ(CommErrorText(kNacked), "Projector sends NACK !");
    EXPECT_EQ(CommErrorText(kDone), nullptr);
    EXPECT_EQ(CommErrorText(7), nullptr);
}

}  // namespace
}  // namespace ombrix
