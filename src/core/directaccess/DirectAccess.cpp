#include "directaccess/DirectAccess.h"

#include <algorithm>
#include <new>

#include "data/Description.h"
#include "link/Frame.h"

namespace ombrix {

const std::array<DirectAccessParameter, kDirectParameterCount> kDirectAccessParameters = {{
    {0, kPagePicture, 0x30, 0, "Brightness"},
    {1, kPagePicture, 0x34, 4, "Sharpness"},
    {2, kPagePicture, 0x32, 2, "Saturation"},
    {3, kPagePicture, 0x31, 1, "Contrast"},
    {4, kPagePicture, 0x33, 3, "Tint"},
    {5, kPageGeometry, 0x10, 160, "H Position"},
    {6, kPageGeometry, 0x27, 183, "V Size"},
    {7, kPageGeometry, 0x12, 162, "V Position"},
    {8, kPageConvergence, 0x08, 153, "Red Horizontal"},
    {9, kPageConvergence, 0x0D, 157, "Green Horizontal"},
    {10, kPageConvergence, 0x0A, 155, "Blue Horizontal"},
    {11, kPageConvergence, 0x0F, 159, "Red Skew"},
    {12, kPageConvergence, 0x09, 154, "Red Vertical"},
    {13, kPageConvergence, 0x0E, 158, "Green Vertical"},
    {14, kPageAudio, 0x35, 184, "Volume"},
    {15, kPageAudio, 0x38, 185, "Bass"},
    {16, kPageAudio, 0x37, 187, "Balance"},
    {17, kPageAudio, 0x36, 186, "Treble"},
}};

namespace {

struct PageInfo {
    const char* name;
    int first;
    int count;
    int slots[kMaxSlots];
};

// Slot 1 at the top. On Picture the rows follow the adjustment order, so a row shows the
// parameter its buttons change.
constexpr PageInfo kPages[] = {
    {"Picture", 0, 5, {3, 1, 2, 0, 4, -1}},
    {"Geometry", 5, 3, {5, 6, 7, -1, -1, -1}},
    {"Convergence", 8, 6, {8, 9, 10, 11, 12, 13}},
    {"Audio", 14, 4, {14, 15, 16, 17, -1, -1}},
};

const PageInfo* Page(int page) { return page >= 1 && page <= 4 ? &kPages[page - 1] : nullptr; }

}  // namespace

const char* PageName(int page) { return Page(page) ? Page(page)->name : ""; }
int PageFirstIndex(int page) { return Page(page) ? Page(page)->first : 0; }
int PageParameterCount(int page) { return Page(page) ? Page(page)->count : 0; }
int SlotCount(int page) { return PageParameterCount(page); }

int SlotParameter(int page, int slot) {
    const PageInfo* p = Page(page);
    if (!p || slot < 1 || slot > kMaxSlots) return -1;
    return p->slots[slot - 1];
}

bool IsAudioCode(uint8_t code) { return code >= 0x35 && code <= 0x38; }

std::string PageCaption(int page, uint8_t address) {
    return std::string(PageName(page)) + " : displaying values address " + std::to_string(address);
}

const DescriptionParameter* FindDescriptionParameter(const Description& d, int32_t number) {
    for (const DescriptionParameter& p : d.parameters) {
        if (p.paramNumber == number) return &p;
    }
    return nullptr;
}

std::string DescriptionDirectoryOf(const ProgramState& state) {
    return state.startDirectory.empty() ? "." : state.startDirectory;
}

ProjectorRecord* FindConnectedRecord(ProgramState& state, uint8_t address) {
    const int count = std::clamp(state.projectors.connectedCount, 0, kProjectorTableSize);
    for (int i = 0; i < count; ++i) {
        ProjectorRecord& r = state.projectors.records[static_cast<size_t>(i)];
        if (r.address == address) return &r;
    }
    return nullptr;
}

ProjectorRecord* CurrentRecord(ProgramState& state) { return FindConnectedRecord(state, state.link.currentAddress); }

void BuildTargetList(ProgramState& state) {
    DirectAccessState& da = state.direct;
    if (da.selection.kind == SelectionKind::Group && FindGroup(state.groups, da.selection.group) < 0) {
        da.selection = ProjectorSelection{};
    }
    da.targets = BuildGroupTargetList(state.projectors, state.link.currentAddress, state.groups, da.selection);
    if (const ProjectorRecord* r = CurrentRecord(state)) {
        da.projectorType = r->projectorType;
        da.alphaId = r->alphaId;
    }
}

void LookupLimits(ProgramState& state, int32_t number, int32_t projectorType, char alphaId) {
    DirectAccessState& da = state.direct;
    da.currentMin = 0;
    da.currentMax = 127;
    Description d;
    if (!LoadDescription(state.env, DescriptionDirectoryOf(state), projectorType, alphaId, &d)) return;
    if (const DescriptionParameter* p = FindDescriptionParameter(d, number)) {
        da.currentMin = p->min;
        da.currentMax = p->max;
    }
    ReleaseDescription(&d);
}

void ReadActiveBlockValues(ProgramState& state) {
    DirectAccessState& da = state.direct;
    const ProjectorRecord* r = CurrentRecord(state);
    if (!r || r->standby) {
        da.values.fill(0);
        return;
    }
    Description d;
    // Without a description the block length is unknown; places fall back to 0.
    const bool described = LoadDescription(state.env, DescriptionDirectoryOf(state), r->projectorType, r->alphaId, &d);
    const size_t length = described ? static_cast<size_t>(std::clamp(d.blockLength, 0, 240)) : 0;
    std::vector<uint8_t> block;
    try {
        block.assign(std::max<size_t>(length, 1), 0);
    } catch (const std::bad_alloc&) {
        ReleaseDescription(&d);
        return;
    }
    uint8_t where[4] = {0, 0, 0, 0};
    const int located = ReadLocation(state.link, r->address, where);
    if (located != 3) ReportCommError(state.env, state.link, located);
    if (length > 0) ReadBlockData(state.link, r->address, block.data(), where[0], where[1], where[2], where[3], length);
    for (const DirectAccessParameter& p : kDirectAccessParameters) {
        const DescriptionParameter* dp = described ? FindDescriptionParameter(d, p.number) : nullptr;
        const int32_t place = dp ? dp->placeInBlock : 0;
        // A place the block does not reach reads as 0 rather than past the buffer.
        da.values[static_cast<size_t>(p.index)] =
            place >= 0 && static_cast<size_t>(place) < block.size() ? block[static_cast<size_t>(place)] : 0;
    }
    ReleaseDescription(&d);
}

std::vector<SlotFill> InitialisePage(ProgramState& state, const ProgressHooks& hooks) {
    DirectAccessState& da = state.direct;
    ReadActiveBlockValues(state);
    std::vector<SlotFill> rows;
    const int slots = SlotCount(da.page);
    hooks.Begin(slots, "Initializing values");
    for (int slot = 1; slot <= slots; ++slot) {
        const int index = SlotParameter(da.page, slot);
        if (index < 0) continue;
        const DirectAccessParameter& p = kDirectAccessParameters[static_cast<size_t>(index)];
        LookupLimits(state, p.number, da.projectorType, da.alphaId);
        rows.push_back(SlotFill{slot, index, da.values[static_cast<size_t>(index)], da.currentMin, da.currentMax});
        hooks.Step();
    }
    hooks.End();
    return rows;
}

int ApplyDelta(ProgramState& state, int delta, int index) { return ApplyDelta(state, delta, index, ProgressHooks{}); }

int ApplyDelta(ProgramState& state, int delta, int index, const ProgressHooks& hooks) {
    if (index < 0 || index >= kDirectParameterCount) return 0;
    const DirectAccessParameter& p = kDirectAccessParameters[static_cast<size_t>(index)];
    BuildTargetList(state);
    DirectAccessState& da = state.direct;
    // With a group chosen a member that does not answer is told once and left as it is:
    // a step computed from a value never read could throw its picture far off.
    const bool group = da.selection.kind != SelectionKind::Default;
    da.lastRun.clear();
    if (group) da.lastRun = PlanGroupMembers(state.projectors, state.link.currentAddress, state.groups, da.selection, false);
    const std::vector<TargetEntry> targets = da.targets;
    if (group) hooks.Begin(static_cast<int>(targets.size()), "");
    int shown = 0;
    bool shownCurrent = false, shownAny = false;
    for (const TargetEntry& t : targets) {
        MemberOutcome* outcome = FindMember(da.lastRun, t.address);
        if (group) {
            hooks.Text(MemberProgressText(t.address));
            hooks.Step();
        }
        if (t.standby) continue;
        if (IsAudioCode(p.code)) {
            const ProjectorRecord* r = FindConnectedRecord(state, t.address);
            if (!r || !r->soundAvailable) {
                if (outcome) outcome->skipped = MemberSkip::NoSound;
                continue;
            }
        }
        uint32_t read = 0;
        const int got = ReadParameter(state.link, t.address, p.code, 0, &read);
        if (group && got != 3) {
            ReportCommError(state.env, state.link, got);
            NoteMemberResult(da.lastRun, t.address, got);
            continue;
        }
        const int v = static_cast<int>(read & 0xFF);
        LookupLimits(state, p.number, t.projectorType, t.alphaId);
        int d = delta;
        if (v + d > da.currentMax) d = da.currentMax - v;
        if (v + d < da.currentMin) d = da.currentMin - v;
        // The step travels as one signed byte: a larger one would turn round.
        d = std::clamp(d, -128, 127);
        if (t.address == state.link.currentAddress) {
            shown = v + d;
            shownCurrent = true;
        } else if (group && !shownCurrent && !shownAny) {
            // A group without the current projector shows its first member's value.
            shown = v + d;
        }
        shownAny = true;
        NoteMemberResult(da.lastRun, t.address, 3);
        if (d != 0) {
            const int sent = WriteParameter(state.link, t.address, p.code, 0, static_cast<uint8_t>(static_cast<int8_t>(d)));
            if (group) {
                ReportCommError(state.env, state.link, sent);
                NoteMemberResult(da.lastRun, t.address, sent);
            }
        }
    }
    if (group) hooks.End();
    return shown;
}

std::string MemberProgressText(uint8_t address) { return "Projector [" + std::to_string(address) + "] ..."; }

bool AdjustSlot(ProgramState& state, int slot, int delta, int* shown) {
    return AdjustSlot(state, slot, delta, shown, ProgressHooks{});
}

bool AdjustSlot(ProgramState& state, int slot, int delta, int* shown, const ProgressHooks& hooks) {
    const int index = SlotParameter(state.direct.page, slot);
    if (index < 0) return false;
    const int value = ApplyDelta(state, delta, index, hooks);
    if (shown) *shown = value;
    return true;
}

void SelectStep(ProgramState& state, int position) { state.direct.step = std::clamp(position + 1, 1, kMaxStep); }

}  // namespace ombrix
