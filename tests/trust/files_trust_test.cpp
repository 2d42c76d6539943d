// What the user keeps in files survives the program: the atomic writer keeps a file's
// mode and writes through links, leaves nothing behind before it writes, and readers
// refuse what is no regular file; options.cfg keeps its sources; settings files whose
// containers lie are refused with the reason.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>

#include "DataCommands.h"
#include "Cli.h"
#include "app/Program.h"
#include "blocks/RamContainer.h"
#include "data/SettingsFile.h"
#include "link/CommSettings.h"
#include "platform/Files.h"
#include "platform/RecordingUi.h"
#include "../support/Loaders.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

int TempFiles() {
    int n = 0;
    for (const auto& e : fs::directory_iterator(".")) n += e.path().filename().string().find(".ombrix-tmp-") != std::string::npos;
    return n;
}

mode_t Mode(const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(AtomicWriter, KeepsTheModeOfTheFileItReplaces) {
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0644, 0664}) {
        WriteBytes("f.set", {1});
        ::chmod("f.set", mode);
        ASSERT_TRUE(WriteFileAtomic("f.set", {2, 3}, nullptr));
        EXPECT_EQ(Mode("f.set"), mode);
        EXPECT_EQ(ReadBytes("f.set"), (std::vector<uint8_t>{2, 3}));
    }
}

TEST(AtomicWriter, WritesThroughSymbolicLinks) {
    TempDir dir;
    fs::create_directory("real");
    WriteBytes("real/options.cfg", {1});
    fs::create_symlink("real/options.cfg", "hop");
    fs::create_symlink("hop", "options.cfg");        // a chain of two links
    fs::create_symlink("real/new.cfg", "dangling");  // a link to a file not there yet
    ASSERT_TRUE(WriteFileAtomic("options.cfg", {7, 8}, nullptr));
    ASSERT_TRUE(WriteFileAtomic("dangling", {9}, nullptr));
    EXPECT_TRUE(fs::is_symlink("options.cfg"));
    EXPECT_TRUE(fs::is_symlink("hop"));
    EXPECT_TRUE(fs::is_symlink("dangling"));
    EXPECT_EQ(ReadBytes("real/options.cfg"), (std::vector<uint8_t>{7, 8}));
    EXPECT_EQ(ReadBytes("real/new.cfg"), (std::vector<uint8_t>{9}));
    EXPECT_EQ(TempFiles(), 0);
}

// A process killed between Open and Commit (a search takes minutes) leaves no
// temporary file, and what Open refuses it refuses before any work.
TEST(AtomicWriter, OpensWithoutCreatingAnything) {
    TempDir dir;
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open("addr.cfg", nullptr));
        EXPECT_EQ(TempFiles(), 0);
        EXPECT_FALSE(fs::exists("addr.cfg"));
        w.Append({1, 0, 0, 0});
        ASSERT_TRUE(w.Commit(nullptr));
    }
    EXPECT_EQ(ReadBytes("addr.cfg"), (std::vector<uint8_t>{1, 0, 0, 0}));
    fs::create_directory("dir.cfg");
    ::mkfifo("fifo.cfg", 0600);
    for (const char* path : {"dir.cfg", "fifo.cfg", "missing/x.cfg"}) {
        AtomicFileWriter w;
        SysError error;
        EXPECT_FALSE(w.Open(path, &error)) << path;
        EXPECT_NE(error.text.find(path), std::string::npos) << error.text;
    }
    EXPECT_EQ(TempFiles(), 0);
}

struct NonRegularCase {
    const char* label;
    std::function<void()> make;  // creates "input"
    const char* reason;
};

class NonRegularInput : public ::testing::TestWithParam<NonRegularCase> {};

// A FIFO without a writer would block in open, a device would never end.
TEST_P(NonRegularInput, IsRefusedAtOnce) {
    TempDir dir;
    GetParam().make();
    std::vector<uint8_t> bytes;
    SysError error;
    bool more = false;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadWholeFile("input", &bytes, &error));
    EXPECT_NE(error.text.find(GetParam().reason), std::string::npos) << error.text;
    EXPECT_FALSE(ReadFilePrefix("input", &bytes, &error, 16, &more));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(
    Files, NonRegularInput,
    ::testing::Values(NonRegularCase{"fifo", [] { ::mkfifo("input", 0600); }, "not a regular file"},
                      NonRegularCase{"device", [] { fs::create_symlink("/dev/zero", "input"); }, "not a regular file"},
                      NonRegularCase{"directory", [] { fs::create_directory("input"); }, "Is a directory"}),
    [](const auto& info) { return std::string(info.param.label); });

struct Program {
    VirtualClock clock;
    RecordingUi ui;
    testing::SelectiveLoader loader;
    SystemDeviceOpener opener;
    ProgramState state{clock, ui, loader, opener};

    std::vector<std::string> Captions() const {
        std::vector<std::string> c;
        for (const auto& b : ui.Boxes()) c.push_back(b.caption);
        return c;
    }
};

ProgramOptions WithSources(int count) {
    ProgramOptions o;
    for (int i = 0; i < count; ++i) {
        SourceEntry s;
        s.inputSlot = i + 1;
        s.SetName("Source " + std::to_string(i + 1));
        o.sources.push_back(s);
    }
    return o;
}

struct OptionsTailCase {
    const char* label;
    int sources;
    size_t tail;  // bytes after the last entry
};

class OptionsWithTrailingBytes : public ::testing::TestWithParam<OptionsTailCase> {};

// Bytes after what the record holds are no reason to lose the sources it holds, nor are
// they cut off by the next save: the whole file is kept aside first, and said.
TEST_P(OptionsWithTrailingBytes, KeepTheirSourcesThroughStartAndExit) {
    const OptionsTailCase& c = GetParam();
    TempDir dir;
    std::vector<uint8_t> bytes = SerializeOptions(WithSources(c.sources));
    bytes.resize(bytes.size() + c.tail, 0xAB);
    WriteBytes("options.cfg", bytes);
    Program p;
    StartProgram(p.state);
    ASSERT_EQ(p.ui.Boxes().size(), 1u);
    EXPECT_NE(p.ui.Boxes()[0].text.find("options.cfg.refused"), std::string::npos) << p.ui.Boxes()[0].text;
    std::vector<uint8_t> kept;
    ASSERT_TRUE(ReadWholeFile("options.cfg.refused", &kept, nullptr));
    EXPECT_TRUE(kept == bytes);
    ASSERT_EQ(p.state.options.sources.size(), static_cast<size_t>(c.sources));
    ShutdownProgram(p.state);
    ProgramOptions back;
    ASSERT_EQ(ReadOptionsFile("options.cfg", &back, nullptr), OptionsRead::Loaded);
    ASSERT_EQ(back.sources.size(), static_cast<size_t>(c.sources));
    EXPECT_EQ(back.sources.back().Name(), "Source " + std::to_string(c.sources));
}

INSTANTIATE_TEST_SUITE_P(Options, OptionsWithTrailingBytes,
                         ::testing::Values(OptionsTailCase{"one_stray_byte", 2, 1},
                                           OptionsTailCase{"a_large_tail", 3, 400000},
                                           OptionsTailCase{"full_list_and_tail", 99, 200000}),
                         [](const auto& info) { return std::string(info.param.label); });

// A file that cannot be read is moved aside and the user told where; the defaults then
// go into a new options.cfg and the old one is never written over.
TEST(Options, ARefusedFileIsKeptUnderAnotherName) {
    TempDir dir;
    fs::create_directory("options.cfg");
    WriteBytes("options.cfg/sources", {1, 2, 3});
    Program p;
    StartProgram(p.state);
    ASSERT_EQ(p.Captions(), (std::vector<std::string>{"Warning  45", "Options"}));
    EXPECT_NE(p.ui.Boxes()[0].detail.find("options.cfg"), std::string::npos);
    EXPECT_NE(p.ui.Boxes()[1].text.find("\"options.cfg.refused\""), std::string::npos) << p.ui.Boxes()[1].text;
    ShutdownProgram(p.state);
    EXPECT_EQ(ReadBytes("options.cfg.refused/sources"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadBytes("options.cfg").size(), kOptionsHeaderSize);
    // A second refusal does not take the first one's name.
    fs::remove("options.cfg");
    ::mkfifo("options.cfg", 0600);
    Program again;
    StartProgram(again.state);
    EXPECT_TRUE(fs::is_fifo("options.cfg.refused2"));
    EXPECT_TRUE(fs::is_directory("options.cfg.refused"));
}

struct CommCase {
    const char* label;
    std::function<void()> make;  // creates comm.cfg
    uint8_t port;
    uint8_t address;
};

class CommFile : public ::testing::TestWithParam<CommCase> {};

// Bytes after the 25 of the record do not cost the settings; what cannot be read gives
// the defaults.
TEST_P(CommFile, OversizedOrUnreadable) {
    TempDir dir;
    GetParam().make();
    CommSettings s;
    uint8_t address = 0;
    LoadCommSettings("comm.cfg", &s, &address);
    EXPECT_EQ(s.port, GetParam().port);
    EXPECT_EQ(address, GetParam().address);
}

std::vector<uint8_t> CommBytes(size_t tail) {
    CommSettings s;
    s.port = 4;
    EXPECT_TRUE(SaveCommSettings("comm.cfg", s, 17, nullptr));
    std::vector<uint8_t> bytes = ReadBytes("comm.cfg");
    bytes.resize(bytes.size() + tail, 0xEE);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CommFile,
    ::testing::Values(CommCase{"exact", [] { CommBytes(0); }, 4, 17},
                      CommCase{"long_tail", [] { WriteBytes("comm.cfg", CommBytes(100000)); }, 4, 17},
                      CommCase{"directory", [] { fs::create_directory("comm.cfg"); }, 2, kDefaultCurrentAddress},
                      CommCase{"fifo", [] { ::mkfifo("comm.cfg", 0600); }, 2, kDefaultCurrentAddress}),
    [](const auto& info) { return std::string(info.param.label); });

// A settings file as bytes: (title?, rows) per container.
std::vector<uint8_t> SetFile(const std::vector<std::vector<int>>& containers) {
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    ByteWriter w;
    w.I32(static_cast<int32_t>(containers.size()));
    for (const auto& c : containers) {
        w.I32(static_cast<int32_t>(c.size()));
        w.I32(5);
    }
    for (const auto& c : containers) {
        for (const int title : c) {
            ByteWriter row;
            row.Zeros(254);
            row.I32(5);
            row.I32(title);
            row.Zeros(kSettingsRowSize - 262);
            w.Bytes(row.Data().data(), row.Data().size());
        }
    }
    return w.Data();
}

struct TitleCase {
    const char* label;
    std::vector<std::vector<int>> containers;  // containerTitle of each row
    const char* reason;                        // empty: accepted
};

class SettingsTitleRows : public ::testing::TestWithParam<TitleCase> {};

// The title rows are where the RAM container cuts its containers: a file whose rows
// say otherwise than its counts is refused whole, with error 26 and why.
TEST_P(SettingsTitleRows, AreWhereTheCountsSay) {
    const TitleCase& c = GetParam();
    TempDir dir;
    WriteBytes("f.set", SetFile(c.containers));
    RecordingUi ui;
    Env env;
    env.ui = &ui;
    testing::SelectiveLoader loader;
    auto strings = loader.Load("kelvaneproj", nullptr);
    env.strings = strings.get();
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    const SettingsCommandResult r = LoadSettingsCommand(env, *t, "f.set");
    if (!*c.reason) {
        EXPECT_TRUE(r.fileRead);
        return;
    }
    EXPECT_FALSE(r.fileRead);
    ASSERT_FALSE(ui.Boxes().empty());
    EXPECT_EQ(ui.Boxes()[0].caption, "Error  26");
    EXPECT_EQ(ui.Boxes()[0].detail, std::string("f.set: ") + c.reason);
    EXPECT_EQ(t->ramRowCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsTitleRows,
    ::testing::Values(TitleCase{"well_formed", {{1, 0, 0}, {1, 0}}, ""},
                      TitleCase{"no_title_first", {{0, 1, 0}}, "container 0 does not begin with its title row"},
                      TitleCase{"second_container_without_title", {{1, 0}, {0, 0}},
                                "container 1 does not begin with its title row"},
                      TitleCase{"title_mid_container", {{1, 0, 1, 0}}, "container 0 holds a title row at its row 2"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Settings, AFailedSaveSaysWhy) {
    TempDir dir;
    fs::create_directory("out.set");
    RecordingUi ui;
    testing::SelectiveLoader loader;
    auto strings = loader.Load("kelvaneproj", nullptr);
    Env env;
    env.ui = &ui;
    env.strings = strings.get();
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    t->ramContainers[0] = {5, 0};
    t->ramContainerCount = 1;
    t->ramBlocks[0].containerTitle = 1;
    t->ramRowCount = 1;
    EXPECT_FALSE(SaveSettingsFile(env, *t, "out.set"));
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text, "Unable to save file");
    EXPECT_NE(ui.Boxes()[0].detail.find("out.set"), std::string::npos);
}

struct CliRun {
    int status;
    std::string out, err;
};

CliRun DataCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    VirtualClock clock;
    DlLibraryLoader libraries;
    cli::CliPorts ports;
    ports.clock = &clock;
    ports.libraries = &libraries;
    ports.out = &out;
    ports.err = &err;
    const int status = cli::RunDataCommand(args, ports);
    return {status, out.str(), err.str()};
}

TEST(SettingsCli, ListAndMergeFailWhenTheyLoseOrReadNothing) {
    TempDir dir;
    WriteBytes("empty.set", {0, 0, 0, 0});
    CliRun r = DataCli({"set-list", "empty.set"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning  19"), std::string::npos) << r.err;
    WriteBytes("bad.set", SetFile({{0, 0}}));
    r = DataCli({"set-list", "bad.set"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error  26: Can't open RAMfile (*.set)\nbad.set: container 0 does not begin with its title row"),
              std::string::npos)
        << r.err;

    // 200 rows, then 150 more: the second container passes the 300-row rule only alone.
    std::vector<int> big(200, 0), more(150, 0);
    big[0] = more[0] = 1;
    WriteBytes("big.set", SetFile({big}));
    WriteBytes("more.set", SetFile({more}));
    r = DataCli({"set-merge", "out.set", "big.set", "more.set"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning  43"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists("out.set"));
    EXPECT_EQ(DataCli({"set-merge", "out.set", "big.set"}).status, 0);
}

}  // namespace
}  // namespace ombrix
