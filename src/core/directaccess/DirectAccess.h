#pragma once
// Live adjustment of the current projector: the 18 direct-access parameters, the pages
// and their slots, the target list, and one button press from reading the value to
// sending the clamped relative step.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Program.h"
#include "data/Description.h"

namespace ombrix {

enum DirectPage : int { kPagePicture = 1, kPageGeometry = 2, kPageConvergence = 3, kPageAudio = 4 };
constexpr int kMaxSlots = 6;

struct DirectAccessParameter {
    int index;
    int page;
    uint8_t code;    // first code of ReadParameter / WriteParameter; the second is 0
    int32_t number;  // paramNumber in the type's description
    const char* name;  // what the slot is labelled with
};

extern const std::array<DirectAccessParameter, kDirectParameterCount> kDirectAccessParameters;

// "Picture", "Geometry", "Convergence", "Audio"; empty for any other page.
const char* PageName(int page);
int PageFirstIndex(int page);
int PageParameterCount(int page);
// Slots 1..SlotCount(page) exist on the page.
int SlotCount(int page);
// The parameter index a slot adjusts and shows; -1 when the page has no such slot.
int SlotParameter(int page, int slot);
bool IsAudioCode(uint8_t code);
// "Picture : displaying values address 5".
std::string PageCaption(int page, uint8_t address);

// What a long operation shows in the information strip. Called from the thread that runs
// the operation; the window hands it on to its own thread.
struct ProgressHooks {
    std::function<void(int range, const std::string& text)> begin;
    std::function<void()> step;
    std::function<void()> end;
    // The progress text alone (which group member is being worked on).
    std::function<void(const std::string& text)> text;
    // A projector's record changed (woken, identified): the tree and info follow.
    std::function<void(uint8_t address)> projectorChanged;

    void Begin(int range, const std::string& text) const {
        if (begin) begin(range, text);
    }
    void Step() const {
        if (step) step();
    }
    void End() const {
        if (end) end();
    }
    void Text(const std::string& t) const {
        if (text) text(t);
    }
    void Changed(uint8_t address) const {
        if (projectorChanged) projectorChanged(address);
    }
};

std::string DescriptionDirectoryOf(const ProgramState& state);
// The description's first parameter with that number, or nullptr.
const DescriptionParameter* FindDescriptionParameter(const Description& d, int32_t number);
// The record of a connected projector; nullptr when it is not in the table.
ProjectorRecord* FindConnectedRecord(ProgramState& state, uint8_t address);
// The record of currentAddress, or nullptr.
ProjectorRecord* CurrentRecord(ProgramState& state);

// The target list of the Projector Selection (BuildGroupTargetList); a selected group
// that no longer exists turns the selection back to Default.
void BuildTargetList(ProgramState& state);
// Limits of a parameter number for a type: those of the description's first parameter
// with that number, else 0..127. Also kept as currentMin / currentMax.
void LookupLimits(ProgramState& state, int32_t number, int32_t projectorType, char alphaId);
// The 18 values from the current projector's active block (all 0 in standby).
void ReadActiveBlockValues(ProgramState& state);

struct SlotFill {
    int slot = 0;
    int index = -1;
    int value = 0;
    int32_t min = 0;
    int32_t max = 127;
};
// The fields of every slot of the current page, by the slot table.
std::vector<SlotFill> InitialisePage(ProgramState& state, const ProgressHooks& hooks);

// One press on every target: read, clamp (max first, then min), send the step. The value
// of the current projector after the step; 0 when it is not among the targets.
// With a group chosen (a Projector Selection other than Default) each member is named in
// the progress text while it is worked on, a member that does not answer gets its error
// once and is left alone, and without the current projector in the list the first
// member's value is shown.
int ApplyDelta(ProgramState& state, int delta, int index);
int ApplyDelta(ProgramState& state, int delta, int index, const ProgressHooks& hooks);
// False when the slot adjusts nothing on the current page (nothing is sent).
bool AdjustSlot(ProgramState& state, int slot, int delta, int* shown);
bool AdjustSlot(ProgramState& state, int slot, int delta, int* shown, const ProgressHooks& hooks);
// "Projector [3] ...": the progress text while a member is worked on.
std::string MemberProgressText(uint8_t address);
// The "Step  :" list position 0-31.
void SelectStep(ProgramState& state, int position);

}  // namespace ombrix
