#include "directaccess/Sources.h"

#include <algorithm>

namespace ombrix {
namespace {

bool ValidIndex(const ProgramOptions& o, int index) {
    return index >= 0 && index < static_cast<int>(o.sources.size());
}

}  // namespace

std::vector<int> FreeInputSlots(const ProgramOptions& options) {
    std::vector<bool> used(kMaxInputSlot + 1, false);
    for (const SourceEntry& e : options.sources) {
        if (e.inputSlot >= 1 && e.inputSlot <= kMaxInputSlot) used[static_cast<size_t>(e.inputSlot)] = true;
    }
    std::vector<int> free;
    for (int slot = 1; slot <= kMaxInputSlot; ++slot) {
        if (!used[static_cast<size_t>(slot)]) free.push_back(slot);
    }
    return free;
}

std::string ComposeSourceName(const std::string& text, int inputSlot) {
    const std::string suffix = " [" + std::to_string(inputSlot) + "]";
    // The slot number is what tells two sources apart, so the typed text gives way.
    const size_t room = kSourceNameSize - 1 - suffix.size();
    return text.substr(0, std::min(text.size(), room)) + suffix;
}

bool InsertSource(ProgramState& state, const std::string& text, int inputSlot) {
    ProgramOptions& o = state.options;
    const std::vector<int> free = FreeInputSlots(o);
    if (static_cast<int>(o.sources.size()) >= kMaxSources ||
        std::find(free.begin(), free.end(), inputSlot) == free.end()) {
        if (state.env.ui) state.env.ui->ShowBox("Error", "Unable to add source", BoxIcon::Stop);
        return false;
    }
    SourceEntry e;
    e.inputSlot = inputSlot;
    e.SetName(ComposeSourceName(text.substr(0, std::min<size_t>(text.size(), kSourceTextLimit)), inputSlot));
    o.sources.push_back(e);
    return true;
}

bool DeleteSource(ProgramState& state, int index) {
    ProgramOptions& o = state.options;
    DirectAccessState& da = state.direct;
    if (!ValidIndex(o, index)) return false;
    if (index == da.activeSource) {
        da.activeSource = -1;
    } else if (index < da.activeSource) {
        --da.activeSource;
    }
    o.sources.erase(o.sources.begin() + index);
    if (o.sources.empty()) da.activeSource = -1;
    o.activeSource = da.activeSource;
    return true;
}

bool RenameSource(ProgramState& state, int index, const std::string& text) {
    if (text.empty() || !ValidIndex(state.options, index)) return false;
    state.options.sources[static_cast<size_t>(index)].SetName(text);
    return true;
}

int MakeSourceActive(ProgramState& state, int index) {
    if (!ValidIndex(state.options, index)) return 0;
    state.direct.activeSource = index;
    state.options.activeSource = index;
    return state.options.sources[static_cast<size_t>(index)].inputSlot;
}

std::string SourceFieldText(const ProgramState& state, const char* fallback) {
    const int a = state.direct.activeSource;
    return ValidIndex(state.options, a) ? state.options.sources[static_cast<size_t>(a)].Name() : fallback;
}

}  // namespace ombrix
