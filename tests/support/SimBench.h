#pragma once
// The core talking to the in-process simulator on a virtual clock: time-outs cost
// nothing, and every byte on the line is in the bus transcript.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InProcessDevice.h"
#include "SimBus.h"
#include "link/Link.h"
#include "platform/RecordingUi.h"

namespace ombrix::testing {

class SimBench {
public:
    explicit SimBench(const std::string& busText) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
        env.clock = &clock;
        env.ui = &ui;
        EXPECT_EQ(SetupConnection(env, link, kOwnerTool), 1);
    }

    // Host-side runs of the transcript: request frames and data runs.
    std::vector<std::vector<uint8_t>> HostBytes() const {
        std::vector<std::vector<uint8_t>> runs;
        for (const auto& e : bus.Transcript()) {
            if (e.fromHost) runs.push_back(e.bytes);
        }
        return runs;
    }
    std::vector<uint8_t> LastRequest() const {
        const auto runs = HostBytes();
        for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
            if (it->size() == 9 && (*it)[0] == 0x02) return *it;
        }
        return {};
    }

    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    RecordingUi ui;
    Env env;
    Link link{clock, opener};
};

// Three projectors: 1 operating (short headers), 2 in standby, 3 with long headers.
inline const char* kThreeProjectors = R"(
[projector]
address = 1
type = 5 V
version = 3.05
serial = f1 23 45 67
id = 100234
runtime = 300
status = 40 00 90 21
block-length = 16
block = 40 34 01 20 active data=000102030405060708090a0b0c0d0e0f
block = 3f 36 02 21
free-blocks = 2
special = ef 7f 00 00
param = 0 128 0 255
param = 5 250 10 252
iris-run-ms = 3000

[projector]
address = 2
type = 16 D
version = 2.10
status = 00 00 81 00
block-length = 16
free-blocks = 2
wake-up-ms = 5000

[projector]
address = 3
type = 25 V
version = 12.05
id = -2147483647
status = 00 00 80 c0
block-length = 20
header-variant = 2
block = 30 32 01 03 09 active
free-blocks = 1
)";

}  // namespace ombrix::testing
