// Any bytes as comm.cfg and as comports.cfg: the readers stay within the bytes, never
// take the line as open, and resolve every port to some device.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/CommSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ombrix;
    // comm.cfg is read from a file only.
    static const std::string path = "/tmp/ombrix-fuzz-comm-" + std::to_string(::getpid()) + ".cfg";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        CommSettings s;
        uint8_t address = 0;
        LoadCommSettings(path, &s, &address);
        if (s.connected != 0 || s.portHandle != 0) std::abort();
    }
    ComPortMap map;
    map.Parse(std::string(reinterpret_cast<const char*>(data), size), nullptr);
    for (int port = 1; port <= 4; ++port) {
        if (map.Resolve(port).empty()) std::abort();
    }
    return 0;
}
