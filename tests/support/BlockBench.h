#pragma once
// A program with its block lists on the in-process bus, in a fresh working directory
// that holds the description files the test writes.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "InProcessDevice.h"
#include "SimBus.h"
#include "app/Program.h"
#include "blocks/BlockOperations.h"
#include "blocks/ProjectorTree.h"
#include "blocks/RamContainer.h"
#include "discovery/Search.h"
#include "platform/RecordingUi.h"
#include "TempDir.h"

namespace ombrix::testing {

inline Description MakeDescription(int type, char letter, int length, int blockCount, int variant,
                                   const std::vector<std::array<uint8_t, 4>>& specialHeaders = {},
                                   float fhBase = 5e-7f, int specialCount = 1) {
    Description d;
    d.typeCount = 1;
    d.typeCodes[0] = static_cast<uint8_t>(type);
    d.alphaIds[0] = letter;
    d.blockLength = length;
    d.blockCount = blockCount;
    d.headerVariant = variant;
    d.fhBase = fhBase;
    d.fvBase = -1.0f;
    for (const auto& h : specialHeaders) d.groups.push_back({specialCount, {}, h});
    d.specialGroupCount = static_cast<int32_t>(d.groups.size());
    return d;
}

inline void WriteDescription(const std::string& path, const Description& d) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SerializeDescription(d, nullptr, &bytes, nullptr));
    WriteBytes(path, bytes);
}

// One request on the wire: command byte and the four parameter bytes.
struct Request {
    uint8_t command;
    std::array<uint8_t, 4> p;
    bool operator==(const Request&) const = default;
};

inline void PrintTo(const Request& r, std::ostream* o) {
    *o << "'" << static_cast<char>(r.command) << "' " << int(r.p[0]) << ' ' << int(r.p[1]) << ' ' << int(r.p[2])
       << ' ' << int(r.p[3]);
}

inline std::vector<Request> Requests(const sim::SimBus& bus) {
    std::vector<Request> out;
    for (const auto& e : bus.Transcript()) {
        if (!e.fromHost || e.bytes.size() != 9 || e.bytes[0] != 0x02) continue;
        auto b = [&](size_t i) { return static_cast<uint8_t>(e.bytes[i] - e.bytes[1]); };
        out.push_back({b(3), {b(4), b(5), b(6), b(7)}});
    }
    return out;
}

// Projector 1 (type 5, short headers): rows 0-1 in use, 2-4 free (row 3 duplicates row 0
// once undeleted), row 5 the common block. Projector 3 (type 25, long headers): row 1 in
// use with its second wire byte above 127.
inline const char kTwoTypesBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active
block = 00 36 02 21
block = ff 3c 03 41 free
block = 40 34 01 20 free
free-blocks = 1
special = ef 7f 00 00
[projector]
address = 3
type = 25 V
status = 00 00 80 00
block-length = 20
header-variant = 2
block = 30 32 01 03 09 active
block = 40 90 02 00 00
free-blocks = 2
special = ef 00 7f 00
)";

constexpr sim::Fault kNackFirst{sim::FaultKind::Nack, 0, 1, 0};
constexpr sim::Fault kNackSecond{sim::FaultKind::Nack, 0, 1, 1};

class BlockBench {
public:
    BlockBench(const std::string& busText, const std::vector<Description>& descriptions) {
        for (const Description& d : descriptions) WriteDescription("type" + std::to_string(d.typeCodes[0]) + ".dsc", d);
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
        StartProgram(state);
        EXPECT_EQ(SetupConnection(state.env, state.link, kOwnerCommWindow), 1);
    }

    // The projectors at these addresses, probed as the search does, in this order.
    void Connect(const std::vector<int>& addresses) {
        ProjectorTable& t = state.projectors;
        t.connectedCount = 0;
        for (int a : addresses) {
            ProjectorRecord r;
            EXPECT_TRUE(ProbeAddress(state.link, state.env, a, &r, &state.statusFlags, false).answered) << a;
            t.records[static_cast<size_t>(t.connectedCount++)] = r;
        }
    }
    // The projector made current through its Overview node, the RAM containers built first.
    void Open(int address) {
        BuildRamContainers(state, &view);
        SelectViewNode(state, session, &view, NodeData(kNodeOverview, static_cast<uint8_t>(address)), true, false);
        bus.ClearTranscript();
        ui.Clear();
    }
    std::vector<Request> Sent() const { return Requests(bus); }
    // The boxes shown, questions aside: numbered ones by caption, the others by text.
    std::vector<std::string> Shown() const {
        std::vector<std::string> out;
        for (const auto& box : ui.Boxes()) {
            if (box.question) continue;
            const bool numbered = box.caption.rfind("Warning  ", 0) == 0 || box.caption.rfind("Error  ", 0) == 0;
            out.push_back(numbered ? box.caption : box.text);
        }
        return out;
    }
    void Select(BlockListKind kind, const std::vector<int>& rows) {
        for (auto& r : view.List(kind).rows) r.selected = false;
        for (int row : rows) view.List(kind).rows[static_cast<size_t>(row)].selected = true;
    }
    // A RAM block of the current projector's type, at the end of its container.
    int AddRamRow(std::array<uint8_t, 4> fields, uint8_t fill, int special = 0) {
        BlockTables& t = state.blocks;
        RAMBlock row;
        row.header = {fields[0], fields[1], fields[2], fields[3], 0, 0, 0};
        row.projectorType = state.projectors.records[static_cast<size_t>(state.projectors.currentProjectorIndex)].projectorType;
        row.longHeader = t.geometry.headerVariant == 2;
        row.specialKind = special;
        row.body.fill(fill);
        const int k = FindContainer(t, row.projectorType);
        EXPECT_TRUE(InsertRowsIntoContainer(t, k, &row, 1));
        RefreshBlockLists(state, view);
        return ContainerEndRow(t, k) - 1;
    }
    const ProjectorBlock& Block(int row) const { return state.blocks.projectorBlocks[static_cast<size_t>(row)]; }
    std::vector<uint8_t> SimData(uint8_t address, size_t slot) {
        std::vector<uint8_t> d;
        bus.With(address, [&](sim::SimProjector& p) { d = p.blocks[slot].data; });
        return d;
    }

    TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    DlLibraryLoader loader;
    ProgramState state{clock, ui, loader, opener};
    BlockView view;
    ProjectorSession session;
    GroupTable groups;
};

}  // namespace ombrix::testing
