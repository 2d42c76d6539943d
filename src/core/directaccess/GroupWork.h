#pragma once
// Direct-access work on a whole target list that has no single-projector form in the
// panels: switching every target to an input, and matching the members of a group to
// one reference member's values.
#include <cstdint>
#include <string>
#include <vector>

#include "directaccess/DirectAccess.h"

namespace ombrix {

// "Select >>" on the target list: with Default the current projector, as always; with a
// group every target in order, each member's digit keys 50 ms apart and the progress
// text naming it. A member that does not answer its status is told once and skipped.
void SelectSourceOnTargets(ProgramState& state, int inputSlot, const ProgressHooks& hooks);

// "Match to Projector [N]": what one member reached for one parameter.
struct MatchLine {
    uint8_t address = 0;
    int index = 0;         // direct-access parameter
    int before = 0;
    int reached = 0;
    int reference = 0;     // the reference member's value
    bool failed = false;   // did not answer (reported once)
    bool limited = false;  // its own limits stop it short of the reference value
    int32_t limit = 0;     // that limit
};

// "Projector [6] : Contrast 52 -> 60", "Projector [6] : Contrast 52 -> 90 (its maximum
// 90; Projector [3] is at 110)", "Projector [6] : no answer".
std::string MatchLineText(const MatchLine& line, uint8_t referenceAddress);

// Brings every other target (standby skipped, audio only with sound) to the reference
// member's value of one parameter (index 0-17), or of every parameter of the page
// (index -1): read, clamp to the member's own limits, then the relative steps a press
// sends (at most 127 a frame). The reference must be in the target list.
std::vector<MatchLine> MatchToReference(ProgramState& state, int page, int index, uint8_t referenceAddress,
                                        const ProgressHooks& hooks);

}  // namespace ombrix
