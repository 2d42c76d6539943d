#pragma once
// A projector and its type's description laid out for the settings pane: groups with
// and without colour, direction, mode and control choices, and parameters that need
// options or sit on the 0x34 code.
#include <gtest/gtest.h>

#include "../support/BlockBench.h"
#include "directaccess/SettingsPane.h"

namespace ombrix::testing {

// Projector 1 (type 5, short headers, sound, no magnetic focus): row 0 active, row 1 in
// use, then free rows and the common block (row 5). Its live values differ from the
// blocks' bytes so a test sees which one a field shows.
inline const char kPaneBus[] = R"(
[projector]
address = 1
type = 5 V
status = 00 00 90 00
id = 4711
block-length = 20
block = 40 34 01 20 active data=000102030405060708090a0b0c0d0e0f10111213
block = 00 36 02 21 data=1415161718191a1b1c1d1e1f2021222324252627
free-blocks = 3
special = ef 7f 00 00
param = 0x30 200 0 255
param = 0x31 10 0 255
param = 0x34 20 0 255
param = 0x0a 50 0 255
)";

inline DescriptionKind Kind(uint8_t number, const char* name, int32_t mask, std::array<uint8_t, 4> bytes) {
    DescriptionKind k;
    k.kindNumber = number;
    SetFieldText(&k.kindName, name);
    k.specialKind = mask;
    k.kindBytes = bytes;
    return k;
}

struct ParamRow {
    int32_t number;
    const char* name;
    int32_t place;
    int32_t min, max;
    uint8_t da1, da2, kind;
    uint8_t line;
    uint8_t colour = 0, direction = 0;
    int32_t options = 0;
};

inline DescriptionParameter Param(const ParamRow& p) {
    DescriptionParameter d;
    d.paramNumber = p.number;
    SetFieldText(&d.paramName, p.name);
    d.placeInBlock = p.place;
    d.min = p.min;
    d.max = p.max;
    d.da1 = p.da1;
    d.da2 = p.da2;
    // Common H (0x10) is not open to direct access.
    d.directAccessAllowed = p.da1 != 0x40 && p.da1 != 0x10;
    d.kind = p.kind;
    // Label at column 1, 12 wide; field at column 16, 5 wide; both on the given line.
    d.paramBytes = {1, p.line, 12, 16, p.line, 5, 0};
    d.colorDependency = p.colour;
    d.directionDependency = p.direction;
    d.optionsNeeded = p.options;
    return d;
}

inline Description PaneDescription(int type, bool withGain = true) {
    Description d = MakeDescription(type, 'V', 20, 5, 0, {{0xef, 0x7f, 0, 0}});
    d.kinds = {Kind(1, "Picture", 0, {0, 0, 1, 1}),      Kind(3, "Convergence", 0, {1, 1, 0, 1}),
               Kind(7, "Audio", 0x01, {0, 0, 0, 1}),     Kind(0x81, "Common", 0x4000, {0, 0, 0, 1}),
               Kind(8, "Focus", 0x40, {0, 0, 0, 0}),     Kind(9, "Focus common", 0x4040, {0, 0, 0, 0}),
               Kind(10, "Empty", 0, {0, 0, 0, 0})};
    d.parameters = {
        Param({0, "Brightness", 8, 0, 127, 0x30, 5, 1, 1}),
        Param({4, "Sharpness", 12, 0, 31, 0x34, 7, 1, 2}),
        Param({5, "Focus depth", 13, 0, 127, 0x40, 0, 1, 3, 0, 0, 0x40}),
        Param({153, "Red H", 14, 0, 127, 0x08, 0, 3, 1, 1, 1}),
        Param({155, "Green H", 15, 0, 127, 0x0A, 0, 3, 1, 2, 1}),
        Param({156, "Green V", 16, 0, 127, 0x0B, 0, 3, 2, 2, 2}),
        Param({160, "Common H", 17, 0, 127, 0x10, 0, 3, 3}),
        Param({184, "Volume", 18, 0, 63, 0x35, 0, 7, 1}),
        Param({200, "Common gain", 3, 0, 127, 0x50, 0, 0x81, 1}),
    };
    if (withGain) d.parameters.push_back(Param({1, "Gain", 9, 0, 255, 0x31, 0, 1, 4}));
    d.kindCount = static_cast<int32_t>(d.kinds.size());
    d.paramCount = static_cast<int32_t>(d.parameters.size());
    return d;
}

// Group positions in the description.
inline constexpr int kPicture = 0, kConvergence = 1, kAudio = 2, kCommon = 3;

struct PaneBench : BlockBench {
    PaneBench() : BlockBench(kPaneBus, {PaneDescription(5), PaneDescription(6, false)}) {
        Connect({1});
        Open(1);
    }
    void Adjust(BlockListKind list, int row) {
        Select(list, {row});
        SelectForAdjustment(state, view, list);
        bus.ClearTranscript();
        ui.Clear();
    }
    std::vector<std::string> FieldNames() const {
        std::vector<std::string> out;
        for (const PaneField& f : pane.fields) out.push_back(std::to_string(f.id) + " " + f.name);
        return out;
    }
    int FieldId(const std::string& name) const {
        for (const PaneField& f : pane.fields)
            if (f.name == name) return f.id;
        return -1;
    }
    // A RAM row of the projector's type whose body is all fill.
    int RamRow(uint8_t fill) {
        const int row = AddRamRow({0x40, 0x34, 0x05, 0x20}, fill);
        state.blocks.ramBlocks[static_cast<size_t>(row)].alphaId = 'V';
        return row;
    }
    SettingsPane pane;
};

}  // namespace ombrix::testing
