#pragma once
// What direct access keeps for the whole run: the page and step of the adjustment pages,
// the View/Compare mode, the target list, the force and force-block choices, and the flag
// that keeps tab and tree changes away while an IRIS command runs.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix {

constexpr int kDirectParameterCount = 18;
constexpr int kMaxStep = 32;

struct TargetEntry {
    uint8_t address = 0;
    int32_t projectorType = -1;
    char alphaId = 0;
    uint8_t standby = 0;
};

enum class SelectionKind { Default, AllConnected, Group };

// Why a member of a group was left out of a command.
// OtherType: a block of one projector type is not written into another's.
enum class MemberSkip { None, NotConnected, Standby, NoSound, OtherType };

// What one member of a command on a group came to.
struct MemberOutcome {
    uint8_t address = 0;
    MemberSkip skipped = MemberSkip::None;
    bool done = false;
    // In words: why a member that was tried did not do it ("no answer"), or what was done.
    std::string detail;
};

// Projector Selection: the current projector, every connected projector, or one group
// (blocks/Groups.h builds the target list from it).
struct ProjectorSelection {
    SelectionKind kind = SelectionKind::Default;
    std::string group;  // the group's name when kind is Group
};

enum DirectPanel : int { kPanelGeneral = 0, kPanelSelection = 1, kPanelForceBlock = 2, kPanelIris = 3 };

struct DirectAccessState {
    // The current projector's type, noted when the target list is built.
    int32_t projectorType = -1;
    char alphaId = 0;
    int page = 1;
    int compareMode = 0;  // 0 View, 1 Compare
    int step = 1;
    int activeSource = -1;
    int panel = kPanelGeneral;
    // Read by the communication window as well as the worker that clears it.
    std::atomic<bool> irisBusy{false};
    uint8_t irisAddress = 0;  // the projector of the last IRIS start
    std::array<uint8_t, kDirectParameterCount> values{};
    int32_t currentMin = 0;
    int32_t currentMax = 127;
    std::vector<TargetEntry> targets;
    // Kept until changed; a group that is deleted turns it back to Default.
    ProjectorSelection selection;
    // Every member of the last command on a group, in order; empty after one on the
    // current projector alone.
    std::vector<MemberOutcome> lastRun;

    // Desired-state flags of the force buttons, as the last status read showed them.
    uint8_t forcePower = 0;  // the standby flag
    uint8_t forcePause = 0;
    uint8_t forceText = 0;

    int sourceTypeIndex = 0;    // 0-4
    int sourceNumberIndex = 0;  // 0-98
};

}  // namespace ombrix
