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

#include "blocks/Groups.h"
#include "data/Description.h"
#include "discovery/AddressSets.h"
#include "discovery/Search.h"
#include "link/PortList.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/RecordingUi.h"
#include "service/Mqtt.h"
#include "service/Schedule.h"
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

class UnreadableWorkFile : public ::testing::TestWithParam<Unreadable> {};

// Every file of the work folder that is there but cannot be read is refused with its
// name and the reason, never taken for one that is missing: mqtt.json (MQTT is not
// quietly off), schedules.json (not "none"), groups.json, and a type description,
// for which another folder's copy is not taken in its place.
TEST_P(UnreadableWorkFile, IsNamedWithTheReason) {
    if (AsRoot(GetParam())) {
        EXPECT_TRUE(testing::PassesAsNobody()) << "root reads any file: run as nobody";
        return;
    }
    struct Reader {
        const char* file;
        std::function<std::string()> refusal;  // empty when the file was taken as missing or good
    };
    const Reader readers[] = {
        {"mqtt.json",
         [] {
             MqttConfig c;
             bool enabled = false;
             std::string reason;
             return LoadMqttConfig(".", "", "rack", &c, &enabled, &reason) ? std::string() : reason;
         }},
        {"schedules.json",
         [] {
             std::vector<ScheduleEntry> list;
             std::string reason;
             return ReadSchedulesFile("schedules.json", &list, &reason) ? std::string() : reason;
         }},
        {"groups.json",
         [] {
             Grouping g;
             const GroupsLoad load = LoadGroupsFile("groups.json", &g);
             return load.ok || load.missing ? std::string() : load.reason;
         }},
        {"type05v.dsc",
         [] {
             Description good;
             good.typeCount = 1;
             good.typeCodes[0] = 5;
             good.alphaIds[0] = 'V';
             std::vector<uint8_t> bytes;
             std::filesystem::create_directory("user");
             if (!SerializeDescription(good, nullptr, &bytes, nullptr) ||
                 !WriteFileAtomic("user/type05v.dsc", bytes, nullptr)) {
                 return std::string("the user's copy was not written");
             }
             const std::vector<std::string> fallbacks = {"user"};
             const std::unique_ptr<Library> strings = DlLibraryLoader().Load("kelvaneproj", nullptr);
             RecordingUi ui;
             Env env;
             env.ui = &ui;
             env.strings = strings.get();
             env.descriptionFolders = &fallbacks;
             Description d;
             if (LoadDescription(env, ".", 5, 'V', &d) || ui.Boxes().empty()) return std::string();
             return ui.Boxes()[0].detail;
         }},
    };
    for (const Reader& r : readers) {
        SCOPED_TRACE(r.file);
        TempDir dir;
        GetParam().make(r.file);
        const std::string refusal = r.refusal();
        EXPECT_NE(refusal.find(r.file), std::string::npos) << refusal;
        EXPECT_NE(refusal.find(GetParam().reason), std::string::npos) << refusal;
    }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, UnreadableWorkFile, ::testing::ValuesIn(kForms),
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

// Only regular files named as the atomic writer names the temporary files of the work
// folder's own files, and only those last written before the start, are removed: a
// user's file that merely looks like one stays, however old.
TEST(StaleTempFiles, OnlyTheWritersOwnAndOnlyOldOnes) {
    TempDir dir;
    struct Case {
        const char* name;
        int age;  // seconds before the start; negative: after it
        bool removed;
    };
    const int kTwoDays = 2 * 24 * 3600;
    const Case cases[] = {
        {".options.cfg.ombrix-tmp-Ab12Cd", 60, true},
        {".groups.json.ombrix-tmp-ZZZZZZ", 1, true},
        {".options.cfg.ombrix-tmp-Newer1", -60, false},
        {".options.cfg.ombrix-tmp-AB_12C", 60, false},
        {".options.cfg.ombrix-tmp-ABCDEFG", 60, false},
        {".thesis.doc.ombrix-tmp-ABCDEF", kTwoDays, false},  // not a name the program writes
        {"options.cfg.tmpAb12Cd", kTwoDays, false},          // an earlier version's: may stay
        {"thesis.tmp000001", kTwoDays, false},
        {"meeting.tmp2024Q3", kTwoDays, false},
        {"budget.xls.tmpABCDEF", kTwoDays, false},
    };
    for (const Case& c : cases) {
        std::ofstream(c.name) << "x";
        SetAge(c.name, c.age);
    }
    std::filesystem::create_directory(".comm.cfg.ombrix-tmp-ABCDEF");
    SetAge(".comm.cfg.ombrix-tmp-ABCDEF", 60);
    struct timespec start{};
    ::clock_gettime(CLOCK_REALTIME, &start);
    RemoveStaleTempFiles(".", WorkFolderFileNames(), start);
    for (const Case& c : cases) EXPECT_EQ(!std::filesystem::exists(c.name), c.removed) << c.name;
    EXPECT_TRUE(std::filesystem::exists(".comm.cfg.ombrix-tmp-ABCDEF"));
}

// The start of the program clears what a killed save of options.cfg left and keeps the
// options themselves.
TEST(StaleTempFiles, RemovedAtStart) {
    TempDir dir;
    ProgramOptions mine;
    mine.searchLimit = 128;
    ASSERT_TRUE(WriteOptionsFile(kOptionsFileName, mine, nullptr));
    const std::vector<uint8_t> options = testing::ReadBytes(kOptionsFileName);
    testing::WriteBytes(".options.cfg.ombrix-tmp-3kQ9xW", std::vector<uint8_t>(158 * 1024, 0));
    VirtualClock clock;
    RecordingUi ui;
    testing::SelectiveLoader loader;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    ProgramState state{clock, ui, loader, opener};
    StartProgram(state);
    EXPECT_FALSE(std::filesystem::exists(".options.cfg.ombrix-tmp-3kQ9xW"));
    EXPECT_EQ(testing::ReadBytes(kOptionsFileName), options);
    EXPECT_EQ(state.options.searchLimit, 128);
}

}  // namespace
}  // namespace ombrix
