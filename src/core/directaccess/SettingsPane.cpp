#include "directaccess/SettingsPane.h"

#include <algorithm>
#include <cstring>

#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

// The upper limit last, so a faulty description with min > max still ends at min.
int ClampToLimits(int v, int min, int max) {
    if (v > max) v = max;
    if (v < min) v = min;
    return v;
}

bool PlaceInBlock(const SettingsPane& pane, const DescriptionParameter& p) {
    return p.placeInBlock >= 0 && p.placeInBlock < pane.block.length;
}

int WorkingValue(const SettingsPane& pane, const DescriptionParameter& p) {
    return PlaceInBlock(pane, p) ? pane.block.working[Index(p.placeInBlock)] : 0;
}

void StoreValue(SettingsPane& pane, const DescriptionParameter& p, int value) {
    if (!PlaceInBlock(pane, p)) return;
    pane.block.working[Index(p.placeInBlock)] = static_cast<uint8_t>(value);
    pane.block.display[Index(p.placeInBlock)] = static_cast<uint8_t>(value);
}

// A parameter the description does not open to direct access has no live value: its
// code would reach some other setting of the projector.
bool Live(const SettingsPane& pane, const DescriptionParameter& p) {
    return pane.directAccess && p.directAccessAllowed;
}

// The projector's live value of a parameter; false (reported) when it did not answer.
bool ReadLive(ProgramState& s, const SettingsPane& pane, const DescriptionParameter& p, int* value) {
    uint32_t v = 0;
    const int r = ReadParameter(s.link, pane.block.address, p.da1, p.da2, &v);
    ReportCommError(s.env, s.link, r);
    if (r != kDone) return false;
    *value = static_cast<int>(v & 0xFF);
    return true;
}

bool FieldMatches(const SettingsPane& pane, const DescriptionParameter& p) {
    if (p.colorDependency != 0 && p.colorDependency != static_cast<int>(pane.colour)) return false;
    if (p.directionDependency != 0 && p.directionDependency != static_cast<int>(pane.direction)) return false;
    // As with the tabs, a projector that cannot be determined is taken to have every option.
    if (!pane.projectorKnown) return true;
    const uint32_t need = static_cast<uint32_t>(p.optionsNeeded);
    return (need & pane.capability) == need;
}

void UpdateControlPanel(ProgramState& s, SettingsPane& pane) {
    ControlPanel& c = pane.control;
    if (!c.shown || pane.currentParameter < 0 || pane.currentParameter >= static_cast<int>(pane.page.size())) return;
    const DescriptionParameter& p = pane.page[Index(pane.currentParameter)];
    c.min = p.min;
    c.max = p.max;
    c.title = (pane.directAccess ? "Direct Access : " : "Indirect Access : ") + FieldText(p.paramName);
    int value = WorkingValue(pane, p);
    int live = 0;
    if (Live(pane, p) && ReadLive(s, pane, p, &live)) {
        value = ClampToLimits(live, p.min, p.max);
        // A live value out of range is brought back into it on the projector too.
        if (value != live) WriteParameterSteps(s, pane.block.address, p.da1, p.da2, value - live);
        StoreValue(pane, p, value);
    }
    c.position = value;
    pane.currentValue = value;
}

void ShowValueInField(SettingsPane& pane, int parameter, int value) {
    for (PaneField& f : pane.fields) {
        if (f.parameter == parameter) f.value = value;
    }
}

void ResetPane(SettingsPane& pane) { pane = SettingsPane{}; }

size_t BlockLengthOf(const Description& d) {
    return d.blockLength >= 1 && d.blockLength <= kBlockBodySize ? static_cast<size_t>(d.blockLength) : 0;
}

// The block's body from the projector, zero past L; the read's result.
int ReadEditedBlock(ProgramState& s, const EditedBlock& b, BlockBody* body) {
    BlockBody buffer{};
    const uint8_t* w = b.wireHeader;
    const int r = ReadBlockData(s.link, b.address, buffer.data(), w[0], w[1], w[2], w[3], Index(b.length));
    ReportCommError(s.env, s.link, r);
    if (r == kDone) {
        body->fill(0);
        std::copy(buffer.begin(), buffer.begin() + b.length, body->begin());
    }
    return r;
}

bool SameSelection(const BlockSelection& sel, const EditedBlock& b) {
    return sel.row == b.row && sel.projectorIndex == b.projectorIndex &&
           (!b.fromProjector || std::memcmp(sel.wireHeader, b.wireHeader, 4) == 0);
}

// The communication window's copy of a projector block follows what the projector holds.
void KeepProjectorCopy(ProgramState& s, const EditedBlock& b, const BlockBody& body) {
    BlockTables& t = s.blocks;
    if (SameSelection(t.adjustment, b)) t.adjustment.body = body;
    if (b.projectorIndex != s.projectors.currentProjectorIndex || b.row < 0 || b.row >= t.projectorRowCount) return;
    t.projectorBlocks[Index(b.row)].body = body;
}

// The RAM row the edited block is now: the adjustment selection follows rows that move.
RAMBlock* EditedRamRow(ProgramState& s, const EditedBlock& b) {
    BlockTables& t = s.blocks;
    const int row = t.adjustment.NamesRamRow() ? t.adjustment.row : b.row;
    if (row < 0 || row >= t.ramRowCount) return nullptr;
    RAMBlock& r = t.ramBlocks[Index(row)];
    if (r.containerTitle || r.projectorType != b.projectorType) return nullptr;
    return &r;
}

bool LoadPage(ProgramState& s, SettingsPane& pane, const Description& d, int position) {
    EditedBlock& b = pane.block;
    if (b.fromProjector) {
        BlockBody body{};
        if (ReadEditedBlock(s, b, &body) == kDone) {
            b.working = b.display = body;
            b.bodyRead = true;
            KeepProjectorCopy(s, b, body);
        } else {
            ShowError(s.env, 42);
        }
    }
    if (position >= 0 && position < static_cast<int>(d.kinds.size())) {
        pane.group = d.kinds[Index(position)];
        for (const DescriptionParameter& p : d.parameters) {
            if (p.kind == pane.group.kindNumber) pane.page.push_back(p);
        }
    }
    pane.position = position;
    pane.viewMode = PaneMode::View;
    if (pane.HasColour()) pane.colour = PaneColour::Green;
    if (pane.DirectionKind() == 1) pane.direction = PaneDirection::LeftRight;
    if (pane.DirectionKind() == 2) pane.direction = PaneDirection::Lateral;
    pane.caption = FieldText(pane.group.kindName);
    if (pane.page.empty()) {
        ShowWarning(s.env, 41);
        return false;
    }
    return true;
}

}  // namespace

uint32_t CapabilityMask(const ProjectorRecord& r) {
    const uint8_t flags[8] = {r.soundAvailable, r.greenConvergence,   r.orbit,         r.contrastModulation,
                              r.softEdge,       r.convergenceStripped, r.magneticFocus, r.iris};
    uint32_t mask = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (flags[bit] == 1) mask |= 1u << bit;
    }
    if (r.specialBlocks[0] == 1) mask |= kFirstSpecialKind;
    if (r.specialBlocks[1] == 1) mask |= kSecondSpecialKind;
    return mask;
}

bool GroupShown(int32_t mask, int blockSpecialKind, bool projectorKnown, uint32_t capability) {
    const uint32_t m = static_cast<uint32_t>(mask);
    if (blockSpecialKind == 0) {
        if (m == 0) return true;
        if (m == kFirstSpecialKind || m == kSecondSpecialKind) return false;
        return !projectorKnown || (m & capability) == m;
    }
    const uint32_t k = static_cast<uint32_t>(blockSpecialKind);
    return projectorKnown ? (m & capability) == k : m == k;
}

std::vector<SettingsTab> SettingsTabs(const Description& d, int blockSpecialKind, const ProjectorRecord* projector) {
    const uint32_t capability = projector ? CapabilityMask(*projector) : 0;
    std::vector<SettingsTab> tabs;
    for (size_t i = 0; i < d.kinds.size(); ++i) {
        if (GroupShown(d.kinds[i].specialKind, blockSpecialKind, projector != nullptr, capability)) {
            tabs.push_back({static_cast<int>(i), FieldText(d.kinds[i].kindName)});
        }
    }
    return tabs;
}

const ProjectorRecord* AdjustmentProjector(const ProgramState& s) {
    const BlockSelection& sel = s.blocks.adjustment;
    const ProjectorTable& t = s.projectors;
    if (sel.row < 0) return nullptr;
    const int n = std::clamp(t.connectedCount, 0, kProjectorTableSize);
    if (!sel.NamesRamRow()) {
        for (int i = 0; i < n; ++i) {
            if (t.records[Index(i)].address == sel.address) return &t.records[Index(i)];
        }
        return nullptr;
    }
    const bool rowThere = sel.row < s.blocks.ramRowCount;
    const int32_t serial = rowThere ? s.blocks.ramBlocks[Index(sel.row)].serial : 0;
    const ProjectorRecord* sameType = nullptr;
    for (int i = 0; i < n; ++i) {
        const ProjectorRecord& r = t.records[Index(i)];
        if (r.projectorType != sel.projectorType || r.alphaId != sel.alphaId) continue;
        if (rowThere && r.idNumber == serial) return &r;
        if (!sameType) sameType = &r;
    }
    return sameType;
}

std::string PaneReadingText(const ProgramState& s, const std::string& groupName) {
    const BlockSelection& sel = s.blocks.adjustment;
    if (sel.row < 0 || sel.projectorIndex < 0) return {};
    return "Reading " + groupName + " from projector " + std::to_string(sel.address) + " ...";
}

bool AdjustmentTabs(ProgramState& s, std::vector<SettingsTab>* tabs) {
    tabs->clear();
    const BlockSelection& sel = s.blocks.adjustment;
    if (sel.row < 0) {
        ShowWarning(s.env, 35);
        return false;
    }
    Description d;
    if (!LoadDescription(s.env, s.startDirectory, sel.projectorType, sel.alphaId, &d)) {
        ShowWarning(s.env, 16);
        return false;
    }
    *tabs = SettingsTabs(d, sel.specialKind, AdjustmentProjector(s));
    ReleaseDescription(&d);
    return true;
}

bool OpenSettingsPane(ProgramState& s, SettingsPane* pane, int position) {
    ResetPane(*pane);
    pane->referenceSelected = s.blocks.reference.row >= 0;
    const BlockSelection& sel = s.blocks.adjustment;
    if (sel.row < 0) {
        ShowWarning(s.env, 35);
        return false;
    }
    EditedBlock& b = pane->block;
    b.row = sel.row;
    b.projectorIndex = sel.projectorIndex;
    b.projectorType = sel.projectorType;
    b.alphaId = sel.alphaId;
    b.specialKind = sel.specialKind;
    std::memcpy(b.wireHeader, sel.wireHeader, 4);
    if (sel.NamesRamRow()) {
        if (sel.row >= s.blocks.ramRowCount) {
            ShowWarning(s.env, 35);
            return false;
        }
        b.working = b.display = s.blocks.ramBlocks[Index(sel.row)].body;
        b.bodyRead = true;
    } else {
        b.fromProjector = true;
        b.address = sel.address;
        // The body the selection holds until the projector has answered.
        b.working = b.display = sel.body;
        uint8_t location[4] = {0, 0, 0, 0};
        const int r = ReadLocation(s.link, b.address, location);
        ReportCommError(s.env, s.link, r);
        pane->directAccess = r == kDone && std::memcmp(location, b.wireHeader, 4) == 0 ? 1 : 0;
    }
    if (const ProjectorRecord* p = AdjustmentProjector(s)) {
        pane->projectorKnown = true;
        pane->capability = CapabilityMask(*p);
    }

    Description d;
    if (!LoadDescription(s.env, s.startDirectory, b.projectorType, b.alphaId, &d)) {
        ShowWarning(s.env, 16);
        return false;
    }
    b.length = static_cast<int>(BlockLengthOf(d));
    if (b.length == 0) {
        ReleaseDescription(&d);
        ShowWarning(s.env, 41);
        return false;
    }
    if (sel.NamesRamRow()) {
        std::fill(b.working.begin() + b.length, b.working.end(), 0);
        b.display = b.working;
    }
    const bool ok = LoadPage(s, *pane, d, position);
    ReleaseDescription(&d);
    if (!ok) return false;
    pane->loaded = true;
    RebuildFields(s, *pane);
    return true;
}

void RebuildFields(ProgramState& s, SettingsPane& pane) {
    pane.fields.clear();
    for (size_t i = 0; i < pane.page.size(); ++i) {
        const DescriptionParameter& p = pane.page[i];
        if (!FieldMatches(pane, p)) continue;
        PaneField f;
        f.id = kFirstFieldId + static_cast<int>(pane.fields.size());
        f.parameter = static_cast<int>(i);
        f.name = FieldText(p.paramName);
        f.labelColumn = p.paramBytes[0];
        f.labelLine = p.paramBytes[1];
        f.labelWidth = p.paramBytes[2];
        f.fieldColumn = p.paramBytes[3];
        f.fieldLine = p.paramBytes[4];
        f.fieldWidth = p.paramBytes[5];
        f.value = WorkingValue(pane, p);
        int live = 0;
        if (Live(pane, p) && ReadLive(s, pane, p, &live)) {
            f.value = live;
            StoreValue(pane, p, live);
        }
        pane.fields.push_back(f);
        pane.currentParameter = f.parameter;
    }
    UpdateControlPanel(s, pane);
}

void ChooseColour(ProgramState& s, SettingsPane& pane, PaneColour colour) {
    pane.colour = colour;
    if (pane.viewMode == PaneMode::View) RebuildFields(s, pane);
}

void ChooseDirection(ProgramState& s, SettingsPane& pane, PaneDirection direction) {
    pane.direction = direction;
    if (pane.viewMode == PaneMode::View) RebuildFields(s, pane);
}

void ChooseMode(ProgramState& s, SettingsPane& pane, PaneMode mode) {
    if (mode == pane.viewMode) return;
    if (mode == PaneMode::Compare) {
        if (!pane.OffersCompare()) return;
        pane.viewMode = PaneMode::Compare;
        pane.fields.clear();
        return;
    }
    pane.viewMode = PaneMode::View;
    RebuildFields(s, pane);
}

bool FocusField(ProgramState& s, SettingsPane& pane, int fieldId) {
    for (const PaneField& f : pane.fields) {
        if (f.id != fieldId) continue;
        if (!f.Responds()) return false;
        pane.currentParameter = f.parameter;
        UpdateControlPanel(s, pane);
        return true;
    }
    return false;
}

void ShowControlPanel(ProgramState& s, SettingsPane& pane, bool on) {
    pane.control = ControlPanel{};
    pane.control.shown = on;
    UpdateControlPanel(s, pane);
}

int ScrollTarget(ScrollAction action, int value, int thumb, int min, int max) {
    switch (action) {
        case ScrollAction::LineLeft: value -= 1; break;
        case ScrollAction::LineRight: value += 1; break;
        case ScrollAction::PageLeft: value -= 16; break;
        case ScrollAction::PageRight: value += 16; break;
        case ScrollAction::Thumb: value = thumb; break;
        case ScrollAction::ToStart: value = min; break;
        case ScrollAction::ToEnd: value = max; break;
    }
    return ClampToLimits(value, min, max);
}

void Scroll(ProgramState& s, SettingsPane& pane, ScrollAction action, int thumb) {
    ControlPanel& c = pane.control;
    if (!pane.loaded || !c.shown || pane.currentParameter < 0 ||
        pane.currentParameter >= static_cast<int>(pane.page.size())) {
        return;
    }
    const DescriptionParameter& p = pane.page[Index(pane.currentParameter)];
    const int value = ScrollTarget(action, pane.currentValue, thumb, p.min, p.max);
    c.position = value;
    pane.currentValue = value;
    StoreValue(pane, p, value);
    int live = 0;
    if (Live(pane, p) && ReadLive(s, pane, p, &live)) {
        const int change = ClampToLimits(value, p.min, p.max) - live;
        if (change != 0) {
            s.env.clock->WaitMs(kScrollWriteDelayMs);
            WriteParameterSteps(s, pane.block.address, p.da1, p.da2, change);
        }
    }
    ShowValueInField(pane, pane.currentParameter, value);
}

int WriteParameterSteps(ProgramState& s, uint8_t address, uint8_t da1, uint8_t da2, int change) {
    const uint8_t second = da1 == kSecondByteZeroCode ? 0 : da2;
    while (change != 0) {
        const int step = std::clamp(change, -128, 127);
        const int r = WriteParameter(s.link, address, da1, second, static_cast<uint8_t>(static_cast<int8_t>(step)));
        ReportCommError(s.env, s.link, r);
        if (r != kDone) return r;
        change -= step;
    }
    return kDone;
}

int SaveBlock(ProgramState& s, SettingsPane& pane) {
    if (!pane.loaded) return 0;
    EditedBlock& b = pane.block;
    if (b.fromProjector) {
        if (!b.bodyRead) return 0;
        const uint8_t* w = b.wireHeader;
        const int r = WriteBlockData(s.link, b.address, b.working.data(), w[0], w[1], w[2], w[3], Index(b.length));
        ReportCommError(s.env, s.link, r);
        if (r != kDone) return 0;
        KeepProjectorCopy(s, b, b.working);
        return 1;
    }
    RAMBlock* row = EditedRamRow(s, b);
    if (!row) return 0;
    row->body = b.working;
    if (s.blocks.adjustment.NamesRamRow()) s.blocks.adjustment.body = b.working;
    return 1;
}

int RestoreBlock(ProgramState& s, SettingsPane& pane) {
    if (!pane.loaded || pane.directAccess) return 0;
    EditedBlock& b = pane.block;
    if (b.fromProjector) {
        BlockBody body{};
        if (ReadEditedBlock(s, b, &body) != kDone) return 0;
        b.working = b.display = body;
        b.bodyRead = true;
    } else {
        const RAMBlock* row = EditedRamRow(s, b);
        if (!row) return 0;
        b.working = b.display = row->body;
    }
    for (PaneField& f : pane.fields) f.value = WorkingValue(pane, pane.page[Index(f.parameter)]);
    UpdateControlPanel(s, pane);
    return 1;
}

void CloseSettingsPane(ProgramState& s, SettingsPane& pane) {
    SaveBlock(s, pane);
    ResetPane(pane);
}

std::string AccessText(const SettingsPane& pane) { return pane.directAccess ? "Direct Access" : "Indirect Access"; }

PaneLayout LayOutPane(const SettingsPane& pane, int charWidth, int lineHeight, int rowHeight) {
    PaneLayout l;
    // Units count from inside the frame's corner, so line 1 sits below its title.
    constexpr int kOrigin = 5, kMinFrameWidth = 300, kFrameMargin = 15;
    int right = 0, bottom = kOrigin + lineHeight;
    for (const PaneField& f : pane.fields) {
        FieldRect label;
        if (f.labelWidth > 0) {
            label = {kOrigin + f.labelColumn * charWidth, kOrigin + f.labelLine * lineHeight,
                     (f.labelWidth + 1) * charWidth, lineHeight};
            right = std::max(right, label.Right());
            bottom = std::max(bottom, label.Bottom());
        }
        const FieldRect field{kOrigin + f.fieldColumn * charWidth, kOrigin + f.fieldLine * lineHeight,
                             f.fieldWidth * (charWidth + 1), lineHeight};
        right = std::max(right, field.Right());
        bottom = std::max(bottom, field.Bottom());
        l.labels.push_back(label);
        l.fields.push_back(field);
    }
    l.settingsFrame = {kOrigin, kOrigin, std::max(kMinFrameWidth, right + kFrameMargin - kOrigin),
                       bottom + kFrameMargin - kOrigin};

    if (pane.HasMode()) l.controlRows.push_back("Mode");
    if (pane.HasColour()) l.controlRows.push_back("Color");
    if (pane.DirectionKind() == 1 || pane.DirectionKind() == 2) l.controlRows.push_back("Direction");
    if (pane.HasControl()) l.controlRows.push_back("Control");
    const int columnX = l.settingsFrame.Right() + 7 * charWidth;
    // Wide enough for a caption and the three colour choices.
    const int rowWidth = 34 * charWidth;
    for (size_t i = 0; i < l.controlRows.size(); ++i) {
        l.controlRowRects.push_back(
            {columnX + charWidth, kOrigin + lineHeight + static_cast<int>(i) * rowHeight, rowWidth, rowHeight});
    }
    const int rows = static_cast<int>(l.controlRows.size());
    l.controlFrame = {columnX, kOrigin, rowWidth + 2 * charWidth, lineHeight + rows * rowHeight + kFrameMargin};
    l.panelFrame = {kOrigin, l.settingsFrame.Bottom() + 2 * kOrigin, l.settingsFrame.w, lineHeight + rowHeight + 2 * kOrigin};
    return l;
}

}  // namespace ombrix
