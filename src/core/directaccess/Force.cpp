#include "directaccess/Force.h"

#include <algorithm>

#include "app/ProgramStrings.h"
#include "directaccess/GroupWork.h"
#include "directaccess/Sources.h"
#include "link/Frame.h"
#include "projector/Messages.h"
#include "projector/Projector.h"

namespace ombrix {
namespace {

void StoreForceFlags(const StatusFlags& f, ProjectorRecord* r) {
    if (!r) return;
    r->standby = f.standby;
    r->pause = f.pause;
    r->textOn = f.textOn;
}

// The record's three flags from a fresh status; false when the projector did not answer,
// which is reported when asked for, and the record stays as it was.
bool ReadForceFlags(ProgramState& state, uint8_t address, ProjectorRecord* r, bool report, int* failed = nullptr) {
    StatusFlags f;
    uint32_t valid = 0;
    const int result = ReadStatus(state.link, address, &f, &valid);
    if (result != 3) {
        if (failed) *failed = result;
        if (report) ReportCommError(state.env, state.link, result);
        return false;
    }
    StoreForceFlags(f, r);
    return true;
}

void WaitForWakeUp(ProgramState& state, uint8_t address, const ProgressHooks& hooks) {
    hooks.Begin(kForceWakeUpSeconds, "Updating data projector [" + std::to_string(address) + "]");
    for (int i = 0; i < kForceWakeUpSeconds; ++i) {
        state.link.clock.WaitMs(1000);
        hooks.Step();
    }
    hooks.End();
}

// A projector out of standby is operating; one of unknown type is identified first.
void AfterPowerChange(ProgramState& state, uint8_t address, ProjectorRecord* r, const ProgressHooks& hooks) {
    if (!r) return;
    if (r->standby) {
        r->operating = 0;
    } else {
        r->operating = 1;
        if (r->projectorType == -1) {
            std::string letter, version, id;
            uint32_t type = 0;
            if (ReadIdentity(state.link, address, &letter, &version, &type) == 3) {
                r->alphaId = letter.empty() ? 0 : letter[0];
                if (!IsKnownAlphaId(r->alphaId)) ShowError(state.env, 49);
                r->softwareVersion = VersionNumber(version);
                r->projectorType = static_cast<int32_t>(type);
                if (ReadIdNumber(state.link, address, &id) == 3) r->idNumber = IdNumberValue(id);
            }
        }
    }
    hooks.Changed(address);
}

uint8_t& ForceFlag(DirectAccessState& da, int which) {
    return which == kForcePause ? da.forcePause : which == kForceText ? da.forceText : da.forcePower;
}

}  // namespace

std::string ForceCaption(uint8_t address) { return "Force : status address " + std::to_string(address); }

int RefreshForceStatus(ProgramState& state) {
    StatusFlags f;
    uint32_t valid = 0;
    const int r = ReadStatus(state.link, state.link.currentAddress, &f, &valid);
    if (r != 3) {
        ReportCommError(state.env, state.link, r);
        return r;
    }
    state.direct.forcePower = f.standby;
    state.direct.forcePause = f.pause;
    state.direct.forceText = f.textOn;
    return r;
}

std::string ForceStatusText(const DirectAccessState& da, int which) {
    // Power reads "On" while the projector is out of standby.
    const bool on = which == kForcePower ? !da.forcePower : which == kForcePause ? da.forcePause != 0 : da.forceText != 0;
    return on ? "On" : "Off";
}

void ToggleForce(ProgramState& state, int which, const ProgressHooks& hooks) {
    // The flag itself follows the projector's answer only, so a refresh that fails shows
    // the state that was, not the one asked for.
    const uint8_t desired = ForceFlag(state.direct, which) ? 0 : 1;
    ApplyForce(state, which, desired, hooks);
}

void ApplyForce(ProgramState& state, int which, uint8_t desired, const ProgressHooks& hooks) {
    BuildTargetList(state);
    DirectAccessState& da = state.direct;
    const bool group = da.selection.kind != SelectionKind::Default;
    da.lastRun.clear();
    if (!group) {
        for (const TargetEntry& t : da.targets) ForceOne(state, t.address, which, desired, hooks);
        RefreshForceStatus(state);
        return;
    }
    // Power reaches a member in standby (it is what wakes it); pause and text do not.
    da.lastRun = PlanGroupMembers(state.projectors, state.link.currentAddress, state.groups, da.selection,
                                  which == kForcePower);
    const std::vector<MemberOutcome> plan = da.lastRun;
    for (const MemberOutcome& m : plan) {
        if (m.skipped != MemberSkip::None) continue;
        hooks.Text(MemberProgressText(m.address));
        const int done = ForceOne(state, m.address, which, desired, hooks);
        const ProjectorRecord* r = FindConnectedRecord(state, m.address);
        const uint8_t now = !r ? 0 : which == kForcePause ? r->pause : which == kForceText ? r->textOn : r->standby;
        MemberOutcome* out = FindMember(da.lastRun, m.address);
        if (!out) continue;
        out->done = done >= 0 && r && (now != 0) == (desired != 0);
        out->detail = done < 0 ? "no answer" : out->done ? "" : "did not change";
    }
    hooks.Text("");
    RefreshForceStatus(state);
}

int ForceOne(ProgramState& state, uint8_t address, int which, uint8_t desired, const ProgressHooks& hooks) {
    ProjectorRecord* r = FindConnectedRecord(state, address);
    if (!r || !ReadForceFlags(state, address, r, false)) return -1;
    const uint8_t current = which == kForcePause ? r->pause : which == kForceText ? r->textOn : r->standby;
    if ((current != 0) == (desired != 0)) return 0;
    const uint8_t key = which == kForcePause ? kKeyPause : which == kForceText ? kKeyText : kKeyPower;
    const int sent = KeyCommand(state.link, address, key);
    state.link.clock.WaitMs(kForceKeySettleMs);
    ReportCommError(state.env, state.link, sent);
    if (r->standby) WaitForWakeUp(state, address, hooks);
    // The key was sent; a status that then fails is reported and the record keeps what it
    // last knew, rather than showing the state that was asked for.
    if (!ReadForceFlags(state, address, r, true)) return 1;
    if (which == kForcePower) {
        AfterPowerChange(state, address, r, hooks);
    } else if (which == kForcePause) {
        r->operating = r->pause ? 0 : 1;
        hooks.Changed(address);
    }
    return 1;
}

std::vector<uint8_t> SourceDigitKeys(int inputSlot) {
    if (inputSlot < 0) return {};
    if (inputSlot < 10) return {static_cast<uint8_t>(0x10 + inputSlot)};
    return {static_cast<uint8_t>(0x10 + (inputSlot / 10) % 10), static_cast<uint8_t>(0x10 + inputSlot % 10)};
}

bool SelectSource(ProgramState& state, uint8_t address, int inputSlot, const ProgressHooks& hooks, int* result) {
    int ignored = 3;
    int& failed = result ? *result : ignored;
    failed = 3;
    ProjectorRecord* r = FindConnectedRecord(state, address);
    // A projector that does not answer is not sent digits it would not hear either.
    if (r && !ReadForceFlags(state, address, r, true, &failed)) return false;
    const std::vector<uint8_t> keys = SourceDigitKeys(inputSlot);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) state.link.clock.WaitMs(kDigitGapMs);
        const int sent = KeyCommand(state.link, address, keys[i]);
        if (sent != 3) {
            // The units digit alone would choose another input.
            ReportCommError(state.env, state.link, sent);
            failed = sent;
            return false;
        }
    }
    if (r && r->standby) WaitForWakeUp(state, address, hooks);
    if (r && !ReadForceFlags(state, address, r, true, &failed)) return false;
    if (r) AfterPowerChange(state, address, r, hooks);
    return true;
}

bool ChooseSource(ProgramState& state, int index, const ProgressHooks& hooks) {
    if (index < 0 || index >= static_cast<int>(state.options.sources.size())) return false;
    const int slot = state.options.sources[static_cast<size_t>(index)].inputSlot;
    if (slot == 0 || !SelectSourceOnTargets(state, slot, hooks)) return false;
    MakeSourceActive(state, index);
    return true;
}

std::string SourceTypeText(int typeIndex) {
    if (typeIndex < 0 || typeIndex >= kSourceTypeCount) return {};
    const char* text = ProgramString(kSourceTypeStringBase + typeIndex);
    // The list reads each text into a 15-character buffer.
    return text ? std::string(text).substr(0, 14) : std::string();
}

uint8_t ForceBlockTypeCode(int typeIndex) {
    return static_cast<uint8_t>(0x80 + 16 * std::clamp(typeIndex, 0, kSourceTypeCount - 1));
}

void SendForceBlock(ProgramState& state) {
    BuildTargetList(state);
    DirectAccessState& da = state.direct;
    const auto number = static_cast<uint8_t>(std::clamp(da.sourceNumberIndex, 0, kSourceNumberCount - 1) + 1);
    const uint8_t type = ForceBlockTypeCode(da.sourceTypeIndex);
    da.lastRun.clear();
    if (da.selection.kind == SelectionKind::Default) {
        for (const TargetEntry& t : da.targets)
            ReportCommError(state.env, state.link, ForceBlock(state.link, t.address, number, type));
        return;
    }
    da.lastRun = PlanGroupMembers(state.projectors, state.link.currentAddress, state.groups, da.selection, false);
    const std::vector<MemberOutcome> plan = da.lastRun;
    for (const MemberOutcome& m : plan) {
        if (m.skipped != MemberSkip::None) continue;
        const int r = ForceBlock(state.link, m.address, number, type);
        ReportCommError(state.env, state.link, r);
        NoteMemberResult(da.lastRun, m.address, r);
    }
}

}  // namespace ombrix
