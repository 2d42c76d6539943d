#include "data/Formatting.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "blocks/RamContainer.h"
#include "projector/Messages.h"
#include "projector/Projector.h"

namespace ombrix {
namespace {

// Quotients are taken in IEEE arithmetic; a zero time base prints as infinity, as it
// always has, without dividing by zero.
float Quotient(float a, float b) {
    if (b == 0.0f) {
        if (a != a) return a;
        if (a == 0.0f) return std::numeric_limits<float>::quiet_NaN();
        return (std::signbit(a) != std::signbit(b)) ? -std::numeric_limits<float>::infinity()
                                                    : std::numeric_limits<float>::infinity();
    }
    return a / b;
}

std::string Printf(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string SourceText(const BlockHeader& h, bool longHeader) {
    const bool free = longHeader ? (h.config & 0x04) != 0 : h.source >= 128;
    if (free) return "Free";
    const int input = h.source & 0x7F;
    if (input == 127) return "Int";
    return std::to_string(input);
}

std::string YesNo(uint8_t v) { return v ? "Yes" : "No"; }

long long LeadingNumber(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 10); }

}  // namespace

const char* SignalTypeText(int code, bool longHeader) {
    static const char* const kShort[] = {"Video",        "SVHS",        "RGB",        "RGsB",
                                         "Component Video", "Internal", "Unknown",    "Unknown",
                                         "Forced Video", "Forced SVHS", "Forced RGB", "Forced RGsB",
                                         "Forced RGBS"};
    static const char* const kLong[] = {"Video",    "S-Video",  "RGB",      "RGB3s",
                                        "Component Video", "reserved", "reserved", "Internal"};
    if (longHeader) return code >= 0 && code < 8 ? kLong[code] : "Unknown";
    return code >= 0 && code < 13 ? kShort[code] : "Unknown";
}

const char* InstallationText(int code, bool longHeader, bool familyFlag) {
    static const char* const kFlag0[] = {"Rear/Ceiling", "Front/Table", "Front/Ceiling", "Rear/Table"};
    static const char* const kFlag1[] = {"Front/Ceiling", "Rear/Table", "Rear/Ceiling", "Front/Table"};
    if (code < 0 || code > 3) return "Unknown";
    return (longHeader || familyFlag) ? kFlag1[code] : kFlag0[code];
}

const char* KindText(int code) {
    switch (code) {
        case 0: return "Idle";
        case 1: return "Picture";
        case 2: return "Geometry";
        case 3: return "Convergence";
        case 4: return "Color";
        case 5: return "Orbit";
        case 6: return "Contrast Modulation";
        case 8: return "Magnetic Focus";
        case 9: return "Blanking";
        case 10: return "Coarse Convergence";
        case 0x80: return "Stigmator";
        case 0x81: return "Common";
        default: return "Unknown";
    }
}

const char* OptionsNeededText(int32_t code) {
    switch (code) {
        case 0: return "Nothing needed";
        case 1: return "Sound Needed";
        case 2: return "Green Convergence needed";
        case 8: return "Contrast Modulation needed";
        case 0x10: return "Soft Edge needed";
        case 0x20: return "Strip Convergence needed";
        case 0x40: return "Magnetic Focus needed ";
        case 0x80: return "IRIS needed";
        default: return "Unknown";
    }
}

bool FamilyFlag(const Env& env, int projectorType) {
    if (projectorType < 0) return false;
    return FamilyText(env, projectorType).rfind("12", 0) == 0;
}

std::string HeaderFieldText(int column, const BlockHeader& h, float fhBase, float fvBase, int longHeader,
                            bool familyFlag) {
    switch (column) {
        case kFieldFh: {
            const float count = (h.fh == 0 || h.fh == 255) ? 256.0f : static_cast<float>(h.fh);
            return Printf("%5.2f", static_cast<double>(Quotient(Quotient(0.001f, fhBase), count)));
        }
        case kFieldFv: {
            // A positive base is a period (taken in double precision), otherwise it is
            // minus the field frequency of one count.
            double v = 0.0;
            if (h.fv != 0) {
                v = fvBase > 0.0f ? 1.0 / static_cast<double>(fvBase) / h.fv
                                  : static_cast<double>(-fvBase * static_cast<float>(h.fv));
            }
            return Printf("%3.0f", v);
        }
        case kFieldSource: return SourceText(h, longHeader != 0);
        case kFieldType: return SignalTypeText(h.signalType, longHeader != 0);
        case kFieldConfig: return InstallationText(h.orientation, longHeader != 0, familyFlag);
        default: return {};
    }
}

std::string FormatHeaderField(const Env& env, int column, const BlockHeader& header, float fhBase, float fvBase,
                              int longHeader, int projectorType) {
    const bool flag = column == kFieldConfig && !longHeader && FamilyFlag(env, projectorType);
    return HeaderFieldText(column, header, fhBase, fvBase, longHeader, flag);
}

namespace {

BlockRowTexts BlockCells(const Env& env, std::string number, const BlockHeader& h, int specialKind, int longHeader,
                         float fhBase, float fvBase, int projectorType) {
    if (specialKind != 0) {
        const char* name = h.fh == kCommonBlockFh ? "Common" : h.fh == kStigmatorBlockFh ? "Stigmator" : "";
        return {std::move(number), name, "----", "----", "----", "----"};
    }
    auto field = [&](int column) {
        return FormatHeaderField(env, column, h, fhBase, fvBase, longHeader, projectorType);
    };
    return {std::move(number), field(kFieldSource), field(kFieldType), field(kFieldFh), field(kFieldFv),
            field(kFieldConfig)};
}

}  // namespace

BlockRowTexts ProjectorListHeadings() { return {"ProjectorBlock", "Source", "Type", "Fh (KHz)", "Fv (Hz)", "Config"}; }
BlockRowTexts RamListHeadings() { return {"RAMBlock", "Source", "Type", "Fh (KHz)", "Fv (Hz)", "Config"}; }

BlockRowTexts ProjectorRowTexts(const Env& env, const ProjectorBlock& b, int row) {
    return BlockCells(env, std::to_string(row + 1), b.header, b.specialKind, b.longHeader, b.fhBase, b.fvBase,
                      b.projectorType);
}

BlockRowTexts RamRowTexts(const Env& env, const BlockTables& t, int row) {
    if (row < 0 || row >= t.ramRowCount) return {};
    const RAMBlock& b = t.ramBlocks[static_cast<size_t>(row)];
    if (b.containerTitle) {
        const std::string name = b.projectorType < 0 ? "Unknown" : FamilyText(env, b.projectorType);
        return {name, "", "", "", "", ""};
    }
    const int k = ContainerOfRow(t, row);
    const int first = k < 0 ? 0 : t.ramContainers[static_cast<size_t>(k)].firstRow;
    return BlockCells(env, std::to_string(row - first), b.header, b.specialKind, b.longHeader, b.fhBase, b.fvBase,
                      b.projectorType);
}

ListModel RamListModel(const Env& env, const BlockTables& t) {
    ListModel list;
    const BlockRowTexts headings = RamListHeadings();
    list.headings.assign(headings.begin(), headings.end());
    for (int row = 0; row < t.ramRowCount; ++row) {
        const BlockRowTexts cells = RamRowTexts(env, t, row);
        list.rows.emplace_back(cells.begin(), cells.end());
    }
    return list;
}

int Barscale(int value, int32_t min, int32_t max) {
    const int64_t range = static_cast<int64_t>(max) - static_cast<int64_t>(min);
    if (value < 0 || value > 127 || range <= 0) return 0;
    const double p = static_cast<double>(value) / static_cast<double>(range) * 100.0;
    const double whole = std::floor(p);
    return static_cast<int>(whole) + (p - whole >= 0.5 ? 1 : 0);
}

namespace {

// The columns in their order, each present or not.
struct ColumnSpec {
    const char* heading;
    CellSort sort;
};

enum Column {
    kNr, kName, kValue, kBar, kPlace, kMin, kMax, kStep, kDa1, kDa2, kKind, kColor, kDirection, kDirect, kOptions,
    kColumnCount
};

constexpr ColumnSpec kColumns[kColumnCount] = {
    {"nr ", CellSort::Number},
    {"parameter name", CellSort::Text},
    {"Value", CellSort::Number},
    {"Barscale", CellSort::Number},
    {"place in block", CellSort::Number},
    {"min", CellSort::Number},
    {"max", CellSort::Number},
    {"step", CellSort::Number},
    {"DA1", CellSort::Number},
    {"DA2", CellSort::Number},
    {"Kind", CellSort::Text},
    {"Color Dependency", CellSort::Text},
    {"Direction Dependency", CellSort::Text},
    {"Direct Access allowed", CellSort::Text},
    {"Options needed", CellSort::Text},
};

std::vector<int> PresentColumns(bool withRamRow, const ParameterColumnSwitches& s) {
    const bool present[kColumnCount] = {true,   true,     withRamRow,  withRamRow, true,        true,     true,
                                        s.step, s.da1,    s.da2,       s.kind,     s.color,     s.direction,
                                        s.direct, s.options};
    std::vector<int> columns;
    for (int c = 0; c < kColumnCount; ++c) {
        if (present[c]) columns.push_back(c);
    }
    return columns;
}

std::string ParameterCell(int column, int row, const DescriptionParameter& p, const RAMBlock* ramRow) {
    // A place outside the block's 240 bytes has no value to show.
    const bool inBlock = ramRow && p.placeInBlock >= 0 && p.placeInBlock < kBlockBodySize;
    const int value = inBlock ? ramRow->body[static_cast<size_t>(p.placeInBlock)] : 0;
    switch (column) {
        case kNr: return std::to_string(row);
        case kName: return FieldText(p.paramName);
        case kValue: return inBlock ? std::to_string(value) : "";
        case kBar: return inBlock ? std::to_string(Barscale(value, p.min, p.max)) : "";
        case kPlace: return std::to_string(p.placeInBlock);
        case kMin: return std::to_string(p.min);
        case kMax: return std::to_string(p.max);
        case kStep: return std::to_string(p.step);
        case kDa1: return std::to_string(p.da1);
        case kDa2: return std::to_string(p.da2);
        case kKind: return KindText(p.kind);
        case kColor: return YesNo(p.colorDependency);
        case kDirection: return YesNo(p.directionDependency);
        case kDirect: return YesNo(p.directAccessAllowed);
        case kOptions: return OptionsNeededText(p.optionsNeeded);
        default: return {};
    }
}

}  // namespace

ParameterListing ParameterColumns(bool withRamRow, const ParameterColumnSwitches& switches) {
    ParameterListing listing;
    for (int c : PresentColumns(withRamRow, switches)) {
        listing.list.headings.push_back(kColumns[c].heading);
        listing.sorts.push_back(kColumns[c].sort);
    }
    return listing;
}

ParameterListing ListParameters(const Description& d, const RAMBlock* ramRow, const ParameterColumnSwitches& switches) {
    ParameterListing listing = ParameterColumns(ramRow != nullptr, switches);
    const std::vector<int> columns = PresentColumns(ramRow != nullptr, switches);
    listing.list.rows.reserve(d.parameters.size());
    for (size_t r = 0; r < d.parameters.size(); ++r) {
        std::vector<std::string> cells;
        cells.reserve(columns.size());
        for (int c : columns) cells.push_back(ParameterCell(c, static_cast<int>(r), d.parameters[r], ramRow));
        listing.list.rows.push_back(std::move(cells));
    }
    return listing;
}

bool FillParameterList(const Env& env, const std::string& directory, int typeCode, char alphaId,
                       const RAMBlock* ramRow, const ParameterColumnSwitches& switches, ParameterListing* out) {
    Description d;
    if (!LoadDescription(env, directory, typeCode, alphaId, &d)) {
        ShowWarning(env, 16);
        *out = ParameterColumns(ramRow != nullptr, switches);
        return false;
    }
    *out = ListParameters(d, ramRow, switches);
    ReleaseDescription(&d);
    return true;
}

int CompareParameterRows(const ParameterListing& listing, int row1, int row2, int column) {
    const auto& rows = listing.list.rows;
    if (column < 0 || static_cast<size_t>(column) >= listing.sorts.size()) return 0;
    auto cell = [&](int row) -> const std::string& {
        static const std::string kBlank;
        if (row < 0 || static_cast<size_t>(row) >= rows.size()) return kBlank;
        const auto& cells = rows[static_cast<size_t>(row)];
        return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : kBlank;
    };
    const std::string& a = cell(row1);
    const std::string& b = cell(row2);
    if (listing.sorts[static_cast<size_t>(column)] == CellSort::Number) {
        const long long x = LeadingNumber(a), y = LeadingNumber(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    const int c = std::strcoll(a.c_str(), b.c_str());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace ombrix
