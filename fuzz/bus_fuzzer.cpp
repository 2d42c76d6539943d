// Any text as the simulator's bus file: accepted, or refused with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SimBus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    sim::SimBus bus;
    std::string error;
    // Description files named by the bus file are looked for where none exist.
    if (!sim::ParseBusText(std::string(reinterpret_cast<const char*>(data), size), &bus, &error, "/nonexistent")) {
        if (error.empty()) std::abort();
        return 0;
    }
    bus.Addresses();
    return 0;
}
