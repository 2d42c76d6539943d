// Start-up and shutdown: options.cfg created, kept, and never written before it was read.
#include <gtest/gtest.h>

#include "app/Program.h"
#include "platform/RecordingUi.h"
#include "../support/AsNobody.h"
#include "../support/Loaders.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct Fixture {
    VirtualClock clock;
    RecordingUi ui;
    testing::SelectiveLoader loader;
    SystemDeviceOpener opener;
    ProgramState state{clock, ui, loader, opener};
};

TEST(Startup, FirstStartWritesTheDefaults) {
    TempDir dir;
    Fixture f;
    StartProgram(f.state);
    EXPECT_TRUE(f.ui.Boxes().empty());
    EXPECT_EQ(ReadBytes("options.cfg").size(), 36u);
    EXPECT_EQ(f.state.startDirectory, std::filesystem::current_path().string());
    EXPECT_NE(f.state.env.strings, nullptr);
}

TEST(Startup, AFileWithTwoSourcesSurvivesStartAndShutdown) {
    TempDir dir;
    ProgramOptions o;
    o.sources.resize(2);
    o.sources[0].inputSlot = 4;
    o.sources[0].SetName("Camera");
    o.sources[1].inputSlot = 7;
    o.activeSource = 0;
    o.checkIntervalId = 61781;
    const auto original = SerializeOptions(o);
    WriteBytes("options.cfg", original);
    {
        Fixture f;
        StartProgram(f.state);
        ShutdownProgram(f.state);
        EXPECT_TRUE(f.ui.Boxes().empty());
    }
    EXPECT_EQ(ReadBytes("options.cfg"), original);
}

TEST(Startup, NothingIsWrittenBeforeTheOptionsWereRead) {
    TempDir dir;
    WriteBytes("options.cfg", {1, 2, 3});
    Fixture f;
    // A shutdown that comes before start-up read the file must leave it alone.
    ShutdownProgram(f.state);
    EXPECT_FALSE(SaveOptions(f.state));
    EXPECT_EQ(ReadBytes("options.cfg"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Startup, ChangedOptionsAreWrittenAtShutdown) {
    TempDir dir;
    Fixture f;
    StartProgram(f.state);
    f.state.options.searchLimit = 0;
    ShutdownProgram(f.state);
    const auto bytes = ReadBytes("options.cfg");
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(f.state.env.strings, nullptr);  // libraries released
}

struct LibraryCase {
    const char* label;
    std::set<std::string> missing;
    std::vector<std::string> captions;
};

class MissingLibraries : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(MissingLibraries, BoxesShown) {
    const LibraryCase& c = GetParam();
    TempDir dir;
    Fixture f;
    f.loader.missing = c.missing;
    StartProgram(f.state);
    std::vector<std::string> captions;
    for (const auto& b : f.ui.Boxes()) captions.push_back(b.caption);
    EXPECT_EQ(captions, c.captions);
    // The program goes on: the options are there either way.
    EXPECT_EQ(ReadBytes("options.cfg").size(), 36u);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, MissingLibraries,
    ::testing::Values(LibraryCase{"images_missing_is_reported", {"kelvanebmp"}, {"Error  41"}},
                      // Without the type library there is no text to show, not even its own error.
                      LibraryCase{"strings_missing_shows_nothing", {"kelvaneproj"}, {}},
                      LibraryCase{"both_missing_shows_nothing", {"kelvanebmp", "kelvaneproj"}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Startup, ACreateFailureIsWarning42AndTheDefaultsHold) {
    if (::geteuid() == 0) {
        EXPECT_TRUE(testing::PassesAsNobody()) << "root can write anywhere: run as nobody";
        return;
    }
    TempDir dir;
    ::chmod(".", 0500);
    Fixture f;
    StartProgram(f.state);
    ::chmod(".", 0700);
    ASSERT_EQ(f.ui.Boxes().size(), 1u);
    EXPECT_EQ(f.ui.Boxes()[0].caption, "Warning  42");
    EXPECT_EQ(f.state.options.searchLimit, 16);
}

}  // namespace
}  // namespace ombrix
