#pragma once
// Which members of a group a command reaches when no search table is at hand (a program
// that opens the line for one command): the members are asked on the line itself.
#include <cstdint>
#include <functional>
#include <vector>

#include "directaccess/DirectAccessState.h"
#include "link/Link.h"

namespace ombrix {

// Every member in order. A command that needs the projector at work (needsOperating)
// first asks each member its status once, taking the answer as soon as it comes: a member
// that does not answer is skipped as NotConnected, one in standby as Standby. Any other
// command (questions, power, the digits of a source) goes to every member unasked.
// stop, looked at before each member, leaves the rest unasked and not skipped.
std::vector<MemberOutcome> PlanGroupMembers(Link& link, const std::vector<uint8_t>& members, bool needsOperating,
                                            const std::function<bool()>& stop);

}  // namespace ombrix
