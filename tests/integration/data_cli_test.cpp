// The data files of data/, the simulator serving them, and ombrix-cli's data commands.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "DataCommands.h"
#include "InProcessDevice.h"
#include "SimBus.h"
#include "link/Commands.h"
#include "blocks/RamContainer.h"
#include "data/DescriptionText.h"
#include "data/SettingsFile.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

const std::string kData = OMBRIX_DATA_DIR;
const char* const kDescriptions[] = {"type05v", "type08g", "type16d", "type25v", "default"};

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST(DataFiles, BinariesAreTheirTextFormAndBack) {
    for (const char* name : kDescriptions) {
        const auto binary = ReadBytes(kData + "/" + name + ".dsc");
        const std::string text = Text(ReadBytes(kData + "/" + name + ".dsc.json"));
        std::vector<uint8_t> built;
        std::string why;
        ASSERT_TRUE(DescriptionTextToBytes(text, &built, &why)) << name << ": " << why;
        EXPECT_EQ(built, binary) << name;
        std::string printed;
        ASSERT_TRUE(DescriptionBytesToText(binary, &printed, &why)) << name;
        EXPECT_EQ(printed, text) << name;
    }
}

TEST(DataFiles, TheDemoBusServesItsTypesFromThem) {
    testing::TempDir elsewhere;  // the bus file names its descriptions relative to its own folder
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusFile(kData + "/demo-bus.cfg", &bus, &error)) << error;
    Env env;
    for (uint8_t address : bus.Addresses()) {
        bus.With(address, [&](const sim::SimProjector& p) {
            Description d;
            ASSERT_TRUE(LoadDescription(env, kData, p.typeCode, p.letter, &d)) << int(address);
            EXPECT_EQ(p.blockLength, d.blockLength);
            EXPECT_EQ(p.headerVariant, d.headerVariant);
            EXPECT_EQ(p.blocks.size(), static_cast<size_t>(d.blockCount));
            ASSERT_EQ(p.specials.size(), d.groups.size());
            for (size_t i = 0; i < d.groups.size(); ++i) {
                EXPECT_TRUE(std::equal(d.groups[i].groupHeader.begin(), d.groups[i].groupHeader.end(),
                                       p.specials[i].header));
            }
            for (const DescriptionParameter& param : d.parameters) {
                if (param.directAccessAllowed) {
                    EXPECT_EQ(p.params.count(param.da1), 1u) << param.paramNumber;
                }
            }
        });
    }
}

// A projector's current settings are its active block: what changes one shows in the other.
TEST(DataFiles, TheDemoProjectorsKeepTheirLiveValuesInTheActiveBlock) {
    testing::TempDir elsewhere;
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusFile(kData + "/demo-bus.cfg", &bus, &error)) << error;
    VirtualClock clock;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    Env env;
    env.clock = &clock;
    env.ui = &ui;
    Link link{clock, opener};
    ASSERT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    Description d;
    ASSERT_TRUE(LoadDescription(env, kData, 5, 'V', &d));
    const size_t length = static_cast<size_t>(d.blockLength);
    const size_t place = 10;  // Saturation (0x32) of type 5 V
    auto active = [&] {
        uint8_t at[4] = {};
        std::vector<uint8_t> block(length);
        EXPECT_EQ(ReadLocation(link, 1, at), 3);
        EXPECT_EQ(ReadBlockData(link, 1, block.data(), at[0], at[1], at[2], at[3], length), 3);
        return std::pair{std::vector<uint8_t>(at, at + 4), block};
    };
    auto live = [&] {
        uint32_t v = 0;
        EXPECT_EQ(ReadParameter(link, 1, 0x32, 0, &v), 3);
        return static_cast<int>(v & 0xFF);
    };
    const int before = live();
    ASSERT_EQ(active().second[place], before);

    ASSERT_EQ(WriteParameter(link, 1, 0x32, 0, 3), 3);
    EXPECT_EQ(active().second[place], before + 3) << "a step written";
    EXPECT_EQ(live(), before + 3);

    ASSERT_EQ(KeyCommand(link, 1, 0x12), 3);  // input 2: another block is active
    const auto [header, block] = active();
    EXPECT_EQ(header[1], 0x02);
    EXPECT_EQ(live(), block[place]) << "another input brings its block's values";

    std::vector<uint8_t> written = block;
    written[place] = 42;
    ASSERT_EQ(WriteBlockData(link, 1, written.data(), header[0], header[1], header[2], header[3], length), 3);
    EXPECT_EQ(live(), 42) << "a block written over the active one";
}

// However its blocks are given, a simulated projector answers the values its active
// block holds, and every seeded or generated setting lies within its parameter's limits.
TEST(DataFiles, ASimulatedProjectorsLiveValuesAreItsActiveBlock) {
    struct Case {
        const char* label;
        const char* blocks;
    };
    const Case cases[] = {
        {"seeded", "block = 40 34 01 20 active seed=1\nblock = 3f 36 02 21 seed=2\n"},
        {"generated", "block = 40 34 01 20\nblock = 3f 36 02 21 active\n"},
    };
    Description d;
    Env env;
    ASSERT_TRUE(LoadDescription(env, kData, 5, 'V', &d));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::SimBus bus;
        std::string error;
        ASSERT_TRUE(sim::ParseBusText(std::string("[projector]\naddress = 1\ntype = 5 V\ndescription = type05v.dsc\n") +
                                          c.blocks,
                                      &bus, &error, kData))
            << error;
        bus.With(1, [&](sim::SimProjector& p) {
            const std::vector<uint8_t>* active = p.ActiveData();
            ASSERT_NE(active, nullptr);
            for (const auto& [code, param] : p.params) {
                if (param.place < 0) continue;
                EXPECT_EQ(param.value, (*active)[static_cast<size_t>(param.place)]) << "parameter " << int(code);
            }
            for (const sim::SimBlock& b : p.blocks) {
                if (p.IsFree(b)) continue;
                for (const DescriptionParameter& param : d.parameters) {
                    if (param.placeInBlock < 0 || static_cast<size_t>(param.placeInBlock) >= b.data.size()) continue;
                    const int v = b.data[static_cast<size_t>(param.placeInBlock)];
                    EXPECT_TRUE(v >= std::max(param.min, 0) && v <= std::min(param.max, 255)) << param.paramNumber;
                }
            }
        });
    }
}

// What a newcomer sees first: every setting of every block and every live value of the
// demo projectors lies within the limits their descriptions give.
TEST(DataFiles, TheDemoBusAgreesWithItsDescriptions) {
    sim::SimBus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusFile(kData + "/demo-bus.cfg", &bus, &error)) << error;
    Env env;
    int checked = 0;
    for (uint8_t address : bus.Addresses()) {
        bus.With(address, [&](const sim::SimProjector& p) {
            SCOPED_TRACE("projector " + std::to_string(address));
            Description d;
            ASSERT_TRUE(LoadDescription(env, kData, p.typeCode, p.letter, &d));
            struct Stored {
                std::string label;
                const std::vector<uint8_t>* data;
            };
            std::vector<Stored> stored;
            for (size_t i = 0; i < p.blocks.size(); ++i) {
                if (!p.IsFree(p.blocks[i])) stored.push_back({"block " + std::to_string(i), &p.blocks[i].data});
            }
            for (size_t i = 0; i < p.specials.size(); ++i) stored.push_back({"special " + std::to_string(i), &p.specials[i].data});
            ASSERT_GE(p.activeBlock, 0);
            EXPECT_FALSE(p.IsFree(p.blocks[static_cast<size_t>(p.activeBlock)]));
            for (const Stored& s : stored) {
                for (const DescriptionParameter& param : d.parameters) {
                    const std::string name = FieldText(param.paramName);
                    ASSERT_LT(static_cast<size_t>(param.placeInBlock), s.data->size()) << name;
                    const int v = (*s.data)[static_cast<size_t>(param.placeInBlock)];
                    EXPECT_GE(v, param.min) << s.label << " " << name;
                    EXPECT_LE(v, param.max) << s.label << " " << name;
                    ++checked;
                }
            }
            // The live values: each code the projector answers is a parameter its description
            // opens to direct access, within that parameter's limits.
            for (const auto& [code, live] : p.params) {
                const DescriptionParameter* described = nullptr;
                for (const DescriptionParameter& param : d.parameters)
                    if (param.directAccessAllowed && param.da1 == code) described = &param;
                ASSERT_NE(described, nullptr) << "code " << int(code);
                const std::string name = FieldText(described->paramName);
                EXPECT_GE(live.value, described->min) << name;
                EXPECT_LE(live.value, described->max) << name;
                EXPECT_EQ(live.min, described->min) << name;
                EXPECT_EQ(live.max, described->max) << name;
                ++checked;
            }
        });
    }
    EXPECT_GT(checked, 100);
}

TEST(DataFiles, ADescriptionThatDoesNotServeTheTypeIsABusError) {
    testing::TempDir dir;
    std::filesystem::copy_file(kData + "/type08g.dsc", "g.dsc");
    sim::SimBus bus;
    std::string error;
    EXPECT_FALSE(sim::ParseBusText("[projector]\naddress = 2\ntype = 5 V\ndescription = g.dsc\n", &bus, &error));
    EXPECT_EQ(error, "projector 2: g.dsc does not serve type 5 V");
    EXPECT_FALSE(sim::ParseBusText("[projector]\ndescription = none.dsc\n", &bus, &error));
    EXPECT_EQ(error.rfind("line 2: none.dsc: ", 0), 0u) << error;
}

struct CliRun {
    int status;
    std::string out, err;
};

class DataCli : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        cli::CliPorts ports;
        ports.clock = &clock_;
        ports.libraries = &libraries_;
        ports.out = &out;
        ports.err = &err;
        const int status = cli::RunDataCommand(args, ports);
        return {status, out.str(), err.str()};
    }
    void CopyDescriptions() {
        for (const char* name : kDescriptions) std::filesystem::copy_file(kData + "/" + name + ".dsc", std::string(name) + ".dsc");
    }
    testing::TempDir dir_;
    VirtualClock clock_;
    DlLibraryLoader libraries_;
};

// The listing without its date and time lines.
std::string Undated(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Date ", 0) != 0 && line.rfind("Time ", 0) != 0) out += line + "\n";
    }
    return out;
}

TEST_F(DataCli, DescriptionToTextAndBack) {
    CopyDescriptions();
    const CliRun shown = Cli({"dsc-to-text", "type25v.dsc"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, Text(ReadBytes(kData + "/type25v.dsc.json")));
    EXPECT_EQ(Cli({"dsc-to-text", "type25v.dsc", "--output", "t.txt"}).status, 0);
    EXPECT_EQ(Cli({"text-to-dsc", "t.txt", "back.dsc"}).status, 0);
    EXPECT_EQ(ReadBytes("back.dsc"), ReadBytes("type25v.dsc"));
}

struct FailCase {
    const char* label;
    std::vector<std::string> args;
    int status;
    const char* err;  // beginning of standard error
};

class DataCliFails : public DataCli, public ::testing::WithParamInterface<FailCase> {};

TEST_P(DataCliFails, StatusAndMessage) {
    WriteBytes("short.dsc", {1, 0, 0, 0, 0, 0, 0, 0});
    WriteBytes("bad.txt", {'{', '}'});
    const FailCase& c = GetParam();
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.substr(0, std::string(c.err).size()), c.err) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, DataCliFails,
    ::testing::Values(
        FailCase{"not_mine", {"status", "1"}, -1, ""},
        FailCase{"lying_description", {"dsc-to-text", "short.dsc"}, 1,
                 "ombrix-cli: short.dsc: not a description file: the type list runs past the end of the file\n"},
        FailCase{"missing_description", {"dsc-to-text", "none.dsc"}, 1, "ombrix-cli: none.dsc: "},
        FailCase{"text_without_keys", {"text-to-dsc", "bad.txt", "o.dsc"}, 1,
                 "ombrix-cli: bad.txt: description: \"codeWord\" is missing\n"},
        FailCase{"no_file", {"dsc-to-text"}, 2, "ombrix-cli: dsc-to-text takes"},
        FailCase{"output_without_value", {"set-list", "a.set", "--output"}, 2, "ombrix-cli: set-list: --output needs"},
        FailCase{"unknown_option", {"set-list", "a.set", "--row", "1"}, 2, "ombrix-cli: set-list: unknown option --row"},
        FailCase{"two_letters", {"params", "5", "VV"}, 2, "ombrix-cli: params: LETTER"},
        FailCase{"type_out_of_range", {"params", "256", "V"}, 2, "ombrix-cli: params: TYPE"},
        FailCase{"row_without_set", {"params", "5", "V", "--row", "1"}, 2, "ombrix-cli: params: --set and --row"},
        FailCase{"unknown_column", {"params", "5", "V", "--columns", "step,size"}, 2,
                 "ombrix-cli: params: unknown column \"size\""},
        FailCase{"merge_without_input", {"set-merge", "out.set"}, 2, "ombrix-cli: set-merge takes"},
        FailCase{"damaged_set", {"set-list", "short.dsc"}, 1,
                 "Error  26: Can't open RAMfile (*.set)\nshort.dsc: the container list runs past the end\n"
                 "Warning  19: No items added to the RAMcontainer\n"}),
    [](const auto& info) { return std::string(info.param.label); });

std::unique_ptr<BlockTables> DemoTables() {
    auto t = std::make_unique<BlockTables>();
    ClearRamContainer(*t);
    auto add = [&](int type, int title, int special, int longHeader, BlockHeader h, float fhBase, float fvBase) {
        RAMBlock& r = t->ramBlocks[static_cast<size_t>(t->ramRowCount)];
        r.projectorType = type;
        r.containerTitle = title;
        r.specialKind = special;
        r.longHeader = longHeader;
        r.header = h;
        r.fhBase = fhBase;
        r.fvBase = fvBase;
        r.body.fill(static_cast<uint8_t>(t->ramRowCount));
        r.body[8] = 96;
        if (title) t->ramContainers[static_cast<size_t>(t->ramContainerCount++)] = {type, t->ramRowCount};
        ++t->ramRowCount;
    };
    add(5, 1, 0, 0, {}, 0, 0);
    add(5, 0, 0, 0, {64, 52, 1, 0x20, 2, 0, 0}, 5e-7f, 1.0f / 2600);
    add(5, 0, 0x4000, 0, {0xEF, 0, 0x7F, 0, 0, 0, 0}, 0, 0);
    add(25, 1, 0, 0, {}, 0, 0);
    add(25, 0, 0, 1, {48, 50, 1, 0x03, 0, 3, 0x0103}, 6.25e-7f, -1.0f);
    return t;
}

TEST_F(DataCli, SetListIsTheRamListAsText) {
    RecordingUi ui;
    Env env;
    env.ui = &ui;
    ASSERT_TRUE(SaveSettingsFile(env, *DemoTables(), "demo.set"));
    const CliRun r = Cli({"set-list", "demo.set"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Undated(r.out),
              "Header :\n"
              "--------\n"
              "\n"
              "Listing type    :Listing RAM blocks\n"
              "Additional Info :demo.set\n"
              "\n\n\n"
              "--------------------------------------------------------\n"
              "|RAMBlock   |Source|Type |Fh (KHz)|Fv (Hz)|Config      |\n"
              "--------------------------------------------------------\n"
              "|Z-05 series|      |     |        |       |            |\n"
              "|1          |1     |RGB  |31.25   | 50    |Rear/Ceiling|\n"
              "|2          |Common|---- |----    |----   |----        |\n"
              "|Z-25 series|      |     |        |       |            |\n"
              "|1          |1     |Video|33.33   | 50    |Front/Table |\n");
    EXPECT_EQ(Cli({"set-list", "demo.set", "--output", "list.txt"}).status, 0);
    EXPECT_EQ(Undated(Text(ReadBytes("list.txt"))), Undated(r.out));
}

TEST_F(DataCli, ParamsOfATypeAndOfARamRow) {
    CopyDescriptions();
    RecordingUi ui;
    Env env;
    env.ui = &ui;
    ASSERT_TRUE(SaveSettingsFile(env, *DemoTables(), "demo.set"));

    const CliRun plain = Cli({"params", "5", "V"});
    EXPECT_EQ(plain.status, 0);
    std::istringstream lines(Undated(plain.out));
    std::vector<std::string> v;
    for (std::string l; std::getline(lines, l);) v.push_back(l);
    ASSERT_EQ(v.size(), 8u + 3 + 21);
    EXPECT_EQ(v[4], "Additional Info :ZV-051");
    EXPECT_EQ(v[9], "|nr |parameter name |place in block|min|max|");
    EXPECT_EQ(v[11], "|0  |Brightness     |8             |0  |127|");

    const CliRun row = Cli({"params", "5", "V", "--set", "demo.set", "--row", "1", "--columns", "kind,options,da1"});
    EXPECT_EQ(row.status, 0);
    const std::string text = Undated(row.out);
    EXPECT_NE(text.find("|nr |parameter name |Value|Barscale|place in block|min|max|DA1|Kind       |Options needed|\n"
                        "-"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("|0  |Brightness     |96   |76      |8             |0  |127|48 |Picture    |Nothing needed|"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Listing type    :Listing contents of RAMBlock\nAdditional Info :demo.set\n"), std::string::npos);

    const CliRun title = Cli({"params", "5", "V", "--set", "demo.set", "--row", "0"});
    EXPECT_EQ(title.status, 1);
    EXPECT_EQ(title.err, "Warning  34: RAMcontainer doesn't contain anything, please select a valid block\n");
    EXPECT_EQ(Cli({"params", "5", "V", "--set", "demo.set", "--row", "5"}).status, 2);

    const CliRun none = Cli({"params", "6", "V"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err,
              "Error  46: No more files found to search\nno description file (*.dsc) serves type 6 V; looked in .\n"
              "Warning  16: Can't open description file\n");
    EXPECT_NE(none.out.find("|nr |parameter name|place in block|min|max|\n"), std::string::npos) << none.out;
}

TEST_F(DataCli, SetMergeAppendsAsTheAppendCommandDoes) {
    RecordingUi ui;
    Env env;
    env.ui = &ui;
    auto a = DemoTables();
    ASSERT_TRUE(SaveSettingsFile(env, *a, "a.set"));
    // b: two more blocks for type 5 and a new type 8; c: a container too big to take.
    auto b = DemoTables();
    b->ramContainers[1].projectorType = 8;
    b->ramBlocks[3].projectorType = b->ramBlocks[4].projectorType = 8;
    ASSERT_TRUE(SaveSettingsFile(env, *b, "b.set"));
    auto c = std::make_unique<BlockTables>();
    ClearRamContainer(*c);
    c->ramContainers[0] = {16, 0};
    c->ramContainerCount = 1;
    c->ramRowCount = 296;
    c->ramBlocks[0].containerTitle = 1;
    ASSERT_TRUE(SaveSettingsFile(env, *c, "c.set"));

    // A merge that has to leave a container out writes nothing.
    const CliRun full = Cli({"set-merge", "out.set", "a.set", "b.set", "c.set"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "Warning  43: Can't append file because maximum number of RAMblocks are exceeded\n"
                        "ombrix-cli: out.set was not written\n");
    EXPECT_FALSE(std::filesystem::exists("out.set"));

    const CliRun r = Cli({"set-merge", "out.set", "a.set", "b.set"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Type 5: its title row, a's two blocks, then b's two; type 25 moved down; type 8 last.
    auto expected = DemoTables();
    std::copy(expected->ramBlocks.begin() + 3, expected->ramBlocks.begin() + 5, expected->ramBlocks.begin() + 5);
    std::copy(b->ramBlocks.begin() + 1, b->ramBlocks.begin() + 3, expected->ramBlocks.begin() + 3);
    std::copy(b->ramBlocks.begin() + 3, b->ramBlocks.begin() + 5, expected->ramBlocks.begin() + 7);
    expected->ramRowCount = 9;
    expected->ramContainers[1] = {25, 5};
    expected->ramContainers[2] = {8, 7};
    expected->ramContainerCount = 3;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SerializeSettings(*expected, &bytes));
    EXPECT_EQ(ReadBytes("out.set"), bytes);

    WriteBytes("bad.set", {1, 0, 0, 0});
    const CliRun bad = Cli({"set-merge", "out2.set", "a.set", "bad.set"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Error  26: Can't open RAMfile (*.set)\nbad.set: the container list runs past the end\n"
                       "ombrix-cli: out2.set was not written\n");
    EXPECT_FALSE(std::filesystem::exists("out2.set"));
}

}  // namespace
}  // namespace ombrix
