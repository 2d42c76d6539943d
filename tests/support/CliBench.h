#pragma once
// ombrix-cli run in-process against the simulated bus of SimBench, on a virtual clock.
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "SimBench.h"
#include "TempDir.h"

namespace ombrix::testing {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class CliBench {
public:
    explicit CliBench(const char* busText = kThreeProjectors) {
        std::string error;
        EXPECT_TRUE(sim::ParseBusText(busText, &bus, &error)) << error;
    }
    CliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        cli::CliPorts ports;
        ports.clock = &clock;
        ports.devices = &opener;
        ports.libraries = &libraries;
        ports.out = &out;
        ports.err = &err;
        const int status = cli::RunCli(args, ports);
        return {status, out.str(), err.str()};
    }
    TempDir dir;
    VirtualClock clock;
    sim::SimBus bus;
    sim::InProcessOpener opener{bus, clock};
    DlLibraryLoader libraries;
};

}  // namespace ombrix::testing
