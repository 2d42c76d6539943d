#pragma once
// What a list of connected projectors shows for one record, the same in the window and
// on the command line: unknown values as "?" or -1.
#include <string>

#include "projector/Projector.h"

namespace ombrix {

struct ProjectorRowTexts {
    std::string address, letter, typeCode, model, version, idNumber, state;
};

// Operating, StandBy or Pause; the flags are tested in that order and the last one set wins.
inline const char* ProjectorStateText(const ProjectorRecord& r) {
    const char* state = "?";
    if (r.operating) state = "Operating";
    if (r.standby) state = "StandBy";
    if (r.pause) state = "Pause";
    return state;
}

// "struct": data/Formatting.h has a function of the same name.
inline struct ProjectorRowTexts ProjectorListRow(const Env& env, const ProjectorRecord& r) {
    struct ProjectorRowTexts t;
    t.address = std::to_string(r.address);
    t.letter = r.alphaId ? std::string(1, r.alphaId) : "?";
    t.typeCode = std::to_string(r.projectorType);
    const std::string model = r.projectorType >= 0 ? ModelText(env, r.projectorType, r.alphaId) : "";
    t.model = model.empty() ? "?" : model;
    t.version = r.softwareVersion == 0xFF ? "-1" : std::to_string(r.softwareVersion);
    t.idNumber = std::to_string(r.idNumber);
    t.state = ProjectorStateText(r);
    return t;
}

}  // namespace ombrix
