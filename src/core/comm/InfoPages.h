#pragma once
// The information pages of a projector: what the projector tells about itself when the
// page opens, and the options its record says are installed.
#include <array>
#include <cstdint>
#include <string>

#include "app/Program.h"
#include "blocks/ProjectorTree.h"

namespace ombrix {

struct ProjectorInfoLines {
    std::string type;
    std::string version;
    std::string serial;
    std::string address;
    std::string status;
    std::string runtime;
    std::string text;  // at most 150 characters
};

constexpr size_t kInfoTextLimit = 150;

// Asks the projector at the current address, in order: status, identity, serial number,
// runtime (only identity and serial number failures are reported). selectedNode is the
// tree node chosen, 0 when none: its member's text fills the text field.
ProjectorInfoLines FillProjectorInfo(ProgramState& state, const GroupTable& groups, uint32_t selectedNode,
                                     bool nodeSelected);

// Seven lines: the installed options of the record in their fixed order, blank after.
std::array<std::string, 7> InstalledOptionLines(const ProjectorRecord& record);

}  // namespace ombrix
