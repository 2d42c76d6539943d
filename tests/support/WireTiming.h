#pragma once
// The gaps the protocol mandates, measured where they matter: between frames on the
// wire, at the virtual times the simulator saw them.
#include <cstdint>
#include <optional>
#include <vector>

#include "SimBus.h"

namespace ombrix::testing {

struct WireFrame {
    bool fromHost = false;
    uint8_t command = 0;  // a request's command byte; 0 for what the projectors sent
    uint64_t time = 0;
};

inline std::vector<WireFrame> WireFrames(const sim::SimBus& bus) {
    std::vector<WireFrame> out;
    for (const auto& e : bus.Transcript()) {
        const bool request = e.fromHost && e.bytes.size() == 9 && e.bytes[0] == 0x02;
        out.push_back({e.fromHost, request ? static_cast<uint8_t>(e.bytes[3] - e.bytes[1]) : uint8_t{0}, e.time});
    }
    return out;
}

// Index of the first request with this command at or after `from`.
inline std::optional<size_t> FindRequest(const std::vector<WireFrame>& frames, uint8_t command, size_t from = 0) {
    for (size_t i = from; i < frames.size(); ++i)
        if (frames[i].fromHost && frames[i].command == command) return i;
    return std::nullopt;
}

}  // namespace ombrix::testing
