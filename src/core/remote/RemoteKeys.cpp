#include "remote/RemoteKeys.h"

#include <algorithm>

#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {

namespace {
using K = RemoteKeyKind;
}  // namespace

const RemoteKey kRemoteKeys[kRemoteKeyCount] = {
    {1044, 100, 49, 130, 22, K::Strip, 0x00, 0, "Light", "Light"},
    {1010, 100, 82, 26, 22, K::Single, 0x09, 400, "Exit", "Exit"},
    {1011, 152, 82, 26, 22, K::Single, 0x21, 150, "Up", "Up"},
    {1012, 204, 82, 26, 22, K::Single, 0x08, 400, "Enter", "Ent"},
    {1013, 100, 117, 26, 22, K::AddressKey, 0x00, 120, "Address", "Adr"},
    {1014, 127, 98, 26, 22, K::Single, 0x24, 150, "Left", "<"},
    {1015, 177, 98, 26, 22, K::Single, 0x23, 150, "Right", ">"},
    {1016, 152, 117, 26, 22, K::Single, 0x22, 150, "Down", "Dn"},
    {1017, 204, 117, 26, 22, K::Single, 0x07, 120, "Help", "?"},
    {1043, 204, 152, 26, 22, K::Single, 0x1B, 200, "Normal", "Nrm"},
    {1040, 100, 152, 26, 22, K::Power, 0x0E, 120, "Power", "Pwr"},
    {1042, 136, 152, 26, 22, K::Pause, 0x0F, 120, "Pause", "||"},
    {1041, 172, 152, 26, 22, K::Text, 0x0D, 120, "Text", "Txt"},
    {1023, 136, 204, 26, 22, K::Digit, 0x10, 300, "0", "0"},
    {1022, 100, 344, 26, 22, K::Digit, 0x11, 300, "1", "1"},
    {1027, 136, 344, 26, 22, K::Digit, 0x12, 300, "2", "2"},
    {1021, 100, 309, 26, 22, K::Digit, 0x13, 300, "3", "3"},
    {1026, 136, 309, 26, 22, K::Digit, 0x14, 300, "4", "4"},
    {1020, 100, 274, 26, 22, K::Digit, 0x15, 300, "5", "5"},
    {1025, 136, 274, 26, 22, K::Digit, 0x16, 300, "6", "6"},
    {1019, 100, 239, 26, 22, K::Digit, 0x17, 300, "7", "7"},
    {1024, 136, 239, 26, 22, K::Digit, 0x18, 300, "8", "8"},
    {1018, 100, 204, 26, 22, K::Digit, 0x19, 300, "9", "9"},
    {1028, 172, 204, 31, 22, K::Repeating, 0x37, 0, "Brightness -", "B-"},
    {1029, 203, 204, 31, 22, K::Repeating, 0x36, 0, "Brightness +", "B+"},
    {1030, 172, 239, 31, 22, K::Repeating, 0x2F, 0, "Contrast -", "C-"},
    {1031, 203, 239, 31, 22, K::Repeating, 0x2E, 0, "Contrast +", "C+"},
    {1032, 172, 274, 31, 22, K::Repeating, 0x2D, 0, "Colour -", "Co-"},
    {1033, 203, 274, 31, 22, K::Repeating, 0x2C, 0, "Colour +", "Co+"},
    {1034, 172, 309, 31, 22, K::Repeating, 0x2B, 0, "Tint -", "T-"},
    {1036, 203, 309, 31, 22, K::Repeating, 0x2A, 0, "Tint +", "T+"},
    {1035, 172, 344, 31, 22, K::Repeating, 0x29, 0, "Sharpness -", "S-"},
    {1037, 203, 344, 31, 22, K::Repeating, 0x28, 0, "Sharpness +", "S+"},
    {1009, 100, 375, 31, 22, K::Repeating, 0x3D, 0, "Volume -", "V-"},
    {1065, 131, 375, 31, 22, K::Repeating, 0x3C, 0, "Volume +", "V+"},
    {1066, 100, 405, 31, 22, K::Repeating, 0x3B, 0, "Balance -", "Ba-"},
    {1067, 131, 405, 31, 22, K::Repeating, 0x3A, 0, "Balance +", "Ba+"},
    {1068, 172, 375, 31, 22, K::Repeating, 0x3F, 0, "Bass -", "Bs-"},
    {1069, 203, 375, 31, 22, K::Repeating, 0x3E, 0, "Bass +", "Bs+"},
    {1070, 172, 405, 31, 22, K::Repeating, 0x39, 0, "Function left", "Fn"},
    {1071, 203, 405, 31, 22, K::Repeating, 0x39, 0, "Function right", "Fn"},
};

const int kRemotePairs[kRemotePairCount][2] = {
    {1028, 1029}, {1030, 1031}, {1032, 1033}, {1034, 1036}, {1035, 1037},
    {1009, 1065}, {1068, 1069}, {1066, 1067}, {1070, 1071},
};

const RemoteKey* FindRemoteKey(int control) {
    for (const RemoteKey& k : kRemoteKeys)
        if (k.control == control) return &k;
    return nullptr;
}

int RemotePairOf(int control) {
    for (int i = 0; i < kRemotePairCount; ++i)
        if (kRemotePairs[i][0] == control || kRemotePairs[i][1] == control) return i;
    return -1;
}

int AddRemoteWindow(RemoteWindowTable& table, const Env& env, uint8_t address) {
    if (table.count >= kMaxRemoteWindows) {
        ShowWarning(env, 44);
        return 0;
    }
    RemoteWindowEntry& e = table.entries[table.count++];
    e = RemoteWindowEntry{};
    e.id = ++table.lastId;
    e.address = address;
    e.remoteAddress = address;
    return e.id;
}

int RemoteWindowIndex(const RemoteWindowTable& table, int id) {
    for (int i = 0; i < table.count; ++i)
        if (table.entries[i].id == id) return i;
    return -1;
}

RemoteWindowEntry* FindRemoteWindow(RemoteWindowTable& table, int id) {
    const int i = RemoteWindowIndex(table, id);
    return i < 0 ? nullptr : &table.entries[i];
}

bool RemoveRemoteWindow(RemoteWindowTable& table, int id) {
    const int i = RemoteWindowIndex(table, id);
    if (i < 0) return false;
    for (int j = i; j + 1 < table.count; ++j) table.entries[j] = table.entries[j + 1];
    table.entries[--table.count] = RemoteWindowEntry{};
    return true;
}

std::string RemoteTitle(uint8_t address) { return "Remote Control [" + std::to_string(address) + "]"; }

std::string RemoteWindowTitle(const RemoteWindowEntry& window) {
    return window.group.empty() ? RemoteTitle(window.address) : "Remote Control [" + window.group + "]";
}

void AimRemoteAtGroup(RemoteWindowEntry& window, const UserGroup& group) {
    window.group = group.name;
    window.groupMembers = group.members;
    window.addressEntry = false;
    window.remoteAddress = window.address;
}

const char* RemoteConnectionText(bool lineOpen) { return lineOpen ? "Connected" : "Not Connected"; }

std::vector<int> RemoteWindowsToClose(const RemoteWindowTable& table, int activeId, int choice) {
    std::vector<int> ids;
    if (choice == kCloseActiveWindow && RemoteWindowIndex(table, activeId) >= 0) ids.push_back(activeId);
    if (choice == kCloseAllWindows)
        for (int i = 0; i < table.count; ++i) ids.push_back(table.entries[i].id);
    return ids;
}

KeyPress BeginKeyPress(RemoteWindowEntry& window, const ProjectorTable& table, int control) {
    KeyPress press;
    press.key = FindRemoteKey(control);
    if (!press.key) return press;
    press.address = window.remoteAddress;
    for (int i = 0; i < table.connectedCount; ++i) press.connected.push_back(table.records[static_cast<size_t>(i)].address);
    if (!window.group.empty() && press.key->kind != RemoteKeyKind::AddressKey &&
        press.key->kind != RemoteKeyKind::Strip) {
        // A group: its members in member order, as address 0 takes the table; those off
        // the line, and those in standby unless the key wakes them (power, the digits of
        // a source, as direct access sends them), are left out and said.
        Grouping one;
        one.groups.push_back(UserGroup{window.group, window.groupMembers, {}});
        press.members = PlanGroupMembers(table, 0, one, ProjectorSelection{SelectionKind::Group, window.group},
                                         press.key->kind == RemoteKeyKind::Power ||
                                             press.key->kind == RemoteKeyKind::Digit);
        std::vector<uint8_t> members;
        for (const MemberOutcome& m : press.members)
            if (m.skipped == MemberSkip::None) members.push_back(m.address);
        press.group = true;
        press.address = 0;
        press.connected = members;
        if (press.key->kind == RemoteKeyKind::Power || press.key->kind == RemoteKeyKind::Pause ||
            press.key->kind == RemoteKeyKind::Text) {
            for (uint8_t a : members) {
                for (int i = 0; i < table.connectedCount; ++i) {
                    if (table.records[static_cast<size_t>(i)].address == a) press.records.push_back(table.records[static_cast<size_t>(i)]);
                }
            }
            press.inTable = true;
        }
        // No member connected: nothing is sent (address 0 would reach every projector).
        press.sends = !members.empty();
        return press;
    }

    switch (press.key->kind) {
        case RemoteKeyKind::Strip:
            window.illuminated = !window.illuminated;
            return press;
        case RemoteKeyKind::AddressKey:
            window.addressEntry = true;
            window.remoteAddress = 0;
            window.group.clear();
            window.groupMembers.clear();
            return press;
        case RemoteKeyKind::Digit:
            if (window.addressEntry) {
                const int typed = window.remoteAddress * 10 + (press.key->code - 0x10);
                if (typed < 256) {
                    window.remoteAddress = static_cast<uint8_t>(typed);
                    window.address = window.remoteAddress;
                }
            } else {
                press.sends = true;
            }
            return press;
        case RemoteKeyKind::Power:
        case RemoteKeyKind::Pause:
        case RemoteKeyKind::Text:
            for (int i = 0; i < table.connectedCount; ++i) {
                const ProjectorRecord& r = table.records[static_cast<size_t>(i)];
                if (press.address == 0 || r.address == press.address) press.records.push_back(r);
            }
            press.inTable = press.address == 0 || !press.records.empty();
            break;
        case RemoteKeyKind::Single:
        case RemoteKeyKind::Repeating:
            break;
    }
    // Any key but a digit ends the address entry; keys go to the window's target again.
    press.sends = true;
    window.addressEntry = false;
    window.remoteAddress = window.address;
    return press;
}

int SendKey(Link& link, uint8_t address, uint8_t code, const std::vector<uint8_t>& connected) {
    if (address != 0) {
        const int r = KeyCommand(link, address, code);
        link.clock.WaitMs(kSendPauseMs);
        return r;
    }
    // Nothing connected still paces the caller, so a held key cannot spin.
    if (connected.empty()) link.clock.WaitMs(kSendPauseMs);
    int r = kDone;
    for (uint8_t a : connected) {
        r = KeyCommand(link, a, code);
        link.clock.WaitMs(kSendPauseMs);
        if (r != kDone) break;
    }
    return r;
}

namespace {

void WakeUpProgress(const Env& env, Clock& clock, uint8_t address) {
    if (!env.ui) return;
    env.ui->ProgressOpen("Update connected projectors", "", kWakeUpSeconds);
    env.ui->ProgressLine(1, "Updating data projector [" + std::to_string(address) + "]");
    // Cancel only cuts the wait short; the status is read all the same.
    for (int s = 0; s < kWakeUpSeconds && !env.ui->ProgressCancelled(); ++s) {
        clock.WaitMs(1000);
        env.ui->ProgressStep();
    }
    env.ui->ProgressClose();
}

// A projector that came out of standby without a known type: who it is.
void ReadWokenIdentity(Link& link, const Env& env, ProjectorRecord& record) {
    std::string letter, version, idText;
    uint32_t typeCode = 0;
    int r = ReadIdentity(link, record.address, &letter, &version, &typeCode);
    if (r != kDone) {
        ReportCommError(env, link, r);
        return;
    }
    record.alphaId = letter.empty() ? 0 : letter[0];
    if (!IsKnownAlphaId(record.alphaId)) ShowError(env, 49);
    record.softwareVersion = VersionNumber(version);
    record.projectorType = static_cast<int32_t>(typeCode);
    r = ReadIdNumber(link, record.address, &idText);
    if (r != kDone) {
        ReportCommError(env, link, r);
        return;
    }
    record.idNumber = IdNumberValue(idText);
}

void RunStateKey(Link& link, const Env& env, KeyPress& press) {
    const RemoteKeyKind kind = press.key->kind;
    const uint8_t code = press.key->code;
    if (!press.inTable) {
        press.result = KeyCommand(link, press.address, code);
        ReportCommError(env, link, press.result);
        link.clock.WaitMs(kSendPauseMs);
        return;
    }
    for (ProjectorRecord& rec : press.records) {
        press.result = KeyCommand(link, rec.address, code);
        ReportCommError(env, link, press.result);
        NoteMemberResult(press.members, rec.address, press.result);
        if (press.result == kDone) {
            if (kind == RemoteKeyKind::Power && rec.standby) WakeUpProgress(env, link.clock, rec.address);
            uint32_t optionsValid = 0;
            const int r = ReadStatus(link, rec.address, &press.flags, &optionsValid);
            if (r == kDone) {
                press.statusRead = true;
                rec.standby = press.flags.standby;
                rec.operating = press.flags.operating;
                rec.pause = press.flags.pause;
                rec.textOn = press.flags.textOn;
                if (kind == RemoteKeyKind::Power && !rec.standby && rec.projectorType == -1)
                    ReadWokenIdentity(link, env, rec);
                // Gone into standby since the table last said: the key was heard, not done.
                if (kind != RemoteKeyKind::Power && rec.standby) {
                    if (MemberOutcome* m = FindMember(press.members, rec.address)) {
                        m->done = false;
                        m->detail = SkipText(MemberSkip::Standby);
                    }
                }
            } else {
                ReportCommError(env, link, r);
            }
            if (kind != RemoteKeyKind::Text) press.treeChanged = true;
        }
        link.clock.WaitMs(kSendPauseMs);
    }
}

}  // namespace

void RunKeyPress(Link& link, const Env& env, KeyPress& press) {
    if (!press.key) return;
    const RemoteKey& key = *press.key;
    if (press.sends && press.group && key.kind != RemoteKeyKind::Power && key.kind != RemoteKeyKind::Pause &&
        key.kind != RemoteKeyKind::Text) {
        // Each member is told apart: one that fails is said and the others still get the key.
        for (uint8_t a : press.connected) {
            const int r = KeyCommand(link, a, key.code);
            ReportCommError(env, link, r);
            NoteMemberResult(press.members, a, r);
            if (r != kDone) press.result = r;
            link.clock.WaitMs(kSendPauseMs);
        }
        if (key.pauseMs > 0) link.clock.WaitMs(static_cast<uint32_t>(key.pauseMs));
        return;
    }
    if (press.sends) {
        switch (key.kind) {
            case RemoteKeyKind::Single:
                press.result = SendKey(link, press.address, key.code, press.connected);
                ReportCommError(env, link, press.result);
                break;
            case RemoteKeyKind::Digit:
                if (press.group) {
                    press.result = SendKey(link, 0, key.code, press.connected);
                    ReportCommError(env, link, press.result);
                    break;
                }
                // Once, to the address itself: address 0 reaches every projector at once.
                press.result = KeyCommand(link, press.address, key.code);
                ReportCommError(env, link, press.result);
                break;
            case RemoteKeyKind::Power:
            case RemoteKeyKind::Pause:
            case RemoteKeyKind::Text:
                RunStateKey(link, env, press);
                return;
            case RemoteKeyKind::Repeating:
                press.result = SendKey(link, press.address, key.code, press.connected);
                ReportCommError(env, link, press.result);
                return;
            case RemoteKeyKind::Strip:
            case RemoteKeyKind::AddressKey:
                break;
        }
    }
    if (key.pauseMs > 0) link.clock.WaitMs(static_cast<uint32_t>(key.pauseMs));
}

bool FinishKeyPress(ProjectorTable& table, StatusFlags& statusFlags, const KeyPress& press) {
    if (press.statusRead) statusFlags = press.flags;
    bool changed = false;
    for (const ProjectorRecord& fresh : press.records) {
        for (int i = 0; i < table.connectedCount; ++i) {
            ProjectorRecord& rec = table.records[static_cast<size_t>(i)];
            if (rec.address != fresh.address) continue;
            changed = changed || rec.standby != fresh.standby || rec.operating != fresh.operating ||
                      rec.pause != fresh.pause || rec.textOn != fresh.textOn ||
                      rec.projectorType != fresh.projectorType;
            rec.standby = fresh.standby;
            rec.operating = fresh.operating;
            rec.pause = fresh.pause;
            rec.textOn = fresh.textOn;
            rec.alphaId = fresh.alphaId;
            rec.softwareVersion = fresh.softwareVersion;
            rec.projectorType = fresh.projectorType;
            rec.idNumber = fresh.idNumber;
            break;
        }
    }
    return press.treeChanged || changed;
}

bool PressRemoteKey(ProgramState& state, RemoteWindowEntry& window, int control) {
    KeyPress press = BeginKeyPress(window, state.projectors, control);
    RunKeyPress(state.link, state.env, press);
    return FinishKeyPress(state.projectors, state.statusFlags, press);
}

namespace {

// The last held key kept the check off the line; the line is free again.
void ReleaseHeldLine(Link& link) {
    link.lock.AcquireForeground();
    link.lock.ReleaseForeground(false);
}

}  // namespace

int RunRepeatLoop(Link& link, const Env& env, const KeyPress& press, const std::atomic<bool>& buttonDown) {
    if (!press.key || press.key->kind != RemoteKeyKind::Repeating) return 0;
    link.clock.WaitMs(kRepeatDelayMs);
    link.repeatActive = true;
    int sends = 0;
    int r = kDone;
    // Sent once even when the button came up during the delay; then only while it is down.
    do {
        r = SendKey(link, press.address, press.key->code, press.connected);
        ++sends;
    } while (r == kDone && buttonDown.load());
    link.repeatActive = false;
    ReleaseHeldLine(link);
    ReportCommError(env, link, r);
    return sends;
}

}  // namespace ombrix
