#pragma once
// The ports one process talks through. The application owns the objects; code that
// shows boxes or waits takes an Env.
#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/Ui.h"

namespace ombrix {

struct Env {
    Clock* clock = nullptr;
    Ui* ui = nullptr;
    Library* strings = nullptr;  // the type library's numbered strings; may be missing
};

}  // namespace ombrix
