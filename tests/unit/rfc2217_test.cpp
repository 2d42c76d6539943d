// The telnet COM-port control bytes the program sends to a network serial server, and
// how it reads what such a server sends back.
#include <gtest/gtest.h>

#include "platform/Rfc2217.h"

namespace ombrix {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Rfc2217, LineSettingsBecomeComPortCommands) {
    struct Case {
        const char* label;
        LineSettings settings;
        Bytes want;
    };
    // IAC SB COM-PORT-OPTION command value IAC SE, one per setting.
    // Byte by byte: GCC 12 at -O2 takes inserting a range into the four-byte vector for a
    // copy past its end (a false -Warray-bounds).
    auto sb = [](uint8_t cmd, const Bytes& value) {
        Bytes b;
        for (uint8_t x : {uint8_t{255}, uint8_t{250}, uint8_t{44}, cmd}) b.push_back(x);
        for (uint8_t x : value) b.push_back(x);
        b.push_back(255);
        b.push_back(240);
        return b;
    };
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const std::vector<Case> cases = {
        {"9600 8N1, no flow control", {9600, 8, 0, 0, 0},
         cat({sb(1, {0, 0, 0x25, 0x80}), sb(2, {8}), sb(3, {1}), sb(4, {1}), sb(5, {1})})},
        {"19200 7 odd 2, RTS/CTS", {19200, 7, 1, 2, 2},
         cat({sb(1, {0, 0, 0x4B, 0}), sb(2, {7}), sb(3, {2}), sb(4, {2}), sb(5, {3})})},
        {"110 5 even 1.5, XON/XOFF", {110, 5, 2, 1, 4},
         cat({sb(1, {0, 0, 0, 110}), sb(2, {5}), sb(3, {3}), sb(4, {3}), sb(5, {2})})},
        {"a speed with a 255 byte is escaped", {0x0001FF00, 8, 0, 0, 0},
         cat({sb(1, {0, 1, 255, 255, 0}), sb(2, {8}), sb(3, {1}), sb(4, {1}), sb(5, {1})})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(TelnetComPortCodec::LineCommands(c.settings), c.want);
    }
    EXPECT_EQ(TelnetComPortCodec::DtrCommand(true), sb(5, {8}));
    EXPECT_EQ(TelnetComPortCodec::DtrCommand(false), sb(5, {9}));
}

TEST(Rfc2217, DataIsEscapedOnTheWayOut) {
    Bytes out;
    const Bytes frame{0x02, 0x10, 0xFF, 0x41, 0xFF};
    TelnetComPortCodec::EncodeData(frame.data(), frame.size(), &out);
    EXPECT_EQ(out, (Bytes{0x02, 0x10, 0xFF, 0xFF, 0x41, 0xFF, 0xFF}));
}

TEST(Rfc2217, ReceivedBytesSplitIntoDataAndNegotiation) {
    struct Case {
        const char* label;
        std::vector<Bytes> chunks;  // as the socket delivers them
        Bytes data;
        Bytes reply;
        uint32_t serverBaud;
    };
    const std::vector<Case> cases = {
        {"plain data", {{0x06, 0x02, 0x41}}, {0x06, 0x02, 0x41}, {}, 0},
        {"doubled IAC is one data byte", {{0x10, 255, 255, 0x11}}, {0x10, 255, 0x11}, {}, 0},
        {"IAC split across reads", {{0x10, 255}, {255, 0x11}}, {0x10, 255, 0x11}, {}, 0},
        {"DO COM-PORT agreed, DO ECHO refused", {{255, 253, 44, 255, 253, 1}}, {}, {255, 251, 44, 255, 252, 1}, 0},
        {"WILL binary agreed, WILL status refused", {{255, 251, 0, 255, 251, 5}}, {}, {255, 253, 0, 255, 254, 5}, 0},
        {"DONT and WONT need no answer", {{255, 254, 44, 255, 252, 3}}, {}, {}, 0},
        {"server confirms 19200 between data", {{0x06, 255, 250, 44, 101, 0, 0, 0x4B, 0, 255, 240, 0x02}},
         {0x06, 0x02}, {}, 19200},
        {"confirmation split, with an escaped 255", {{255, 250, 44, 101, 0, 1}, {255, 255, 0, 255}, {240}},
         {}, {}, 0x0001FF00},
        {"line-state notices carry no data", {{255, 250, 44, 106, 0x60, 255, 240, 0x15}}, {0x15}, {}, 0},
        {"go-ahead and no-op are dropped", {{255, 249, 0x01, 255, 241, 0x02}}, {0x01, 0x02}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TelnetComPortCodec codec;
        Bytes data, reply;
        for (const Bytes& chunk : c.chunks) codec.Decode(chunk.data(), chunk.size(), &data, &reply);
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(codec.ServerBaudRate(), c.serverBaud);
    }
}

TEST(Rfc2217, AnUnreachableServerIsReportedByName) {
    SystemDeviceOpener opener;
    SysError error;
    EXPECT_EQ(opener.Open("rfc2217://127.0.0.1:1", &error), nullptr);
    EXPECT_NE(error.text.find("rfc2217://127.0.0.1:1"), std::string::npos) << error.text;
    EXPECT_EQ(opener.Open("rfc2217://nohost", &error), nullptr);
    EXPECT_EQ(error.code, SysErrorCode::InvalidName);
}

}  // namespace
}  // namespace ombrix
