#pragma once
// Direct access against the in-process bus: a type-5 projector whose description holds
// the parameters a test gives it, made current as the projector tree would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/BlockBench.h"
#include "directaccess/DirectAccess.h"

namespace ombrix::testing {

struct ParamDef {
    int32_t number;
    int32_t place;
    int32_t min;
    int32_t max;
};

inline Description DirectDescription(int type, char letter, const std::vector<ParamDef>& params) {
    Description d = MakeDescription(type, letter, 16, 4, 0);
    for (const ParamDef& p : params) {
        DescriptionParameter dp;
        dp.paramNumber = p.number;
        dp.placeInBlock = p.place;
        dp.min = p.min;
        dp.max = p.max;
        SetFieldText(&dp.paramName, "P" + std::to_string(p.number));
        d.parameters.push_back(dp);
    }
    d.paramCount = static_cast<int32_t>(d.parameters.size());
    return d;
}

// Projector 1: operating with sound and IRIS; its active block counts 0x10, 0x11, ...
inline std::string DirectBus(const std::string& status = "00 00 90 21", const std::string& extra = "") {
    return "[projector]\naddress = 1\ntype = 5 V\nstatus = " + status +
           "\nblock-length = 16\nblock = 40 34 01 20 active data=101112131415161718191a1b1c1d1e1f\n" +
           "block = 3f 36 02 21\nblock = 3a 36 42 21\n" + extra;
}

class DirectBench : public BlockBench {
public:
    explicit DirectBench(const std::vector<ParamDef>& params, const std::string& bus = DirectBus())
        : BlockBench(bus, {DirectDescription(5, 'V', params)}) {
        Connect({1});
        state.link.currentAddress = 1;
        state.projectors.currentProjectorIndex = 0;
        this->bus.ClearTranscript();
        ui.Clear();
    }
    void SetParam(uint8_t code, int value) {
        bus.With(1, [&](sim::SimProjector& p) { p.params[code] = sim::SimParam{value, 0, 255}; });
    }
    std::vector<Request> SentOf(uint8_t command) const {
        std::vector<Request> out;
        for (const Request& r : Sent())
            if (r.command == command) out.push_back(r);
        return out;
    }
    // Command bytes on the wire, in order.
    std::vector<uint8_t> Commands() const {
        std::vector<uint8_t> out;
        for (const Request& r : Sent()) out.push_back(r.command);
        return out;
    }
};

}  // namespace ombrix::testing
