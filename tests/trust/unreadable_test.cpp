// Files of the line and the search that are there but cannot be read: the generated
// address set (the search is skipped, the user's search mode kept) and comports.cfg (no
// port falls back to a default device it was not meant to); and the temporary files a
// killed save leaves behind, removed at the next start.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "discovery/AddressSets.h"
#include "discovery/Search.h"
#include "link/PortList.h"
#include "platform/Files.h"
#include "../support/AsNobody.h"
#include "../support/Loaders.h"
#include "../support/SimBench.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::TempDir;

// How a file can be there and still not be read.
struct Unreadable {
    const char* label;
    std::function<void(const std::string& path)> make;
    const char* reason;  // part of what the program says
    bool needsNonRoot = false;
};

const Unreadable kForms[] = {
    {"directory", [](const std::string& p) { std::filesystem::create_directory(p); }, "Is a directory"},
    {"fifo", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }, "not a regular file"},
    {"link_loop", [](const std::string& p) { std::filesystem::create_symlink(p, p); }, "symbolic links"},
    {"no_permission",
     [](const std::string& p) {
         std::ofstream(p) << "x";
         ::chmod(p.c_str(), 0);
     },
     "ermission denied", true},
};

bool AsRoot(const Unreadable& u) { return u.needsNonRoot && ::geteuid() == 0; }

class UnreadableSet : public ::testing::TestWithParam<Unreadable> {};

// The generated set cannot be read: error 2 with the reason, nothing probed, and the
// search mode as the user set it, so the next search tries the set again.
TEST_P(UnreadableSet, SkipsThisSearchOnly) {
    if (AsRoot(GetParam())) {
        EXPECT_TRUE(testing::PassesAsNobody()) << "root reads any file: run as nobody";
        return;
    }
    TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::ParseBusText(testing::kThreeProjectors, &bus, &error)) << error;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    testing::SelectiveLoader loader;
    ProgramState state{clock, ui, loader, opener};
    StartProgram(state);
    ASSERT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
    SetSearchMode(state.options, kCmdGeneratedSet);
    state.options.searchLimit = 3;
    const ProgramOptions before = state.options;
    GetParam().make(kGeneratedAddressFile);
    ui.Clear();

    EXPECT_FALSE(SearchConnectedProjectors(state));
    EXPECT_EQ(state.lastSearch, SearchEnd::SetUnreadable);
    EXPECT_TRUE(bus.Transcript().empty());
    EXPECT_EQ(state.options.useAddressSet, before.useAddressSet);
    EXPECT_EQ(state.options.userDefinedSet, before.userDefinedSet);
    EXPECT_EQ(state.options.searchLimit, before.searchLimit);
    ASSERT_FALSE(ui.Boxes().empty());
    EXPECT_EQ(ui.Boxes()[0].caption, "Error  2");
    EXPECT_NE(ui.Boxes()[0].detail.find(GetParam().reason), std::string::npos) << ui.Boxes()[0].detail;
    // Still what the user made of it.
    struct stat st{};
    EXPECT_EQ(::lstat(kGeneratedAddressFile, &st), 0);
    EXPECT_FALSE(S_ISREG(st.st_mode) && st.st_size == 0);
}

INSTANTIATE_TEST_SUITE_P(AddrCfg, UnreadableSet, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.label); });

class UnreadablePortMap : public ::testing::TestWithParam<Unreadable> {};

// Whatever the file was meant to map is unknown: every COM port is refused, with the
// file and the reason, and nothing is opened in its place.
TEST_P(UnreadablePortMap, RefusesEveryPort) {
    if (AsRoot(GetParam())) {
        EXPECT_TRUE(testing::PassesAsNobody()) << "root reads any file: run as nobody";
        return;
    }
    TempDir dir;
    GetParam().make(kComPortMapFileName);
    testing::SimBench b(testing::kThreeProjectors);
    CloseConnectionAll(b.link);
    EXPECT_FALSE(b.link.portMap.LoadFile(kComPortMapFileName));
    EXPECT_NE(b.link.portMap.Problem().find(kComPortMapFileName), std::string::npos);
    EXPECT_NE(b.link.portMap.Problem().find(GetParam().reason), std::string::npos) << b.link.portMap.Problem();
    for (int port = 1; port <= 4; ++port) EXPECT_TRUE(b.link.portMap.Refused(port)) << port;
    b.link.settings.port = 1;
    b.opener.lastPath.clear();
    EXPECT_EQ(SetupConnection(b.env, b.link, kOwnerTool), 0);
    EXPECT_TRUE(b.opener.lastPath.empty());
    // What the box of error 3 says below its text.
    const std::string why = OpenFailureText(b.link);
    EXPECT_EQ(why.rfind("COM1 is not opened: cannot read comports.cfg", 0), 0u) << why;
    EXPECT_NE(why.find("its default /dev/ttyS0 is not used in its place."), std::string::npos) << why;
    EXPECT_EQ(DescribePorts(b.link.portMap, {})[0], "COM1 = ?   (not opened: comports.cfg was not read)");
    // A device named instead of a COM port needs no mapping.
    b.link.deviceOverride = "/dev/ttyOTHER";
    EXPECT_EQ(SetupConnection(b.env, b.link, kOwnerTool), 1);
}

INSTANTIATE_TEST_SUITE_P(ComportsCfg, UnreadablePortMap, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.label); });

// As root every file reads: the permission case runs in a child that is nobody.
TEST(PortMap, NoPermissionEvenWhenRunAsRoot) {
    TempDir dir;
    std::ofstream(kComPortMapFileName) << "COM2 = /dev/ttyUSB0\n";
    ::chmod(kComPortMapFileName, 0600);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ComPortMap map;
        const bool refused = !map.LoadFile(kComPortMapFileName) && map.Refused(1) && map.Refused(2) &&
                             map.Problem().find("ermission denied") != std::string::npos;
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Read, but not as a whole or not line by line: too large refuses every port, a line
// that names its port but cannot be read refuses that port only.
TEST(PortMap, TooLargeOrABadLine) {
    TempDir dir;
    struct Case {
        const char* label;
        std::string text;
        std::vector<int> refused;
        std::vector<std::pair<int, std::string>> mapped;
        const char* problem;
    };
    const Case cases[] = {
        {"valid_then_junk", "COM2 = /dev/ttyUSB0\n" + std::string(64 * 1024, '#'), {1, 2, 3, 4}, {}, "larger than 64 KiB"},
        {"bad_line_for_com3", "COM2 = /dev/ttyUSB0\nCOM3 /dev/ttyUSB1\n", {3}, {{2, "/dev/ttyUSB0"}}, "line 2"},
        {"bad_line_for_nobody", "COM2 = /dev/ttyUSB0\nhello\n", {}, {{2, "/dev/ttyUSB0"}}, "line 2"},
        {"missing", "", {}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(kComPortMapFileName);
        if (!c.text.empty()) std::ofstream(kComPortMapFileName) << c.text;
        ComPortMap map;
        EXPECT_EQ(map.LoadFile(kComPortMapFileName), std::string(c.problem).empty());
        EXPECT_NE(map.Problem().find(c.problem), std::string::npos) << map.Problem();
        for (int port = 1; port <= 4; ++port) {
            const bool refused = std::find(c.refused.begin(), c.refused.end(), port) != c.refused.end();
            EXPECT_EQ(map.Refused(port), refused) << port;
        }
        for (const auto& [port, device] : c.mapped) EXPECT_EQ(map.Resolve(port), device);
    }
}

void SetAge(const std::string& path, int secondsAgo) {
    struct timeval now{};
    ::gettimeofday(&now, nullptr);
    struct timeval times[2] = {now, now};
    times[0].tv_sec -= secondsAgo;
    times[1].tv_sec -= secondsAgo;
    ::utimes(path.c_str(), times);
}

// Only regular files named as the atomic writer names its temporary files, and only
// those last written before the start, are removed.
TEST(StaleTempFiles, OnlyTheWritersOwnAndOnlyOldOnes) {
    TempDir dir;
    struct Case {
        const char* name;
        int age;  // seconds before the start; negative: after it
        bool removed;
    };
    const Case cases[] = {
        {"options.cfg.tmpAb12Cd", 60, true},  {"comm.cfg.tmpZZZZZZ", 1, true},
        {"options.cfg.tmpNewer1", -60, false}, {"options.cfg.tmp", 60, false},
        {"notes.tmpAB_12C", 60, false},        {"report.tmp.txt", 60, false},
        {".tmpABCDEF", 60, false},
    };
    for (const Case& c : cases) {
        std::ofstream(c.name) << "x";
        SetAge(c.name, c.age);
    }
    std::filesystem::create_directory("dir.cfg.tmpABCDEF");
    SetAge("dir.cfg.tmpABCDEF", 60);
    struct timespec start{};
    ::clock_gettime(CLOCK_REALTIME, &start);
    RemoveStaleTempFiles(".", start);
    for (const Case& c : cases) EXPECT_EQ(!std::filesystem::exists(c.name), c.removed) << c.name;
    EXPECT_TRUE(std::filesystem::exists("dir.cfg.tmpABCDEF"));
}

// The start of the program clears what a killed save of options.cfg left and keeps the
// options themselves.
TEST(StaleTempFiles, RemovedAtStart) {
    TempDir dir;
    ProgramOptions mine;
    mine.searchLimit = 128;
    ASSERT_TRUE(WriteOptionsFile(kOptionsFileName, mine, nullptr));
    const std::vector<uint8_t> options = testing::ReadBytes(kOptionsFileName);
    testing::WriteBytes("options.cfg.tmp3kQ9xW", std::vector<uint8_t>(158 * 1024, 0));
    VirtualClock clock;
    RecordingUi ui;
    testing::SelectiveLoader loader;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    ProgramState state{clock, ui, loader, opener};
    StartProgram(state);
    EXPECT_FALSE(std::filesystem::exists("options.cfg.tmp3kQ9xW"));
    EXPECT_EQ(testing::ReadBytes(kOptionsFileName), options);
    EXPECT_EQ(state.options.searchLimit, 128);
}

}  // namespace
}  // namespace ombrix
