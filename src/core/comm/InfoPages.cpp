#include "comm/InfoPages.h"

#include <cstdio>

#include "link/Commands.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

std::string InfoText(const ProgramState& s, const GroupTable& g, uint32_t node, bool selected) {
    const std::string none = "no text found";
    if (!selected) return none;
    const int group = FindGroupByNode(g, FindNode(g, node));
    if (group < 0) {
        ShowError(s.env, 20);
        return none;
    }
    const int member = FindMemberByNode(g, group, node);
    if (member < 0) {
        ShowError(s.env, 23);
        return none;
    }
    return g.groups[static_cast<size_t>(group)].members[static_cast<size_t>(member)].infoText.substr(0,
                                                                                                      kInfoTextLimit);
}

}  // namespace

ProjectorInfoLines FillProjectorInfo(ProgramState& s, const GroupTable& g, uint32_t node, bool selected) {
    ProjectorInfoLines out;
    const uint8_t address = s.link.currentAddress;
    const ProjectorTable& t = s.projectors;

    StatusFlags flags;
    uint32_t optionsValid = 0;
    const int status = ReadStatus(s.link, address, &flags, &optionsValid);
    const bool recordKnown = t.currentProjectorIndex >= 0 && t.currentProjectorIndex < t.connectedCount;
    if (status == kDone && optionsValid && recordKnown) {
        const ProjectorRecord& r = t.records[static_cast<size_t>(t.currentProjectorIndex)];
        // Appended, not concatenated: GCC 12 at -O2 warns falsely about the operator+ path.
        out.type.assign(1, ModelLinePrefix(flags.soundAvailable));
        out.type += ModelText(s.env, r.projectorType, r.alphaId);
    } else {
        out.type = "Type Unknown";
    }

    std::string letter, version;
    uint32_t typeCode = 0;
    const int identity = ReadIdentity(s.link, address, &letter, &version, &typeCode);
    ReportCommError(s.env, s.link, identity);
    out.version = identity == kDone ? version : "Unknown";

    std::string serial;
    const int serialResult = ReadSerialNumber(s.link, address, &serial);
    ReportCommError(s.env, s.link, serialResult);
    out.serial = serialResult == kDone ? serial : "Unknown";

    char hex[8];
    std::snprintf(hex, sizeof hex, "%x\n", static_cast<unsigned>(address));
    out.address = hex;

    if (status == kDone) {
        if (flags.operating) out.status = "Operating";
        if (flags.standby) out.status = "StandBy";
        if (flags.pause) out.status = "Pause";
    }

    std::string runtime;
    out.runtime = ReadRuntime(s.link, address, &runtime) == kDone ? runtime : "Error";
    out.text = InfoText(s, g, node, selected);
    return out;
}

std::array<std::string, 7> InstalledOptionLines(const ProjectorRecord& r) {
    const std::pair<uint8_t, const char*> options[] = {
        {r.orbit, ">> Orbit is installed "},
        {r.softEdge, ">> Soft Edge is installed "},
        {r.contrastModulation, ">> Contrast Modulation is installed "},
        {r.nsOnConvergence, ">> NS is mounted on the convergence"},
        {r.asic, ">> ASIC is installed"},
        {r.iris, ">> IRIS is installed"},
        {r.magneticFocus, ">> Magnetic focus is installed"},
        {r.convergenceStripped, ">> Convergence is stripped"},
        {r.greenConvergence, ">> Green convergence installed"},
    };
    std::array<std::string, 7> lines;
    size_t next = 0;
    for (const auto& [installed, text] : options) {
        if (installed && next < lines.size()) lines[next++] = text;
    }
    return lines;
}

}  // namespace ombrix
