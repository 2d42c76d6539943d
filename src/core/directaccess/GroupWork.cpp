#include "directaccess/GroupWork.h"

#include <algorithm>

#include "directaccess/Force.h"
#include "link/Frame.h"
#include "projector/Projector.h"

namespace ombrix {

bool SelectSourceOnTargets(ProgramState& state, int inputSlot, const ProgressHooks& hooks) {
    DirectAccessState& da = state.direct;
    da.lastRun.clear();
    if (da.selection.kind == SelectionKind::Default) return SelectSource(state, state.link.currentAddress, inputSlot, hooks);
    BuildTargetList(state);
    // The digits wake a member in standby.
    da.lastRun = PlanGroupMembers(state.projectors, state.link.currentAddress, state.groups, da.selection, true);
    const std::vector<MemberOutcome> plan = da.lastRun;
    bool any = false;
    for (const MemberOutcome& m : plan) {
        if (m.skipped != MemberSkip::None) continue;
        hooks.Text(MemberProgressText(m.address));
        // A member that does not answer is reported there and sent nothing; the others go on.
        const bool done = SelectSource(state, m.address, inputSlot, hooks);
        NoteMemberResult(da.lastRun, m.address, done ? 3 : 0);
        any = any || done;
    }
    hooks.Text("");
    return any;
}

std::string MatchLineText(const MatchLine& l, uint8_t referenceAddress) {
    const std::string who = "Projector [" + std::to_string(l.address) + "] : ";
    if (l.failed) return who + "no answer";
    const char* name = kDirectAccessParameters[static_cast<size_t>(std::clamp(l.index, 0, kDirectParameterCount - 1))].name;
    std::string text = who + name + " " + std::to_string(l.before) + " -> " + std::to_string(l.reached);
    if (l.limited) {
        text += std::string(" (its ") + (l.limit < l.reference ? "maximum " : "minimum ") + std::to_string(l.limit) +
                "; Projector [" + std::to_string(referenceAddress) + "] is at " + std::to_string(l.reference) + ")";
    }
    return text;
}

std::vector<MatchLine> MatchToReference(ProgramState& state, int page, int index, uint8_t referenceAddress,
                                        const ProgressHooks& hooks) {
    std::vector<MatchLine> out;
    BuildTargetList(state);
    const std::vector<TargetEntry> targets = state.direct.targets;
    state.direct.lastRun =
        PlanGroupMembers(state.projectors, state.link.currentAddress, state.groups, state.direct.selection, false);
    const auto ref = std::find_if(targets.begin(), targets.end(),
                                  [&](const TargetEntry& t) { return t.address == referenceAddress; });
    if (ref == targets.end() || ref->standby) {
        for (MemberOutcome& m : state.direct.lastRun)
            if (m.skipped == MemberSkip::None) m.detail = "the reference cannot be read";
        return out;
    }
    std::vector<int> indexes;
    if (index >= 0 && index < kDirectParameterCount) {
        indexes.push_back(index);
    } else {
        for (int i = PageFirstIndex(page); i < PageFirstIndex(page) + PageParameterCount(page); ++i) indexes.push_back(i);
    }
    auto hasSound = [&](uint8_t address) {
        const ProjectorRecord* r = FindConnectedRecord(state, address);
        return r && r->soundAvailable;
    };
    std::vector<uint8_t> silent;  // members told once already
    hooks.Begin(static_cast<int>(indexes.size() * targets.size()), "");
    for (int i : indexes) {
        const DirectAccessParameter& p = kDirectAccessParameters[static_cast<size_t>(i)];
        const bool audio = IsAudioCode(p.code);
        uint32_t read = 0;
        hooks.Text(MemberProgressText(referenceAddress));
        if (audio && !hasSound(referenceAddress)) continue;
        const int got = ReadParameter(state.link, referenceAddress, p.code, 0, &read);
        if (got != 3) {
            if (std::find(silent.begin(), silent.end(), referenceAddress) == silent.end()) {
                ReportCommError(state.env, state.link, got);
                silent.push_back(referenceAddress);
            }
            continue;
        }
        const int reference = static_cast<int>(read & 0xFF);
        for (const TargetEntry& t : targets) {
            hooks.Step();
            if (t.address == referenceAddress || t.standby || (audio && !hasSound(t.address))) continue;
            hooks.Text(MemberProgressText(t.address));
            MatchLine line;
            line.address = t.address;
            line.index = i;
            line.reference = reference;
            const bool told = std::find(silent.begin(), silent.end(), t.address) != silent.end();
            uint32_t value = 0;
            const int r = told ? 0 : ReadParameter(state.link, t.address, p.code, 0, &value);
            if (r != 3) {
                if (!told) ReportCommError(state.env, state.link, r);
                silent.push_back(t.address);
                line.failed = true;
                out.push_back(line);
                continue;
            }
            line.before = static_cast<int>(value & 0xFF);
            LookupLimits(state, p.number, t.projectorType, t.alphaId);
            const int32_t lo = state.direct.currentMin, hi = state.direct.currentMax;
            // The same order of clamping as a press: the maximum first, then the minimum.
            int goal = reference;
            if (goal > hi) goal = hi;
            if (goal < lo) goal = lo;
            if (goal != reference) {
                line.limited = true;
                line.limit = goal;
            }
            int left = goal - line.before;
            bool sent = true;
            while (left != 0 && sent) {
                const int step = std::clamp(left, -128, 127);
                const int w = WriteParameter(state.link, t.address, p.code, 0, static_cast<uint8_t>(static_cast<int8_t>(step)));
                if (w != 3) {
                    ReportCommError(state.env, state.link, w);
                    silent.push_back(t.address);
                    sent = false;
                    line.failed = true;
                    break;
                }
                left -= step;
            }
            line.reached = goal - left;
            out.push_back(line);
        }
    }
    // Each member as the summary tells it: reached when it got its values, no answer when
    // it (or the reference) fell silent, without sound when only audio was asked.
    const bool referenceSilent = std::find(silent.begin(), silent.end(), referenceAddress) != silent.end();
    for (MemberOutcome& m : state.direct.lastRun) {
        if (m.skipped != MemberSkip::None) continue;
        const bool reached = std::any_of(out.begin(), out.end(), [&](const MatchLine& l) { return l.address == m.address; });
        const bool failed = std::find(silent.begin(), silent.end(), m.address) != silent.end();
        if (!failed && !reached && m.address != referenceAddress && !hasSound(m.address) &&
            std::all_of(indexes.begin(), indexes.end(),
                        [](int i) { return IsAudioCode(kDirectAccessParameters[static_cast<size_t>(i)].code); })) {
            m.skipped = MemberSkip::NoSound;
            continue;
        }
        m.done = !failed && !referenceSilent;
        if (!m.done) m.detail = failed ? "no answer" : "the reference did not answer";
    }
    hooks.End();
    return out;
}

}  // namespace ombrix
