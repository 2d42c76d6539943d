#pragma once
// The ports one process talks through. The application owns the objects; code that
// shows boxes or waits takes an Env.
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/Ui.h"

namespace ombrix {

struct Env {
    Clock* clock = nullptr;
    Ui* ui = nullptr;
    Library* strings = nullptr;  // the type library's numbered strings; may be missing
    // Where description files are looked for after the folder the caller names, in
    // order (the per-user folder, then the shipped data); may be missing.
    const std::vector<std::string>* descriptionFolders = nullptr;
};

}  // namespace ombrix
