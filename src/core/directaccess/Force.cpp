#include "directaccess/Force.h"

#include <algorithm>

#include "app/ProgramStrings.h"
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

// The record's three flags from a fresh status; false when the projector did not answer.
bool ReadForceFlags(ProgramState& state, uint8_t address, ProjectorRecord* r) {
    StatusFlags f;
    uint32_t valid = 0;
    if (ReadStatus(state.link, address, &f, &valid) != 3) return false;
    StoreForceFlags(f, r);
    return true;
}

void WaitForWakeUp(ProgramState& state, uint8_t address, const ProgressHooks& hooks) {
    hooks.Begin(kWakeUpSeconds, "Updating data projector [" + std::to_string(address) + "]");
    for (int i = 0; i < kWakeUpSeconds; ++i) {
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
        ReportCommError(state.env, r);
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
    uint8_t& flag = ForceFlag(state.direct, which);
    flag = flag ? 0 : 1;
    ApplyForce(state, which, flag, hooks);
}

void ApplyForce(ProgramState& state, int which, uint8_t desired, const ProgressHooks& hooks) {
    BuildTargetList(state);
    const std::vector<TargetEntry> targets = state.direct.targets;
    for (const TargetEntry& t : targets) ForceOne(state, t.address, which, desired, hooks);
    RefreshForceStatus(state);
}

int ForceOne(ProgramState& state, uint8_t address, int which, uint8_t desired, const ProgressHooks& hooks) {
    ProjectorRecord* r = FindConnectedRecord(state, address);
    if (!r || !ReadForceFlags(state, address, r)) return -1;
    const uint8_t current = which == kForcePause ? r->pause : which == kForceText ? r->textOn : r->standby;
    if ((current != 0) == (desired != 0)) return 0;
    const uint8_t key = which == kForcePause ? kKeyPause : which == kForceText ? kKeyText : kKeyPower;
    const int sent = KeyCommand(state.link, address, key);
    state.link.clock.WaitMs(kForceKeySettleMs);
    ReportCommError(state.env, sent);
    if (r->standby) WaitForWakeUp(state, address, hooks);
    ReadForceFlags(state, address, r);
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

void SelectSource(ProgramState& state, uint8_t address, int inputSlot, const ProgressHooks& hooks) {
    ProjectorRecord* r = FindConnectedRecord(state, address);
    if (r) ReadForceFlags(state, address, r);
    const std::vector<uint8_t> keys = SourceDigitKeys(inputSlot);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) state.link.clock.WaitMs(kDigitGapMs);
        KeyCommand(state.link, address, keys[i]);
    }
    if (r && r->standby) WaitForWakeUp(state, address, hooks);
    if (r && ReadForceFlags(state, address, r)) AfterPowerChange(state, address, r, hooks);
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
    const DirectAccessState& da = state.direct;
    const auto number = static_cast<uint8_t>(std::clamp(da.sourceNumberIndex, 0, kSourceNumberCount - 1) + 1);
    const uint8_t type = ForceBlockTypeCode(da.sourceTypeIndex);
    for (const TargetEntry& t : da.targets) ReportCommError(state.env, ForceBlock(state.link, t.address, number, type));
}

}  // namespace ombrix
