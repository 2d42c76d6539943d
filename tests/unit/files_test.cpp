// options.cfg, comm.cfg and comports.cfg: layouts byte for byte, short and lying files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "app/Options.h"
#include "link/CommSettings.h"
#include "platform/Files.h"
#include "platform/SerialDevice.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::vector<uint8_t> kDefaultOptions = {
    16, 0, 0, 0,                  // searchLimit
    0, 0, 0, 0,                   // userAddressCount
    0,                            // useAddressSet
    0,                            // userDefinedSet
    1, 0, 0, 0,                   // reservedOption
    0, 0, 0, 0,                   // checkQuiet
    1, 0, 0, 0,                   // checkEnabled
    0x52, 0xF1, 0, 0,             // checkIntervalId 61778
    1,                            // rangeStart
    255,                          // rangeEnd
    0, 0, 0, 0,                   // sourceCount
    0xFF, 0xFF, 0xFF, 0xFF,       // activeSource -1
};

TEST(OptionsFile, DefaultsAreThe36DocumentedBytes) {
    EXPECT_EQ(SerializeOptions(ProgramOptions{}), kDefaultOptions);
}

ProgramOptions TwoSources() {
    ProgramOptions o;
    o.searchLimit = 256;
    o.useAddressSet = 1;
    o.rangeStart = 10;
    o.rangeEnd = 20;
    o.activeSource = 1;
    SourceEntry a, b;
    a.inputSlot = 3;
    a.SetName("Stage left");
    b.inputSlot = 99;
    b.SetName(std::string(60, 'x'));  // longer than the field: cut to 39 and a zero
    o.sources = {a, b};
    return o;
}

TEST(OptionsFile, TwoSourcesRoundTrip) {
    TempDir dir;
    ASSERT_TRUE(WriteOptionsFile("options.cfg", TwoSources(), nullptr));
    const auto bytes = ReadBytes("options.cfg");
    ASSERT_EQ(bytes.size(), 36u + 2 * 1604u);
    // The one-byte fields sit unaligned between the four-byte ones.
    EXPECT_EQ(bytes[8], 1);
    EXPECT_EQ(bytes[26], 10);
    EXPECT_EQ(bytes[27], 20);
    EXPECT_EQ(bytes[28], 2);
    EXPECT_EQ(bytes[36], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[40])), "Stage left");
    for (size_t i = 36 + 4 + 40; i < 36 + 1604; ++i) ASSERT_EQ(bytes[i], 0) << i;

    ProgramOptions back;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &back, nullptr), OptionsRead::Loaded);
    ASSERT_EQ(back.sources.size(), 2u);
    EXPECT_EQ(back.sources[0].Name(), "Stage left");
    EXPECT_EQ(back.sources[1].inputSlot, 99);
    EXPECT_EQ(back.sources[1].Name(), std::string(39, 'x'));
    EXPECT_EQ(SerializeOptions(back), bytes);
}

TEST(OptionsFile, UnknownBytesInTheNameSurviveReadAndWrite) {
    TempDir dir;
    auto bytes = SerializeOptions(TwoSources());
    bytes[40 + 20] = 'Q';  // after the name's terminating zero, inside the 40 bytes
    WriteBytes("options.cfg", bytes);
    ProgramOptions o;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &o, nullptr), OptionsRead::Loaded);
    EXPECT_EQ(SerializeOptions(o), bytes);
}

// A file no program wrote is refused with the reason, never read as options: cut short
// of its fields or of the sources it counts, garbage, values none of the choices.
TEST(OptionsFile, AFileThatLiesIsRefused) {
    struct Case {
        const char* label;
        std::function<void(std::vector<uint8_t>&)> spoil;  // applied to the two-source file
        const char* why;
    };
    auto put32 = [](std::vector<uint8_t>& b, size_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    };
    const std::vector<Case> cases = {
        {"empty", [](auto& b) { b.clear(); }, "cut short (0 bytes"},
        {"half a field", [](auto& b) { b.resize(2); }, "cut short (2 bytes"},
        {"header only", [](auto& b) { b.resize(36); }, "its 2 sources take 3244"},
        {"first source cut", [](auto& b) { b.resize(36 + 1000); }, "cut short"},
        {"second source cut", [](auto& b) { b.resize(36 + 1604 + 41); }, "cut short"},
        {"4096 bytes of 0xA5", [](auto& b) { b.assign(4096, 0xA5); }, "search limit"},
        {"search limit 257", [&](auto& b) { put32(b, 0, 257); }, "search limit 257"},
        {"address count -1", [&](auto& b) { put32(b, 4, -1); }, "address count -1"},
        {"check interval 0", [&](auto& b) { put32(b, 22, 0); }, "check interval 0"},
        {"source count -1", [&](auto& b) { put32(b, 28, -1); }, "source count -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        auto bytes = SerializeOptions(TwoSources());
        c.spoil(bytes);
        WriteBytes("options.cfg", bytes);
        ProgramOptions o;
        o.searchLimit = 77;
        SysError error;
        EXPECT_EQ(ReadOptionsFile("options.cfg", &o, &error), OptionsRead::Unreadable);
        EXPECT_EQ(o.searchLimit, 77);
        EXPECT_NE(error.text.find(c.why), std::string::npos) << error.text;
    }
}

TEST(OptionsFile, SourceCountBeyondTheListStopsAt99) {
    TempDir dir;
    ProgramOptions o;
    o.sources.resize(99);
    auto bytes = SerializeOptions(o);
    bytes[28] = 200;  // claims 200 entries
    bytes.resize(bytes.size() + 101 * 1604, 0);
    WriteBytes("options.cfg", bytes);
    ProgramOptions back;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &back, nullptr), OptionsRead::Loaded);
    EXPECT_EQ(back.sources.size(), 99u);
}

TEST(OptionsFile, MissingFileIsToldApart) {
    TempDir dir;
    ProgramOptions o;
    EXPECT_EQ(ReadOptionsFile("options.cfg", &o, nullptr), OptionsRead::Missing);
}

TEST(OptionsFile, ActiveSourceOutsideTheListIsKeptButNotUsed) {
    ProgramOptions o = TwoSources();
    o.activeSource = 5;
    EXPECT_EQ(o.ActiveSource(), nullptr);
    o.activeSource = 1;
    ASSERT_NE(o.ActiveSource(), nullptr);
    EXPECT_EQ(o.ActiveSource()->inputSlot, 99);
}

TEST(CommFile, LayoutOfThe25Bytes) {
    TempDir dir;
    CommSettings s;
    s.portHandle = 0x11223344;
    s.port = 3;
    s.connected = 1;
    s.dataBits = 7;
    s.flowControl = 5;
    s.parity = 2;
    s.stopBits = 1;
    s.baudRate = 4800;
    ASSERT_TRUE(SaveCommSettings("comm.cfg", s, 0x2A, nullptr));
    const std::vector<uint8_t> expected = {0x44, 0x33, 0x22, 0x11, 3, 0, 0, 0, 1, 0, 0, 0, 0,
                                           0,    0,    0,    7,    5, 2, 1, 0xC0, 0x12, 0, 0, 0x2A};
    EXPECT_EQ(ReadBytes("comm.cfg"), expected);

    CommSettings back;
    uint8_t address = 0;
    ASSERT_TRUE(LoadCommSettings("comm.cfg", &back, &address));
    // A file written while the line was open does not make the line open.
    EXPECT_EQ(back.connected, 0u);
    EXPECT_EQ(back.portHandle, 0u);
    EXPECT_EQ(back.port, 3);
    EXPECT_EQ(back.baudRate, 4800u);
    EXPECT_EQ(back.dataBits, 7);
    EXPECT_EQ(back.parity, 2);
    EXPECT_EQ(back.stopBits, 1);
    EXPECT_EQ(back.flowControl, 5);
    EXPECT_EQ(address, 0x2A);
}

struct CommShortCase {
    const char* label;
    size_t keep;
    uint8_t port;
    uint8_t address;
};

class ShortCommFile : public ::testing::TestWithParam<CommShortCase> {};

TEST_P(ShortCommFile, DefaultsWhenTheRecordIsIncomplete) {
    const CommShortCase& c = GetParam();
    TempDir dir;
    CommSettings s;
    s.port = 4;
    SaveCommSettings("comm.cfg", s, 33, nullptr);
    auto bytes = ReadBytes("comm.cfg");
    bytes.resize(c.keep);
    WriteBytes("comm.cfg", bytes);
    CommSettings back;
    uint8_t address = 0;
    LoadCommSettings("comm.cfg", &back, &address);
    EXPECT_EQ(back.port, c.port);
    EXPECT_EQ(address, c.address);
}

INSTANTIATE_TEST_SUITE_P(Comm, ShortCommFile,
                         ::testing::Values(CommShortCase{"whole", 25, 4, 33}, CommShortCase{"no_address", 24, 4, 9},
                                           CommShortCase{"record_cut", 23, 2, 9}, CommShortCase{"empty", 0, 2, 9}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CommFile, MissingFileGivesTheDefaults) {
    TempDir dir;
    CommSettings s;
    s.port = 4;
    uint8_t address = 0;
    EXPECT_FALSE(LoadCommSettings("comm.cfg", &s, &address));
    EXPECT_EQ(s.port, 2);
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(address, 9);
}

struct MapCase {
    const char* label;
    const char* text;
    bool ok;
    int port;
    const char* device;
};

class PortMap : public ::testing::TestWithParam<MapCase> {};

TEST_P(PortMap, Resolves) {
    const MapCase& c = GetParam();
    ComPortMap map;
    EXPECT_EQ(map.Parse(c.text, nullptr), c.ok);
    EXPECT_EQ(map.Resolve(c.port), c.device);
}

INSTANTIATE_TEST_SUITE_P(
    Com, PortMap,
    ::testing::Values(MapCase{"unmapped_default", "", true, 2, "/dev/ttyS1"},
                      MapCase{"mapped", "COM2 = /dev/ttyUSB0\n", true, 2, "/dev/ttyUSB0"},
                      MapCase{"other_port_default", "COM2 = /dev/ttyUSB0\n", true, 1, "/dev/ttyS0"},
                      MapCase{"tcp_and_comment", "# bus\ncom3=tcp://10.0.0.5:4001  # server\n", true, 3,
                              "tcp://10.0.0.5:4001"},
                      MapCase{"bad_line_skipped", "COMX = /dev/a\nCOM4 = /dev/b\n", false, 4, "/dev/b"},
                      MapCase{"port_zero_refused", "COM0 = /dev/a\n", false, 1, "/dev/ttyS0"},
                      MapCase{"no_device_refused", "COM1 =\n", false, 1, "/dev/ttyS0"}),
    [](const auto& info) { return std::string(info.param.label); });

struct TcpCase {
    const char* label;
    const char* path;
    bool ok;
    const char* host;
    uint16_t port;
};

class TcpAddress : public ::testing::TestWithParam<TcpCase> {};

TEST_P(TcpAddress, Parses) {
    const TcpCase& c = GetParam();
    std::string host;
    uint16_t port = 0;
    ASSERT_EQ(ParseTcpAddress(c.path, &host, &port), c.ok);
    if (c.ok) {
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(Tcp, TcpAddress,
                         ::testing::Values(TcpCase{"name", "tcp://localhost:4001", true, "localhost", 4001},
                                           TcpCase{"ipv6", "tcp://[::1]:23", true, "::1", 23},
                                           TcpCase{"no_port", "tcp://host", false, "", 0},
                                           TcpCase{"port_zero", "tcp://host:0", false, "", 0},
                                           TcpCase{"port_too_big", "tcp://host:65536", false, "", 0},
                                           TcpCase{"not_tcp", "/dev/ttyS0", false, "", 0}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(AtomicWrite, AFailedSaveKeepsTheOldFile) {
    TempDir dir;
    ASSERT_TRUE(WriteFileAtomic("keep.cfg", {1, 2, 3}, nullptr));
    ::mkdir("sub", 0500);  // a folder we cannot write into (unless root)
    SysError error;
    if (::geteuid() != 0) {
        EXPECT_FALSE(WriteFileAtomic("sub/x.cfg", {1}, &error));
    }
    ASSERT_TRUE(WriteFileAtomic("keep.cfg", {4, 5}, nullptr));
    EXPECT_EQ(ReadBytes("keep.cfg"), (std::vector<uint8_t>{4, 5}));
    // Writing over a directory fails and leaves no temporary behind.
    ::mkdir("dir.cfg", 0700);
    EXPECT_FALSE(WriteFileAtomic("dir.cfg", {1}, &error));
    EXPECT_NE(error.code, SysErrorCode::None);
    int leftovers = 0;
    for (const auto& e : std::filesystem::directory_iterator(".")) {
        if (e.path().string().find(".ombrix-tmp-") != std::string::npos) ++leftovers;
    }
    EXPECT_EQ(leftovers, 0);
}

}  // namespace
}  // namespace ombrix
