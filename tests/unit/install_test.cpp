// Where an installed program keeps its files, and which devices a person is offered for
// a COM port and how the choice reaches comports.cfg.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/WindowArgs.h"
#include "app/WorkFolder.h"
#include "data/Description.h"
#include "link/CommDialog.h"
#include "link/PortList.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/RecordingUi.h"
#include "platform/SerialDevice.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

void WriteText(const fs::path& path, const std::string& text) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WorkFolder, ChoiceByCommandLineInstallationAndEnvironment) {
    TempDir dir;
    const std::string installedBin = dir.Path() + "/usr/bin";
    fs::create_directories(dir.Path() + "/usr/share/ombrix/data");
    fs::create_directories(installedBin);
    const std::string buildBin = dir.Path() + "/build/bin";
    fs::create_directories(buildBin);

    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::string exeDir;
        std::map<std::string, std::string> env;
        std::string directory;
        std::vector<std::string> remaining;
        bool error;
    };
    const std::vector<Case> cases = {
        {"build tree stays where started", {"x"}, buildBin, {{"HOME", "/home/u"}}, "", {"x"}, false},
        {"installed: XDG_DATA_HOME", {}, installedBin, {{"XDG_DATA_HOME", "/d"}, {"HOME", "/home/u"}}, "/d/ombrix", {}, false},
        {"installed: relative XDG_DATA_HOME is ignored", {}, installedBin,
         {{"XDG_DATA_HOME", "rel"}, {"HOME", "/home/u"}}, "/home/u/.local/share/ombrix", {}, false},
        {"installed: HOME", {}, installedBin, {{"HOME", "/home/u"}}, "/home/u/.local/share/ombrix", {}, false},
        {"installed: no HOME stays", {}, installedBin, {}, "", {}, false},
        {"--workdir wins", {"--workdir", "/w", "identity", "1"}, installedBin, {{"HOME", "/home/u"}}, "/w",
         {"identity", "1"}, false},
        {"--workdir= form", {"--workdir=/w"}, buildBin, {}, "/w", {}, false},
        {"--workdir without a folder", {"--workdir"}, buildBin, {}, "", {}, true},
        {"--workdir= empty", {"--workdir="}, buildBin, {}, "", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto env = [&c](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        const WorkFolderChoice choice = ChooseWorkFolder(c.args, c.exeDir, env);
        EXPECT_EQ(choice.error.empty(), !c.error);
        if (c.error) continue;
        EXPECT_EQ(choice.directory, c.directory);
        EXPECT_EQ(choice.remainingArgs, c.remaining);
        EXPECT_EQ(choice.sharedData.empty(), c.exeDir == buildBin);
    }
}

TEST(WindowArgs, CommunicationOnRequestAndUnknownArgumentsRefused) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        bool communication;
        std::string error;
    };
    const std::string longArg(300, 'x');
    const std::vector<Case> cases = {
        {"none: the frame alone", {}, false, ""},
        {"--communication", {"--communication"}, true, ""},
        {"a typo is not ignored", {"--comunication"}, false, "unknown argument --comunication"},
        {"a stray word", {"--communication", "COM2"}, false, "unknown argument COM2"},
        {"a long argument is cut", {longArg}, false, "unknown argument " + longArg.substr(0, 40) + "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const WindowArgs a = ReadWindowArgs(c.args);
        EXPECT_EQ(a.error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(a.openCommunication, c.communication);
        }
    }
}

TEST(WorkFolder, DescriptionsAreLookedForInTheUsersFolderThenTheShippedData) {
    TempDir dir;
    const std::string installedBin = dir.Path() + "/usr/bin";
    fs::create_directories(dir.Path() + "/usr/share/ombrix/data");
    fs::create_directories(installedBin);
    fs::create_directories(dir.Path() + "/build/ombrix-data");
    fs::create_directories(dir.Path() + "/build/bin");
    const std::string shipped = installedBin + "/../share/ombrix/data";
    struct Case {
        const char* label;
        std::string exeDir;
        std::map<std::string, std::string> env;
        std::vector<std::string> folders;
    };
    const std::vector<Case> cases = {
        {"installed, HOME", installedBin, {{"HOME", "/home/u"}}, {"/home/u/.local/share/ombrix", shipped}},
        {"installed, XDG_DATA_HOME", installedBin, {{"XDG_DATA_HOME", "/d"}, {"HOME", "/home/u"}}, {"/d/ombrix", shipped}},
        {"relative XDG_DATA_HOME is ignored", installedBin, {{"XDG_DATA_HOME", "d"}, {"HOME", "/home/u"}},
         {"/home/u/.local/share/ombrix", shipped}},
        {"installed, no HOME", installedBin, {}, {shipped}},
        {"build tree without its copy: the user's folder only", dir.Path() + "/bare/bin", {{"HOME", "/home/u"}},
         {"/home/u/.local/share/ombrix"}},
        {"build tree: then its copy of the shipped data", dir.Path() + "/build/bin", {{"HOME", "/home/u"}},
         {"/home/u/.local/share/ombrix", dir.Path() + "/build/bin/../ombrix-data"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto env = [&c](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        EXPECT_EQ(DescriptionFallbackFolders(c.exeDir, env), c.folders);
    }
}

// One description serving type 5 V; its block length says which folder it came from.
void WriteTypeDescription(const fs::path& path, int type, int blockLength) {
    Description d;
    d.typeCount = 1;
    d.typeCodes[0] = static_cast<uint8_t>(type);
    d.alphaIds[0] = 'V';
    d.blockLength = blockLength;
    d.blockCount = 4;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SerializeDescription(d, nullptr, &bytes, nullptr));
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(WriteFileAtomic(path.string(), bytes, nullptr));
}

TEST(WorkFolder, TheWorkFolderThenTheUsersThenTheShippedDescriptions) {
    enum Place { kWork = 16, kUser = 32, kShipped = 48, kNone = 0 };
    struct Case {
        const char* label;
        std::vector<Place> serving;  // folders holding a file that serves type 5 V
        std::vector<Place> other;    // folders holding only another type's file
        bool damagedInWork;          // a type05.dsc that cannot be read lies in the work folder
        Place found;
    };
    const std::vector<Case> cases = {
        {"only the work folder", {kWork}, {}, false, kWork},
        {"only the user's folder", {kUser}, {}, false, kUser},
        {"only the shipped data", {kShipped}, {}, false, kShipped},
        {"work folder before the user's", {kShipped, kUser, kWork}, {}, false, kWork},
        {"user's folder before the shipped", {kShipped, kUser}, {}, false, kUser},
        {"another type here does not stop the search", {kShipped}, {kWork, kUser}, false, kShipped},
        {"a damaged file here is named, not passed over", {kUser}, {}, true, kNone},
        {"nowhere: error 46", {}, {kWork}, false, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const fs::path root = dir.Path();
        auto folder = [&](Place p) {
            return root / (p == kWork ? "work" : p == kUser ? "home/ombrix" : "share/ombrix/data");
        };
        for (Place p : {kWork, kUser, kShipped}) fs::create_directories(folder(p));
        for (Place p : c.serving) WriteTypeDescription(folder(p) / "type05.dsc", 5, p);
        for (Place p : c.other) WriteTypeDescription(folder(p) / "type08.dsc", 8, p);
        if (c.damagedInWork) WriteText(folder(kWork) / "type05.dsc", "not a description");
        const std::vector<std::string> fallbacks = {folder(kUser).string(), folder(kShipped).string()};
        const std::unique_ptr<Library> strings = DlLibraryLoader().Load("kelvaneproj", nullptr);
        RecordingUi ui;
        Env env;
        env.ui = &ui;
        env.strings = strings.get();
        env.descriptionFolders = &fallbacks;
        Description d;
        EXPECT_EQ(LoadDescription(env, folder(kWork).string(), 5, 'V', &d), c.found != kNone);
        if (c.found != kNone) {
            EXPECT_EQ(d.blockLength, c.found);
            EXPECT_TRUE(ui.Boxes().empty());
        } else {
            ASSERT_EQ(ui.Boxes().size(), 1u);  // once, not once per folder
            EXPECT_EQ(ui.Boxes()[0].caption, "Error  46");
            // Which file, or for which type and where it was looked for.
            const std::string named = c.damagedInWork ? "type05.dsc: not a description file"
                                                      : "serves type 5 V; looked in " + folder(kWork).string() + ", " +
                                                            fallbacks[0] + ", " + fallbacks[1];
            EXPECT_NE(ui.Boxes()[0].detail.find(named), std::string::npos) << ui.Boxes()[0].detail;
        }
    }
}

TEST(WorkFolder, TheDefaultDescriptionTooComesFromTheFirstFolderThatHasOne) {
    struct Case {
        const char* label;
        bool inWork, inUser;
        int found;  // block length; 0: none
    };
    const std::vector<Case> cases = {
        {"work folder first", true, true, 16},
        {"else the user's", false, true, 32},
        {"none: nothing shown", false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        fs::create_directories("work");
        if (c.inWork) WriteTypeDescription("work/default.dsc", 0, 16);
        if (c.inUser) WriteTypeDescription("user/default.dsc", 0, 32);
        const std::vector<std::string> fallbacks = {dir.Path() + "/user"};
        RecordingUi ui;
        Env env;
        env.ui = &ui;
        env.descriptionFolders = &fallbacks;
        Description d;
        EXPECT_EQ(LoadDescription(env, "work", -1, 0, &d), c.found != 0);
        if (c.found) {
            EXPECT_EQ(d.blockLength, c.found);
        }
        EXPECT_TRUE(ui.Boxes().empty());
    }
}

TEST(WorkFolder, FirstStartSeedsDescriptionsAndNeverReplacesTheUsersOwn) {
    TempDir dir;
    const fs::path shared = fs::path(dir.Path()) / "share";
    WriteText(shared / "type05v.dsc", "shipped 5");
    WriteText(shared / "default.dsc", "shipped default");
    WriteText(shared / "demo-bus.cfg", "not a description");
    const fs::path home = fs::path(dir.Path()) / "home" / "ombrix";
    WriteText(home / "type05v.dsc", "the user's own");

    WorkFolderChoice choice;
    choice.directory = home.string();
    choice.sharedData = shared.string();
    SysError error;
    ASSERT_TRUE(EnterWorkFolder(choice, &error)) << error.text;
    EXPECT_EQ(fs::current_path(), home);
    EXPECT_EQ(ReadText(home / "type05v.dsc"), "the user's own");
    EXPECT_EQ(ReadText(home / "default.dsc"), "shipped default");
    EXPECT_FALSE(fs::exists(home / "demo-bus.cfg"));

    // A folder made here is the user's alone: comm.cfg says which devices they use.
    choice.directory = dir.Path() + "/fresh/ombrix";
    ASSERT_TRUE(EnterWorkFolder(choice, &error)) << error.text;
    EXPECT_EQ(fs::status(choice.directory).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(ReadText(fs::path(choice.directory) / "type05v.dsc"), "shipped 5");

    // A folder that cannot be made is reported, and the program stays where it is.
    WriteText(fs::path(dir.Path()) / "file", "x");
    choice.directory = dir.Path() + "/file/sub";
    const fs::path before = fs::current_path();
    EXPECT_FALSE(EnterWorkFolder(choice, &error));
    EXPECT_TRUE(error);
    EXPECT_EQ(fs::current_path(), before);
}

TEST(PortList, StableNamesFirstThenAdaptersThenUartsThatExist) {
    TempDir dir;
    const fs::path dev = fs::path(dir.Path()) / "dev";
    const fs::path sys = fs::path(dir.Path()) / "sys";
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS10", "tty", "ttyprintk", "null"})
        WriteText(dev / name, "");
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB2", dev / "serial" / "by-id" / "usb-Maker_Cable_A1-if00-port0");
    WriteText(sys / "class/tty/ttyS0/type", "4\n");
    WriteText(sys / "class/tty/ttyS1/type", "0\n");

    std::vector<std::string> got;
    for (const SerialCandidate& c : ListSerialDevices(dev.string(), sys.string()))
        got.push_back(c.path.substr(dev.string().size()) + (c.note.rfind("->", 0) == 0 ? " " + c.note : ""));
    const std::vector<std::string> want = {
        "/serial/by-id/usb-Maker_Cable_A1-if00-port0 -> ttyUSB2",
        "/ttyUSB2",
        "/ttyUSB10",
        "/ttyACM0",
        "/ttyS0",
    };
    EXPECT_EQ(got, want);
}

TEST(PortList, MappingChangesOneLineAndKeepsTheRest) {
    struct Case {
        const char* label;
        std::string before;  // "<none>": no file
        int port;
        std::string device;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"new file", "<none>", 2, "/dev/ttyUSB0", "COM2 = /dev/ttyUSB0\n"},
        {"replace, comments kept", "# hall A\nCOM2 = /dev/ttyS1   # old\nCOM3 = tcp://h:1\n", 2, "/dev/ttyUSB0",
         "# hall A\nCOM2 = /dev/ttyUSB0\nCOM3 = tcp://h:1\n"},
        {"any case and spacing", "com2=/dev/a\n", 2, "/dev/b", "COM2 = /dev/b\n"},
        {"duplicates collapse", "COM2 = /a\nCOM2 = /b\n", 2, "/c", "COM2 = /c\n"},
        {"appended", "COM1 = /a", 4, "tcp://192.0.2.1:4001", "COM1 = /a\nCOM4 = tcp://192.0.2.1:4001\n"},
        {"back to default", "COM1 = /a\nCOM2 = /b\n", 2, "", "COM1 = /a\n"},
        {"COM20 is not COM2", "COM20 = /x\n", 2, "/y", "COM20 = /x\nCOM2 = /y\n"},
        {"a file that cannot be read whole: kept aside, its readable lines carried",
         "COM1 = /a\nnonsense\n", 3, "/c", "COM1 = /a\nCOM3 = /c\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        if (c.before != "<none>") WriteText("comports.cfg", c.before);
        SysError error;
        std::string kept;
        ASSERT_TRUE(SetComPortMapping("comports.cfg", c.port, c.device, &error, &kept)) << error.text;
        EXPECT_EQ(ReadText("comports.cfg"), c.after);
        const bool refused = c.before.find("nonsense") != std::string::npos;
        EXPECT_EQ(kept, refused ? "comports.cfg.refused" : "");
        if (refused) {
            EXPECT_EQ(ReadText(kept), c.before);
        }
        ComPortMap map;
        map.LoadFile("comports.cfg");
        EXPECT_EQ(map.Resolve(c.port), c.device.empty() ? "/dev/ttyS" + std::to_string(c.port - 1) : c.device);
    }
}

TEST(PortList, DialogWritesOnlyWhatChanged) {
    TempDir dir;
    VirtualClock clock;
    SystemDeviceOpener opener;
    ComPortMap map;
    map.Set(3, "tcp://h:1");
    struct Case {
        const char* label;
        int port;
        std::string device;
        bool writes;
    };
    const std::vector<Case> cases = {
        {"same mapping", 3, "tcp://h:1", false},
        {"default of an unmapped port", 2, "/dev/ttyS1", false},
        {"empty for an unmapped port", 2, "", false},
        {"a new device", 2, "/dev/ttyUSB0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove("comports.cfg");
        Link link(clock, opener);
        link.portMap = map;
        SysError error;
        ASSERT_TRUE(ApplyPortDevice(link, c.port, c.device, "comports.cfg", &error));
        EXPECT_EQ(fs::exists("comports.cfg"), c.writes);
        if (c.writes) {
            EXPECT_EQ(link.portMap.Resolve(c.port), c.device);
        }
    }
}

}  // namespace
}  // namespace ombrix
